// The matrix scroll patch in-process: the bundle's units are linked into
// this program and registered with its own test classes; each test turns
// the patch on itself. Whether scroll-to-cell requests are suppressed is
// seen from behaviour: requests made from inside the framework's end of
// editing (through the matrix's delegate) and the end's own scroll back to
// the edited cell either move the scroll view or do not.
#include <gtest/gtest.h>

#include <vector>

#include "appkit/matrix_test_support.h"
#include "raise_support.h"

namespace {

using namespace matrix_test;

// An event of any type, handed to the application by the test: the
// application makes it the current event and passes it to its window, a
// HookWindow, which runs g_window_hook.
struct FakeEventLayout : NSObjectLayout {
  NSInteger type;
  id window;
};
NSInteger FakeEvent_type(id self, SEL) { return static_cast<FakeEventLayout*>(self)->type; }
id FakeEvent_window(id self, SEL) { return static_cast<FakeEventLayout*>(self)->window; }
NSInteger FakeEvent_zero(id, SEL) { return 0; }
id FakeEvent_characters(id, SEL) { return nil; }

std::function<void()> g_window_hook;
void HookWindow_sendEvent(id, SEL, id) {
  if (g_window_hook) g_window_hook();
}

// A matrix class of the host's own, registered before the patch is on.
id HostMatrix_hostTag(id, SEL) { return str("host"); }

const objc_method_def fake_event_methods[] = {
    {"type", objc_imp(&FakeEvent_type)},
    {"window", objc_imp(&FakeEvent_window)},
    {"locationX", objc_imp(&FakeEvent_zero)},
    {"locationY", objc_imp(&FakeEvent_zero)},
    {"characters", objc_imp(&FakeEvent_characters)},
};
const objc_method_def hook_window_methods[] = {{"sendEvent:", objc_imp(&HookWindow_sendEvent)}};
const objc_method_def host_matrix_methods[] = {{"hostTag", objc_imp(&HostMatrix_hostTag)}};
objc_class_def fake_event_class = {
    "FakeEvent", "NSObject", sizeof(FakeEventLayout), objc_no_methods, objc_methods(fake_event_methods), Nil};
objc_class_def hook_window_class = {
    "HookWindow", "NSWindow", 0, objc_no_methods, objc_methods(hook_window_methods), Nil};
objc_class_def host_matrix_class = {
    "HostMatrix", "NSMatrix", 0, objc_no_methods, objc_methods(host_matrix_methods), Nil};
objc_class_def* const patch_test_classes[] = {&fake_event_class, &hook_window_class, &host_matrix_class};
objc_module_record patch_test_record = {
    OBJC_MODULE_VERSION, "MatrixPatchTest", patch_test_classes, 3, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(patch_test_record)

void enable_patch() { msg<void>(cls("Corvane"), SELECTOR(enableMatrixScrollPatch)); }

// Runs body while the application dispatches an event of the given type.
void under_event(NSInteger type, std::function<void()> body) {
  if (type == NSApplicationDefined) {
    msg<void>(app(), SELECTOR(sendEvent:), NSEventWithAction(std::move(body)));
    return;
  }
  id window = msg<id>(msg<id>(cls("HookWindow"), SELECTOR(alloc)), SELECTOR(init));
  id event = msg<id>(msg<id>(cls("FakeEvent"), SELECTOR(alloc)), SELECTOR(init));
  static_cast<FakeEventLayout*>(event)->type = type;
  static_cast<FakeEventLayout*>(event)->window = window;
  g_window_hook = std::move(body);
  msg<void>(app(), SELECTOR(sendEvent:), event);
  g_window_hook = nullptr;
  msg<void>(event, SELECTOR(release));
  msg<void>(window, SELECTOR(close));
  msg<void>(window, SELECTOR(release));
}

void end_editing(const Scene& scene) { msg<void>(scene.matrix, SELECTOR(textDidEndEditing:), nil); }

class MatrixPatch : public ::testing::Test {
 protected:
  void SetUp() override {
    register_program_records("matrix_patch_test");
    g_on_end_editing = nullptr;
    g_accept_text = YES;
  }
  NSAutoreleaseScope pool_;
};

// What a scroll request made from inside the framework's end of editing
// did: the first visible row right after it.
struct InsideView {
  NSInteger after_request = -2;
};

// Edits row 5, scrolls to row 150, ends the edit under an event of type,
// and asks from inside the end to show row 250.
InsideView edit_scroll_away_and_end(Scene& scene, NSInteger type) {
  InsideView inside;
  scene.edit(5);
  scene.scroll_to_row(150);
  g_on_end_editing = [&](id) {
    scene.request_scroll(250);
    inside.after_request = scene.first_row();
  };
  under_event(type, [&] { end_editing(scene); });
  g_on_end_editing = nullptr;
  return inside;
}

TEST_F(MatrixPatch, MouseDownsSuppressScrollingUntilTheEndReturns) {
  enable_patch();
  Scene scene;
  EXPECT_STREQ(class_getName(object_getClass(scene.matrix)), "CorvaneMatrix");
  for (NSInteger type : {NSLeftMouseDown, NSRightMouseDown}) {
    InsideView inside = edit_scroll_away_and_end(scene, type);
    EXPECT_EQ(inside.after_request, 150) << "type " << type;
    EXPECT_EQ(scene.first_row(), 150) << "type " << type;
    EXPECT_FALSE(scene.editing());
    EXPECT_EQ(scene.text(5), "Item 5");
    scene.request_scroll(5);  // afterwards scrolling works again
    EXPECT_EQ(scene.first_row(), 5);
  }
}

TEST_F(MatrixPatch, RealClicksKeepTheScrolledRowsAndSelectTheClickedCell) {
  enable_patch();
  Scene scene;
  scene.edit(5);
  msg<void>(scene.matrix, SELECTOR(setEditedText:), str("changed"));
  scene.scroll_to_row(150);
  scene.click(NSLeftMouseDown, 2);
  EXPECT_FALSE(scene.editing());
  EXPECT_EQ(scene.text(5), "changed");
  EXPECT_EQ(scene.first_row(), 150);
  EXPECT_EQ(msg<NSInteger>(scene.matrix, SELECTOR(selectedRow)), 152);

  scene.edit(152);
  scene.scroll_to_row(0);
  scene.click(NSRightMouseDown, 4);
  EXPECT_FALSE(scene.editing());
  EXPECT_EQ(scene.first_row(), 0);
}

TEST_F(MatrixPatch, OtherEventTypesLeaveTheEndOfEditingAlone) {
  enable_patch();
  Scene scene;
  const NSInteger types[] = {
      0,  NSLeftMouseUp,  NSRightMouseUp, 5, NSKeyDown, NSKeyUp, NSApplicationDefined, 31, 32, 1000,
      -1, -0x7fffffff - 1};
  for (NSInteger type : types) {
    InsideView inside = edit_scroll_away_and_end(scene, type);
    EXPECT_EQ(inside.after_request, 250 - kShownRows + 1) << "type " << type;
    EXPECT_EQ(scene.first_row(), 5) << "type " << type;  // the framework's own scroll back
  }
}

TEST_F(MatrixPatch, ReturnKeyAndNoCurrentEventScrollBackAsBefore) {
  enable_patch();
  Scene scene;
  scene.edit(5);
  scene.scroll_to_row(150);
  scene.key("\r");
  EXPECT_FALSE(scene.editing());
  EXPECT_EQ(scene.first_row(), 5);

  ASSERT_EQ(msg<id>(app(), SELECTOR(currentEvent)), nil);
  scene.edit(40);
  scene.scroll_to_row(200);
  end_editing(scene);
  EXPECT_EQ(scene.first_row(), 40);
}

TEST_F(MatrixPatch, ScrollsToAnyPatchedMatrixAreSuppressedMeanwhile) {
  enable_patch();
  Scene scene;
  Scene other("NSMatrix", 250);
  NSInteger other_inside = -2;
  scene.edit(5);
  scene.scroll_to_row(150);
  g_on_end_editing = [&](id) {
    other.request_scroll(100);
    other_inside = other.first_row();
  };
  under_event(NSLeftMouseDown, [&] { end_editing(scene); });
  EXPECT_EQ(other_inside, 0);
  other.request_scroll(100);
  EXPECT_EQ(other.first_row(), 100 - kShownRows + 1);
}

TEST_F(MatrixPatch, NestedEndsKeepScrollingSuppressedUntilTheOuterEndReturns) {
  enable_patch();
  Scene outer;
  Scene inner("NSMatrix", 250);
  std::vector<NSInteger> seen;
  outer.edit(5);
  inner.edit(7);
  inner.scroll_to_row(100);
  g_on_end_editing = [&](id) {
    if (!seen.empty()) {  // the inner end, two levels deep
      inner.request_scroll(0);
      seen.push_back(inner.first_row());
      return;
    }
    seen.push_back(-1);
    end_editing(inner);  // a second end under the same mouse-down
    inner.request_scroll(0);
    seen.push_back(inner.first_row());
  };
  under_event(NSLeftMouseDown, [&] { end_editing(outer); });
  EXPECT_EQ(seen, (std::vector<NSInteger>{-1, 100, 100}));
  EXPECT_EQ(inner.first_row(), 100);  // the inner end's scroll back to row 7 was suppressed too
  EXPECT_FALSE(inner.editing());
  inner.request_scroll(0);
  EXPECT_EQ(inner.first_row(), 0);
}

TEST_F(MatrixPatch, AnExceptionRestoresTheCounterAndReachesTheCallerUnchanged) {
  enable_patch();
  Scene scene;
  id exception = msg<id>(cls("NSException"), SELECTOR(exceptionWithName:reason:userInfo:),
                         str("TestException"), str("raised inside the end of editing"), nil);
  scene.edit(5);
  scene.scroll_to_row(150);
  g_on_end_editing = [&](id) { msg<void>(exception, SELECTOR(raise)); };
  id caught = nil;
  under_event(NSLeftMouseDown, [&] { caught = test_support::raised_object([&] { end_editing(scene); }); });
  EXPECT_EQ(caught, exception);
  scene.request_scroll(5);
  EXPECT_EQ(scene.first_row(), 5);

  // The framework's own refusal of the text.
  g_on_end_editing = nullptr;
  g_accept_text = NO;
  scene.edit(6);
  scene.scroll_to_row(150);
  std::string name;
  under_event(NSRightMouseDown, [&] { name = test_support::raised_name([&] { end_editing(scene); }); });
  EXPECT_EQ(name, "NSInvalidArgumentException");
  EXPECT_TRUE(scene.editing());
  g_accept_text = YES;
  scene.request_scroll(6);
  EXPECT_EQ(scene.first_row(), 6);
}

TEST_F(MatrixPatch, EnablingTwiceChangesNothingMore) {
  Class framework = objc_getClass("NSMatrix");
  enable_patch();
  enable_patch();
  msg<void>(cls("CorvaneMatrix"), SELECTOR(enableMatrixScrollPatch));
  EXPECT_EQ(objc_getClass("NSMatrix"), objc_getClass("CorvaneMatrix"));
  EXPECT_EQ(class_getSuperclass(objc_getClass("CorvaneMatrix")), framework);
  Scene scene;
  edit_scroll_away_and_end(scene, NSLeftMouseDown);
  EXPECT_EQ(scene.first_row(), 150);
}

TEST_F(MatrixPatch, MatricesMadeBeforeThePatchKeepTheFrameworkClass) {
  Class framework = objc_getClass("NSMatrix");
  Scene before;
  enable_patch();
  EXPECT_EQ(object_getClass(before.matrix), framework);
  InsideView inside = edit_scroll_away_and_end(before, NSLeftMouseDown);
  EXPECT_EQ(inside.after_request, 250 - kShownRows + 1);
  EXPECT_EQ(before.first_row(), 5);
}

TEST_F(MatrixPatch, HostSubclassesInheritThePatchThroughPosing) {
  Scene before("HostMatrix");
  enable_patch();
  EXPECT_EQ(class_getSuperclass(objc_getClass("HostMatrix")), objc_getClass("CorvaneMatrix"));
  Scene after("HostMatrix");
  for (Scene* scene : {&before, &after}) {
    InsideView inside = edit_scroll_away_and_end(*scene, NSLeftMouseDown);
    EXPECT_EQ(inside.after_request, 150);
    EXPECT_EQ(scene->first_row(), 150);
    EXPECT_EQ(NSStringToStd(msg<id>(scene->matrix, SELECTOR(hostTag))), "host");
  }
}

TEST_F(MatrixPatch, WithoutThePatchTheFrameworkScrollsBack) {
  Scene scene;
  EXPECT_EQ(objc_getClass("NSMatrix"), object_getClass(scene.matrix));
  InsideView inside = edit_scroll_away_and_end(scene, NSLeftMouseDown);
  EXPECT_EQ(inside.after_request, 250 - kShownRows + 1);
  EXPECT_EQ(scene.first_row(), 5);
}

}  // namespace
