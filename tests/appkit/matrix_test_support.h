// Test helpers for the matrix tests: a delegate class whose end-of-editing
// hooks a test sets, registered by the test program itself, and a window
// that shows a 300-row matrix ten rows at a time inside a scroll view, with
// the clicks and keys a user would send it through the application.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include "AppKit/AppKit.h"
#include "AppKit/NSMatrix.h"
#include "AppKit/NSScrollView.h"
#include "Foundation/Foundation.h"
#include "fresh_defaults.h"

namespace matrix_test {

// Run by the delegate from inside the framework's end of editing, after the
// text is stored and before the edited cell is scrolled into view.
inline std::function<void(id notification)> g_on_end_editing;
// What the delegate answers to -control:isValidObject:.
inline BOOL g_accept_text = YES;
inline int g_end_editing_calls = 0;

inline void Delegate_controlTextDidEndEditing(id, SEL, id notification) {
  ++g_end_editing_calls;
  if (g_on_end_editing) g_on_end_editing(notification);
}
inline BOOL Delegate_controlIsValidObject(id, SEL, id, id) { return g_accept_text; }

inline const objc_method_def delegate_methods[] = {
    {"controlTextDidEndEditing:", objc_imp(&Delegate_controlTextDidEndEditing)},
    {"control:isValidObject:", objc_imp(&Delegate_controlIsValidObject)},
};
inline objc_class_def delegate_class = {"MatrixTestDelegate",           "NSObject",
                                        sizeof(NSObjectLayout),         objc_no_methods,
                                        objc_methods(delegate_methods), Nil};
inline objc_class_def* const test_classes[] = {&delegate_class};
inline objc_module_record test_record = {
    OBJC_MODULE_VERSION, "MatrixTest", test_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(test_record)

inline id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }
inline id str(const char* text) { return NSStringFromUTF8(text); }
inline id app() { return msg<id>(cls("NSApplication"), SELECTOR(sharedApplication)); }

// Registers every record the program queued (the test classes and whatever
// else it links), once, as the module at path, with user defaults kept in
// a fresh directory so that no real setting reaches the test; the directory
// goes away when the program ends.
inline void register_program_records(const char* path) {
  static bool done = false;
  if (done) return;
  done = true;
  test_support::keep_defaults_empty("matrix-defaults");
  objc_register_header(path);
  objc_finish_header();
}

constexpr NSInteger kRows = 300;
constexpr NSInteger kRowHeight = 20;  // the matrix's default cell height
constexpr NSInteger kShownRows = 10;

// A key window whose content view holds a scroll view (at 0,0, ten rows
// tall) with a matrix of kRows rows and one column, and a delegate. The
// matrix is made by sending alloc to the class named matrix_class.
struct Scene {
  id window = nil;
  id content = nil;
  id scroll = nil;
  id matrix = nil;
  id delegate = nil;

  explicit Scene(const char* matrix_class = "NSMatrix", NSInteger x = 0) {
    window = msg<id>(msg<id>(cls("NSWindow"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                     NSInteger(0), NSInteger(0), NSInteger(500), NSInteger(300));
    content = msg<id>(msg<id>(cls("NSView"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                      NSInteger(0), NSInteger(0), NSInteger(500), NSInteger(300));
    scroll = msg<id>(msg<id>(cls("NSScrollView"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                     x, NSInteger(0), NSInteger(200), kShownRows * kRowHeight);
    matrix = msg<id>(msg<id>(cls(matrix_class), SELECTOR(alloc)), SELECTOR(initWithRows:columns:), kRows,
                     NSInteger(1));
    delegate = msg<id>(msg<id>(cls("MatrixTestDelegate"), SELECTOR(alloc)), SELECTOR(init));
    for (NSInteger r = 0; r < kRows; ++r)
      msg<void>(msg<id>(matrix, SELECTOR(cellAtRow:column:), r, NSInteger(0)), SELECTOR(setStringValue:),
                NSStringWithFormat("Item %d", static_cast<int>(r)));
    msg<void>(matrix, SELECTOR(setDelegate:), delegate);
    msg<void>(scroll, SELECTOR(setDocumentView:), matrix);
    msg<void>(content, SELECTOR(addSubview:), scroll);
    msg<void>(window, SELECTOR(setContentView:), content);
    msg<void>(window, SELECTOR(makeKeyAndOrderFront:), nil);
  }
  ~Scene() {
    msg<void>(matrix, SELECTOR(setDelegate:), nil);
    for (id obj : {delegate, matrix, scroll, content}) msg<void>(obj, SELECTOR(release));
    msg<void>(window, SELECTOR(close));
    msg<void>(window, SELECTOR(release));
  }
  Scene(const Scene&) = delete;
  Scene& operator=(const Scene&) = delete;

  NSInteger first_row() const { return msg<NSInteger>(matrix, SELECTOR(firstVisibleRow)); }
  NSInteger last_row() const { return msg<NSInteger>(matrix, SELECTOR(lastVisibleRow)); }
  // The user drags the scroller so that row is at the top.
  void scroll_to_row(NSInteger row) const { msg<void>(scroll, SELECTOR(scrollToY:), row * kRowHeight); }
  void edit(NSInteger row) const { msg<BOOL>(matrix, SELECTOR(editCellAtRow:column:), row, NSInteger(0)); }
  bool editing() const { return msg<BOOL>(matrix, SELECTOR(isEditing)) != NO; }
  std::string text(NSInteger row) const {
    return NSStringToStd(
        msg<id>(msg<id>(matrix, SELECTOR(cellAtRow:column:), row, NSInteger(0)), SELECTOR(stringValue)));
  }
  // Asks the matrix to scroll to row the way the framework does.
  void request_scroll(NSInteger row) const {
    msg<void>(matrix, SELECTOR(scrollCellToVisibleAtRow:column:), row, NSInteger(0));
  }
  // A click (NSLeftMouseDown or NSRightMouseDown) on the row shown at position `shown` (0 = top)
  // of the scroll view, dispatched by the application.
  void click(NSInteger type, NSInteger shown) const {
    id event = msg<id>(cls("NSEvent"), SELECTOR(mouseEventWithType:x:y:window:), type,
                       msg<NSInteger>(scroll, SELECTOR(frameX)) + 10, shown * kRowHeight + 5, window);
    msg<void>(app(), SELECTOR(sendEvent:), event);
  }
  void key(const char* characters) const {
    id event = msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:), NSKeyDown,
                       str(characters), window);
    msg<void>(app(), SELECTOR(sendEvent:), event);
  }
};

}  // namespace matrix_test
