// The framework's views on their own: view trees and hit testing, the
// scroll view, and the matrix's grid, selection, editing and scrolling,
// reached through windows and events the way an application reaches them.
#include <gtest/gtest.h>

#include "matrix_test_support.h"
#include "raise_support.h"

namespace {

using namespace matrix_test;
using test_support::raised_name;

class AppKitMatrix : public ::testing::Test {
 protected:
  void SetUp() override { register_program_records("appkit_matrix_test"); }
  NSAutoreleaseScope pool_;
};

id new_view(const char* cls_name, NSInteger x, NSInteger y, NSInteger w, NSInteger h) {
  return msg<id>(msg<id>(cls(cls_name), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:), x, y, w,
                 h);
}

TEST_F(AppKitMatrix, HitTestingFollowsFramesBoundsAndStackingOrder) {
  id root = new_view("NSView", 0, 0, 100, 100);
  id back = new_view("NSView", 10, 10, 50, 50);
  id front = new_view("NSView", 30, 30, 50, 50);
  id inner = new_view("NSView", 0, 0, 5, 5);
  msg<void>(root, SELECTOR(addSubview:), back);
  msg<void>(root, SELECTOR(addSubview:), front);
  msg<void>(back, SELECTOR(addSubview:), inner);
  EXPECT_EQ(msg<id>(root, SELECTOR(hitTestX:y:), NSInteger(40), NSInteger(40)),
            front);  // overlap: front wins
  EXPECT_EQ(msg<id>(root, SELECTOR(hitTestX:y:), NSInteger(12), NSInteger(12)), inner);
  EXPECT_EQ(msg<id>(root, SELECTOR(hitTestX:y:), NSInteger(5), NSInteger(5)), root);
  EXPECT_EQ(msg<id>(root, SELECTOR(hitTestX:y:), NSInteger(100), NSInteger(5)),
            nil);  // right edge is outside
  // Shifting back's bounds origin moves what it shows under the point.
  msg<void>(back, SELECTOR(setBoundsOriginX:y:), NSInteger(0), NSInteger(3));
  EXPECT_EQ(msg<id>(root, SELECTOR(hitTestX:y:), NSInteger(12), NSInteger(12)), back);
  EXPECT_EQ(msg<id>(root, SELECTOR(hitTestX:y:), NSInteger(12), NSInteger(10)), inner);

  msg<void>(front, SELECTOR(removeFromSuperview));
  EXPECT_EQ(msg<id>(front, SELECTOR(superview)), nil);
  EXPECT_EQ(msg<NSUInteger>(msg<id>(root, SELECTOR(subviews)), SELECTOR(count)), 1u);
  // A view cannot go inside itself, nor can nil be added; the tree is unchanged.
  EXPECT_EQ(raised_name([&] { msg<void>(inner, SELECTOR(addSubview:), root); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(root, SELECTOR(addSubview:), nil); }), "NSInvalidArgumentException");
  EXPECT_EQ(msg<id>(inner, SELECTOR(superview)), back);
  for (id v : {inner, front, back, root}) msg<void>(v, SELECTOR(release));
}

TEST_F(AppKitMatrix, ScrollViewClampsAndScrollsTheLeastDistance) {
  Scene scene;
  EXPECT_EQ(msg<id>(scene.scroll, SELECTOR(documentView)), scene.matrix);
  EXPECT_EQ(msg<NSInteger>(scene.scroll, SELECTOR(maxScrollY)), (kRows - kShownRows) * kRowHeight);
  scene.scroll_to_row(-5);
  EXPECT_EQ(scene.first_row(), 0);
  scene.scroll_to_row(kRows);
  EXPECT_EQ(scene.first_row(), kRows - kShownRows);
  EXPECT_EQ(scene.last_row(), kRows - 1);

  scene.scroll_to_row(100);
  scene.request_scroll(105);  // already shown: nothing moves
  EXPECT_EQ(scene.first_row(), 100);
  scene.request_scroll(150);  // below: it becomes the bottom row
  EXPECT_EQ(scene.first_row(), 141);
  EXPECT_EQ(scene.last_row(), 150);
  scene.request_scroll(20);  // above: it becomes the top row
  EXPECT_EQ(scene.first_row(), 20);
  for (NSInteger bad : {-1, kRows, NSInteger(0x7fffffff), NSInteger(-0x7fffffff - 1)}) {
    scene.request_scroll(bad);
    EXPECT_EQ(scene.first_row(), 20);
  }
  msg<void>(scene.matrix, SELECTOR(scrollCellToVisibleAtRow:column:), NSInteger(0),
            NSInteger(1));  // no column 1
  EXPECT_EQ(scene.first_row(), 20);

  // A document view that leaves stops being the document view.
  msg<void>(scene.matrix, SELECTOR(removeFromSuperview));
  EXPECT_EQ(msg<id>(scene.scroll, SELECTOR(documentView)), nil);
  EXPECT_EQ(msg<NSInteger>(scene.scroll, SELECTOR(maxScrollY)), 0);
}

TEST_F(AppKitMatrix, GridResizesKeepingCellsAndRefusesBadSizes) {
  id m = msg<id>(msg<id>(cls("NSMatrix"), SELECTOR(alloc)), SELECTOR(initWithRows:columns:), NSInteger(3),
                 NSInteger(2));
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(frameWidth)), 200);
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(frameHeight)), 60);
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(firstVisibleRow)), 0);  // no scroll view: every row shows
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(lastVisibleRow)), 2);
  id kept = msg<id>(m, SELECTOR(cellAtRow:column:), NSInteger(1), NSInteger(1));
  msg<void>(kept, SELECTOR(setStringValue:), str("kept"));
  for (auto [r, c] : {std::pair{-1, 0}, {0, -1}, {3, 0}, {0, 2}})
    EXPECT_EQ(msg<id>(m, SELECTOR(cellAtRow:column:), NSInteger(r), NSInteger(c)), nil);

  msg<void>(m, SELECTOR(selectCellAtRow:column:), NSInteger(2), NSInteger(1));
  msg<void>(m, SELECTOR(renewRows:columns:), NSInteger(5), NSInteger(2));
  EXPECT_EQ(msg<id>(m, SELECTOR(cellAtRow:column:), NSInteger(1), NSInteger(1)), kept);
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(selectedRow)), 2);
  EXPECT_NE(msg<id>(m, SELECTOR(cellAtRow:column:), NSInteger(4), NSInteger(1)), nil);
  msg<void>(m, SELECTOR(renewRows:columns:), NSInteger(2), NSInteger(2));  // the selection goes with its row
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(selectedRow)), -1);
  EXPECT_EQ(msg<id>(m, SELECTOR(cellAtRow:column:), NSInteger(1), NSInteger(1)), kept);

  EXPECT_EQ(raised_name([&] { msg<void>(m, SELECTOR(renewRows:columns:), NSInteger(-1), NSInteger(2)); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(m, SELECTOR(setCellWidth:height:), NSInteger(10), NSInteger(0)); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(numberOfRows)), 2);
  EXPECT_EQ(msg<NSInteger>(m, SELECTOR(cellHeight)), 20);
  EXPECT_EQ(raised_name([&] {
              msg<id>(msg<id>(cls("NSMatrix"), SELECTOR(alloc)), SELECTOR(initWithRows:columns:),
                      NSInteger(1), NSInteger(-3));
            }),
            "NSInvalidArgumentException");
  msg<void>(m, SELECTOR(release));
}

TEST_F(AppKitMatrix, ClicksReachTheCellUnderThePointerThroughTheScrollOffset) {
  Scene scene;
  scene.scroll_to_row(40);
  scene.click(NSLeftMouseDown, 3);
  EXPECT_EQ(msg<NSInteger>(scene.matrix, SELECTOR(selectedRow)), 43);
  EXPECT_STREQ(
      NSStringToStd(msg<id>(msg<id>(scene.matrix, SELECTOR(selectedCell)), SELECTOR(stringValue))).c_str(),
      "Item 43");
  scene.click(NSRightMouseDown, 5);  // the right button does not select
  EXPECT_EQ(msg<NSInteger>(scene.matrix, SELECTOR(selectedRow)), 43);
  // Beside the scroll view the content view itself is hit, and nothing happens.
  id event = msg<id>(cls("NSEvent"), SELECTOR(mouseEventWithType:x:y:window:), NSLeftMouseDown,
                     NSInteger(300), NSInteger(10), scene.window);
  msg<void>(app(), SELECTOR(sendEvent:), event);
  EXPECT_EQ(msg<NSInteger>(scene.matrix, SELECTOR(selectedRow)), 43);
}

TEST_F(AppKitMatrix, TypingAndReturnStoreTheTextAndBringTheCellBack) {
  Scene scene;
  scene.edit(5);
  EXPECT_EQ(msg<id>(scene.window, SELECTOR(firstResponder)), scene.matrix);
  EXPECT_EQ(msg<NSInteger>(scene.matrix, SELECTOR(editedRow)), 5);
  scene.key("!");
  scene.key("?");
  EXPECT_EQ(NSStringToStd(msg<id>(scene.matrix, SELECTOR(editedText))), "Item 5!?");
  EXPECT_EQ(scene.text(5), "Item 5");  // not stored until the edit ends
  scene.scroll_to_row(150);
  scene.key("\r");
  EXPECT_FALSE(scene.editing());
  EXPECT_EQ(scene.text(5), "Item 5!?");
  EXPECT_EQ(g_end_editing_calls, 1);
  EXPECT_EQ(scene.first_row(), 5);
  scene.key("x");  // no edit in progress: keys are ignored
  EXPECT_EQ(scene.text(5), "Item 5!?");
}

TEST_F(AppKitMatrix, EscapeDropsTheEditAndNonEditableCellsRefuseIt) {
  Scene scene;
  scene.edit(7);
  msg<void>(scene.matrix, SELECTOR(setEditedText:), str("lost"));
  scene.key("\x1b");
  EXPECT_FALSE(scene.editing());
  EXPECT_EQ(scene.text(7), "Item 7");
  EXPECT_EQ(g_end_editing_calls, 0);
  EXPECT_EQ(msg<BOOL>(scene.matrix, SELECTOR(abortEditing)), NO);

  msg<void>(msg<id>(scene.matrix, SELECTOR(cellAtRow:column:), NSInteger(8), NSInteger(0)),
            SELECTOR(setEditable:), NO);
  EXPECT_EQ(msg<BOOL>(scene.matrix, SELECTOR(editCellAtRow:column:), NSInteger(8), NSInteger(0)), NO);
  EXPECT_EQ(msg<BOOL>(scene.matrix, SELECTOR(editCellAtRow:column:), NSInteger(kRows), NSInteger(0)), NO);
  EXPECT_FALSE(scene.editing());
  // Ending when nothing is being edited does nothing.
  msg<void>(scene.matrix, SELECTOR(textDidEndEditing:), nil);
  EXPECT_EQ(g_end_editing_calls, 0);
}

TEST_F(AppKitMatrix, RefusedTextRaisesAndKeepsTheEditInProgress) {
  Scene scene;
  scene.edit(3);
  msg<void>(scene.matrix, SELECTOR(setEditedText:), str("bad"));
  scene.scroll_to_row(100);
  g_accept_text = NO;
  EXPECT_EQ(raised_name([&] { scene.key("\r"); }), "NSInvalidArgumentException");
  EXPECT_TRUE(scene.editing());
  EXPECT_EQ(scene.text(3), "Item 3");
  EXPECT_EQ(scene.first_row(), 100);
  EXPECT_EQ(g_end_editing_calls, 0);
  g_accept_text = YES;
  scene.key("\r");
  EXPECT_EQ(scene.text(3), "bad");
}

// The same refusal when the key comes through the application's loop: the
// loop ends with the exception, leaving no loop, current event or pool open.
TEST_F(AppKitMatrix, RefusedTextRaisedInsideTheEventLoopLeavesNoLoopOrPoolOpen) {
  Scene scene;
  scene.edit(3);
  msg<void>(scene.matrix, SELECTOR(setEditedText:), str("bad"));
  g_accept_text = NO;
  uint32_t pools = NSAutoreleasePoolDepth();
  id enter = msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:), NSKeyDown, str("\r"),
                     scene.window);
  msg<void>(app(), SELECTOR(postEvent:atStart:), enter, NO);
  EXPECT_EQ(test_support::raised_reason([] { msg<void>(app(), SELECTOR(run)); }),
            "NSMatrix: the text entered in row 3, column 0 was not accepted");
  EXPECT_FALSE(msg<BOOL>(app(), SELECTOR(isRunning)));
  EXPECT_EQ(msg<id>(app(), SELECTOR(currentEvent)), nil);
  EXPECT_EQ(NSAutoreleasePoolDepth(), pools);
  EXPECT_TRUE(scene.editing());
  g_accept_text = YES;
  msg<void>(app(), SELECTOR(postEvent:atStart:), enter, NO);
  msg<void>(app(), SELECTOR(run));
  EXPECT_EQ(scene.text(3), "bad");
}

// The fault the patch corrects, as the framework shows it: the user scrolls
// away from the edited cell and clicks a row; ending the edit drags the
// matrix back, so the click lands on a row the user never pointed at.
TEST_F(AppKitMatrix, ClickAfterScrollingAwayJumpsBackToTheEditedCell) {
  Scene scene;
  scene.edit(5);
  scene.scroll_to_row(150);
  scene.click(NSLeftMouseDown, 2);
  EXPECT_FALSE(scene.editing());
  EXPECT_EQ(scene.first_row(), 5);
  EXPECT_EQ(msg<NSInteger>(scene.matrix, SELECTOR(selectedRow)), 7);
}

TEST_F(AppKitMatrix, EndingTheEditPassesANotificationFromTheMatrix) {
  Scene scene;
  id seen_name = nil, seen_object = nil;
  g_on_end_editing = [&](id notification) {
    seen_name = msg<id>(notification, SELECTOR(name));
    seen_object = msg<id>(notification, SELECTOR(object));
  };
  scene.edit(1);
  scene.click(NSRightMouseDown, 0);
  EXPECT_FALSE(scene.editing());
  EXPECT_TRUE(msg<BOOL>(seen_name, SELECTOR(isEqualToString:), NSTextDidEndEditingNotification));
  EXPECT_EQ(seen_object, scene.matrix);
}

TEST_F(AppKitMatrix, GivingUpFirstResponderEndsTheEdit) {
  Scene scene;
  scene.edit(2);
  id other = new_view("NSView", 0, 0, 10, 10);
  msg<BOOL>(scene.window, SELECTOR(makeFirstResponder:), other);
  EXPECT_FALSE(scene.editing());
  EXPECT_EQ(g_end_editing_calls, 1);
  // Editing one cell while another is being edited ends the first edit.
  scene.edit(3);
  msg<void>(scene.matrix, SELECTOR(setEditedText:), str("three"));
  scene.edit(4);
  EXPECT_EQ(scene.text(3), "three");
  EXPECT_EQ(msg<NSInteger>(scene.matrix, SELECTOR(editedRow)), 4);
  msg<void>(other, SELECTOR(release));
}

}  // namespace
