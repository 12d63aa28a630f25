// The matrix scenario: a window with a 300-row matrix shown ten rows at a
// time. The user edits a cell, scrolls away and clicks another cell; then
// edits again, scrolls away and presses Return. After each step it prints
// which rows the window shows, so that runs with the matrix patch off and
// on can be compared line by line. On a raise it closes its window and
// drops the events it queued before the raise goes on; no step holds C++
// storage across a send (labels are made in fixed buffers).
#include <cstdio>
#include <string>

#include "AppKit/AppKit.h"
#include "AppKit/NSMatrix.h"
#include "AppKit/NSScrollView.h"
#include "Foundation/Foundation.h"
#include "picture.h"
#include "scenarios.h"

namespace host {
namespace {

constexpr NSInteger kRows = 300;
constexpr NSInteger kShown = 10;

id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }

struct MatrixWindow {
  id window = nil, scroll = nil, matrix = nil;
  std::FILE* out;
  explicit MatrixWindow(std::FILE* out) : out(out) {}
  MatrixWindow(const MatrixWindow&) = delete;
  MatrixWindow& operator=(const MatrixWindow&) = delete;

  void open() {
    window = msg<id>(msg<id>(cls("NSWindow"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                     NSInteger(100), NSInteger(100), NSInteger(240), NSInteger(220));
    msg<void>(window, SELECTOR(setTitle:), NSStringFromUTF8("Items"));
    matrix = msg<id>(msg<id>(cls("NSMatrix"), SELECTOR(alloc)), SELECTOR(initWithRows:columns:), kRows,
                     NSInteger(1));
    NSInteger row_height = msg<NSInteger>(matrix, SELECTOR(cellHeight));
    scroll = msg<id>(msg<id>(cls("NSScrollView"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                     NSInteger(0), NSInteger(0), msg<NSInteger>(matrix, SELECTOR(frameWidth)),
                     kShown * row_height);
    for (NSInteger r = 0; r < kRows; ++r)
      msg<void>(msg<id>(matrix, SELECTOR(cellAtRow:column:), r, NSInteger(0)), SELECTOR(setStringValue:),
                NSStringWithFormat("Item %d", static_cast<int>(r)));
    msg<void>(scroll, SELECTOR(setDocumentView:), matrix);
    msg<void>(window, SELECTOR(setContentView:), scroll);
    msg<void>(window, SELECTOR(makeKeyAndOrderFront:), nil);
  }
  // Drops queued events, closes the window and releases what open made.
  void close() {
    id app = msg<id>(cls("NSApplication"), SELECTOR(sharedApplication));
    while (msg<NSUInteger>(app, SELECTOR(pendingEventCount)) > 0) msg<id>(app, SELECTOR(nextEvent));
    msg<BOOL>(matrix, SELECTOR(abortEditing));
    msg<void>(window, SELECTOR(close));
    for (id obj : {matrix, scroll, window}) msg<void>(obj, SELECTOR(release));
    window = scroll = matrix = nil;
  }

  // Queues the event and lets the application's loop dispatch it.
  void dispatch(id event) const {
    id app = msg<id>(cls("NSApplication"), SELECTOR(sharedApplication));
    msg<void>(app, SELECTOR(postEvent:atStart:), event, NO);
    msg<void>(app, SELECTOR(run));
  }

  // The rows shown (see picture::text) and the picture of the matrix,
  // marking the row under the mouse when the step clicked one.
  void report(const char* step, NSInteger clicked = -1) const {
    picture::MatrixView view;
    view.rows = kRows;
    view.first = msg<NSInteger>(matrix, SELECTOR(firstVisibleRow));
    view.last = msg<NSInteger>(matrix, SELECTOR(lastVisibleRow));
    if (msg<BOOL>(matrix, SELECTOR(isEditing))) view.edited = msg<NSInteger>(matrix, SELECTOR(editedRow));
    view.clicked = clicked;
    view.selected = msg<NSInteger>(matrix, SELECTOR(selectedRow));
    view.step = step;  // after the sends
    std::fputs(picture::text(view).c_str(), out);
    picture::write(picture::svg(view));
  }

  void edit(NSInteger row) const {
    msg<BOOL>(matrix, SELECTOR(editCellAtRow:column:), row, NSInteger(0));
    char label[40];
    std::snprintf(label, sizeof label, "edit row %ld", static_cast<long>(row));
    report(label);
  }
  void type(const char* text) const {
    for (const char* c = text; *c != '\0'; ++c) {
      const char one[2] = {*c, '\0'};
      key(one);
    }
    char label[64];
    std::snprintf(label, sizeof label, "type \"%s\"", text);
    report(label);
  }
  void key(const char* characters) const {
    dispatch(msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:), NSKeyDown,
                     NSStringFromUTF8(characters), window));
  }
  // The user drags the scroller: no scroll-to-cell request is involved.
  void scroll_to(NSInteger row) const {
    dispatch(NSEventWithAction([this, row] {
      msg<void>(scroll, SELECTOR(scrollToY:), row * msg<NSInteger>(matrix, SELECTOR(cellHeight)));
    }));
    char label[40];
    std::snprintf(label, sizeof label, "scroll to row %ld", static_cast<long>(row));
    report(label);
  }
  // A click on the row shown at position `shown` (0 is the top row).
  void click(NSInteger shown, const char* label) const {
    NSInteger y = shown * msg<NSInteger>(matrix, SELECTOR(cellHeight)) + 5;
    NSInteger under_mouse = msg<NSInteger>(matrix, SELECTOR(firstVisibleRow)) + shown;
    dispatch(msg<id>(cls("NSEvent"), SELECTOR(mouseEventWithType:x:y:window:), NSLeftMouseDown, NSInteger(10),
                     y, window));
    report(label, under_mouse);
  }
  void part(const char* heading, bool control) const {
    std::fprintf(out, "-- %s --\n", heading);
    picture::begin_part(heading, control);
  }
  void cell_report(NSInteger row) const {
    std::string text = NSStringToStd(
        msg<id>(msg<id>(matrix, SELECTOR(cellAtRow:column:), row, NSInteger(0)), SELECTOR(stringValue)));
    std::fprintf(out, "  row %d reads \"%s\"\n", static_cast<int>(row), text.c_str());
  }
  void selection_report() const {
    std::fprintf(out, "  selected row %d\n", static_cast<int>(msg<NSInteger>(matrix, SELECTOR(selectedRow))));
  }
};

void matrix_steps(MatrixWindow& items);

}  // namespace

int run_matrix_scenario(std::FILE* out) {
  NSAutoreleaseScope pool;
  std::fprintf(out, "matrix class: %s\n", class_getName(objc_getClass("NSMatrix")));
  MatrixWindow items(out);
  NSRunCleaningUpOnRaise(
      [&] {
        matrix_steps(items);
        items.close();
      },
      [&] { items.close(); });
  return 0;
}

namespace {

void matrix_steps(MatrixWindow& items) {
  std::FILE* out = items.out;
  items.open();
  std::fprintf(out, "%d rows, %d shown at a time\n", static_cast<int>(kRows), static_cast<int>(kShown));

  items.part("edit ended by a click", false);
  items.edit(5);
  items.type("!");
  items.scroll_to(150);
  items.click(2, "click 3rd row shown");
  items.selection_report();
  items.cell_report(5);

  // The control case: Return ends the edit without a mouse-down, so the
  // matrix scrolls back to the edited cell with the patch on as well.
  items.part("edit ended by Return", true);
  items.edit(5);
  items.type("?");
  items.scroll_to(150);
  items.key("\r");
  items.report("press Return");
  items.cell_report(5);
}

}  // namespace

}  // namespace host
