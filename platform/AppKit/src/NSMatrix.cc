// NSMatrix: the grid of cells, selection, cell editing and how an edit
// ends, and scrolling a cell into view inside the enclosing scroll view.
#include "AppKit/NSMatrix.h"

#include <cstdio>
#include <string>

#include "AppKit/NSCell.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "view_internal.h"

namespace appkit {
namespace {

objc_constant_string text_did_end_editing = objc_string("NSTextDidEndEditingNotification");

constexpr NSInteger kDefaultCellWidth = 100;
constexpr NSInteger kDefaultCellHeight = 20;

NSMatrixLayout* layout(id self) { return static_cast<NSMatrixLayout*>(self); }

bool in_range(id self, NSInteger row, NSInteger column) {
  return row >= 0 && column >= 0 && row < layout(self)->rows && column < layout(self)->columns;
}

void resize_frame(id self) {
  NSMatrixLayout* m = layout(self);
  msg<void>(self, SELECTOR(setFrameX:y:width:height:), m->frame_x, m->frame_y, m->columns * m->cell_width,
            m->rows * m->cell_height);
}

void set_edited_text(id self, id text) {
  id copy = msg<id>(text, SELECTOR(copy));
  msg<void>(layout(self)->edited_text, SELECTOR(release));
  layout(self)->edited_text = copy;
}

void stop_editing(id self) {
  set_edited_text(self, nil);
  layout(self)->edited_row = layout(self)->edited_column = -1;
}

// The notification an edit that the matrix ends itself is reported with;
// nil if the notification class is not there.
id end_editing_notification(id self) {
  return msg<id>(class_named("NSNotification"), SELECTOR(notificationWithName:object:),
                 id(&text_did_end_editing), self);
}

void end_editing(id self) {
  if (layout(self)->edited_text == nil) return;
  msg<void>(self, SELECTOR(textDidEndEditing:), end_editing_notification(self));
}

// --- Creation and the grid ----------------------------------------------

id NSMatrix_initWithFrame(id self, SEL, NSInteger x, NSInteger y, NSInteger width, NSInteger height) {
  self = msgSuper<id>(objc_super_of(self, NSMatrix_def), SELECTOR(initWithFrameX:y:width:height:), x, y,
                      width, height);
  if (self == nil) return nil;
  NSMatrixLayout* m = layout(self);
  NSRunReleasingOnRaise(self, [&] {
    m->cells = msg<id>(msg<id>(class_named("NSMutableArray"), SELECTOR(alloc)), SELECTOR(init));
  });
  m->cell_width = kDefaultCellWidth;
  m->cell_height = kDefaultCellHeight;
  m->selected_row = m->selected_column = -1;
  m->edited_row = m->edited_column = -1;
  return self;
}

id NSMatrix_initWithRows(id self, SEL, NSInteger rows, NSInteger columns) {
  self = msg<id>(self, SELECTOR(initWithFrameX:y:width:height:), NSInteger(0), NSInteger(0), NSInteger(0),
                 NSInteger(0));
  if (self == nil) return nil;
  if (rows < 0 || columns < 0) {
    msg<void>(self, SELECTOR(release));
    NSRaise("NSInvalidArgumentException", "-[NSMatrix initWithRows:columns:]: negative row or column count");
  }
  NSRunReleasingOnRaise(self, [&] { msg<void>(self, SELECTOR(renewRows:columns:), rows, columns); });
  return self;
}

void NSMatrix_dealloc(id self, SEL) {
  msg<void>(layout(self)->cells, SELECTOR(release));
  msg<void>(layout(self)->edited_text, SELECTOR(release));
  msgSuper<void>(objc_super_of(self, NSMatrix_def), SELECTOR(dealloc));
}

id NSMatrix_cellClass(id, SEL) { return reinterpret_cast<id>(NSCell_def.cls); }

id make_cell(id self) {
  id cell = msg<id>(msg<id>(self, SELECTOR(cellClass)), SELECTOR(alloc));
  return msg<id>(cell, SELECTOR(initTextCell:), NSStringFromUTF8(""));
}

// Builds the new grid first, so that a failure leaves the old one whole.
void NSMatrix_renewRows(id self, SEL, NSInteger rows, NSInteger columns) {
  if (rows < 0 || columns < 0)
    NSRaise("NSInvalidArgumentException", "-[NSMatrix renewRows:columns:]: negative row or column count");
  id cells = msg<id>(msg<id>(class_named("NSMutableArray"), SELECTOR(alloc)), SELECTOR(init));
  // A raise while the new grid is built frees it; the old one stays.
  NSRunCleaningUpOnRaise(
      [&] {
        for (NSInteger r = 0; r < rows; ++r) {
          for (NSInteger c = 0; c < columns; ++c) {
            id cell = msg<id>(self, SELECTOR(cellAtRow:column:), r, c);
            if (cell != nil) {
              msg<void>(cells, SELECTOR(addObject:), cell);
            } else {
              cell = make_cell(self);
              NSRunCleaningUpOnRaise([&] { msg<void>(cells, SELECTOR(addObject:), cell); },
                                     [&] { msg<void>(cell, SELECTOR(release)); });
              msg<void>(cell, SELECTOR(release));
            }
          }
        }
      },
      [&] { msg<void>(cells, SELECTOR(release)); });
  NSMatrixLayout* m = layout(self);
  msg<void>(m->cells, SELECTOR(release));
  m->cells = cells;
  m->rows = rows;
  m->columns = columns;
  if (!in_range(self, m->edited_row, m->edited_column)) stop_editing(self);
  if (!in_range(self, m->selected_row, m->selected_column)) m->selected_row = m->selected_column = -1;
  resize_frame(self);
}

NSInteger NSMatrix_numberOfRows(id self, SEL) { return layout(self)->rows; }
NSInteger NSMatrix_numberOfColumns(id self, SEL) { return layout(self)->columns; }
NSInteger NSMatrix_cellWidth(id self, SEL) { return layout(self)->cell_width; }
NSInteger NSMatrix_cellHeight(id self, SEL) { return layout(self)->cell_height; }

id NSMatrix_cellAtRow(id self, SEL, NSInteger row, NSInteger column) {
  if (!in_range(self, row, column)) return nil;
  auto index = static_cast<NSUInteger>(row * layout(self)->columns + column);
  return msg<id>(layout(self)->cells, SELECTOR(objectAtIndex:), index);
}

void NSMatrix_setCellSize(id self, SEL, NSInteger width, NSInteger height) {
  if (width <= 0 || height <= 0)
    NSRaise("NSInvalidArgumentException", "-[NSMatrix setCellWidth:height:]: cell sizes must be positive");
  layout(self)->cell_width = width;
  layout(self)->cell_height = height;
  resize_frame(self);
}

BOOL NSMatrix_getRowColumnForPoint(id self, SEL, NSInteger* row, NSInteger* column, NSInteger x,
                                   NSInteger y) {
  NSMatrixLayout* m = layout(self);
  NSInteger r = y >= 0 ? y / m->cell_height : -1;
  NSInteger c = x >= 0 ? x / m->cell_width : -1;
  bool hit = in_range(self, r, c);
  if (row != nullptr) *row = hit ? r : -1;
  if (column != nullptr) *column = hit ? c : -1;
  return hit ? YES : NO;
}

// --- Selection ------------------------------------------------------------

void NSMatrix_selectCell(id self, SEL, NSInteger row, NSInteger column) {
  bool valid = in_range(self, row, column);
  layout(self)->selected_row = valid ? row : -1;
  layout(self)->selected_column = valid ? column : -1;
}
NSInteger NSMatrix_selectedRow(id self, SEL) { return layout(self)->selected_row; }
NSInteger NSMatrix_selectedColumn(id self, SEL) { return layout(self)->selected_column; }
id NSMatrix_selectedCell(id self, SEL) {
  return msg<id>(self, SELECTOR(cellAtRow:column:), layout(self)->selected_row,
                 layout(self)->selected_column);
}

// --- Editing --------------------------------------------------------------

BOOL NSMatrix_editCell(id self, SEL, NSInteger row, NSInteger column) {
  id cell = msg<id>(self, SELECTOR(cellAtRow:column:), row, column);
  if (cell == nil || !msg<BOOL>(cell, SELECTOR(isEditable))) return NO;
  end_editing(self);
  msg<BOOL>(msg<id>(self, SELECTOR(window)), SELECTOR(makeFirstResponder:), self);
  msg<void>(self, SELECTOR(selectCellAtRow:column:), row, column);
  set_edited_text(self, msg<id>(cell, SELECTOR(stringValue)));
  layout(self)->edited_row = row;
  layout(self)->edited_column = column;
  msg<void>(self, SELECTOR(scrollCellToVisibleAtRow:column:), row, column);
  return YES;
}

BOOL NSMatrix_isEditing(id self, SEL) { return layout(self)->edited_text != nil ? YES : NO; }
NSInteger NSMatrix_editedRow(id self, SEL) { return layout(self)->edited_row; }
NSInteger NSMatrix_editedColumn(id self, SEL) { return layout(self)->edited_column; }
id NSMatrix_editedText(id self, SEL) { return layout(self)->edited_text; }

void NSMatrix_setEditedText(id self, SEL, id text) {
  if (layout(self)->edited_text == nil) return;
  set_edited_text(self, text != nil ? text : NSStringFromUTF8(""));
}

void NSMatrix_insertText(id self, SEL, id text) {
  id current = layout(self)->edited_text;
  if (current == nil || text == nil) return;
  set_edited_text(self, msg<id>(current, SELECTOR(stringByAppendingString:), text));
}

BOOL NSMatrix_abortEditing(id self, SEL) {
  if (layout(self)->edited_text == nil) return NO;
  stop_editing(self);
  return YES;
}

// Raises, with the edit still in progress, if the delegate refuses the text.
void validate_edit(id self, NSInteger row, NSInteger column) {
  id delegate = layout(self)->delegate;
  if (!msg<BOOL>(delegate, SELECTOR(respondsToSelector:), SELECTOR(control:isValidObject:))) return;
  if (msg<BOOL>(delegate, SELECTOR(control:isValidObject:), self, layout(self)->edited_text)) return;
  char reason[160];
  std::snprintf(reason, sizeof reason, "NSMatrix: the text entered in row %d, column %d was not accepted",
                static_cast<int>(row), static_cast<int>(column));
  NSRaise("NSInvalidArgumentException", reason);
}

// Ending an edit: validate, store the text, tell the delegate, and bring
// the edited cell back into view.
void NSMatrix_textDidEndEditing(id self, SEL, id notification) {
  if (layout(self)->edited_text == nil) return;
  NSInteger row = layout(self)->edited_row;
  NSInteger column = layout(self)->edited_column;
  validate_edit(self, row, column);
  id cell = msg<id>(self, SELECTOR(cellAtRow:column:), row, column);
  msg<void>(cell, SELECTOR(setStringValue:), layout(self)->edited_text);
  stop_editing(self);
  id delegate = layout(self)->delegate;
  if (msg<BOOL>(delegate, SELECTOR(respondsToSelector:), SELECTOR(controlTextDidEndEditing:)))
    msg<void>(delegate, SELECTOR(controlTextDidEndEditing:), notification);
  msg<void>(self, SELECTOR(scrollCellToVisibleAtRow:column:), row, column);
}

id NSMatrix_delegate(id self, SEL) { return layout(self)->delegate; }
void NSMatrix_setDelegate(id self, SEL, id delegate) { layout(self)->delegate = delegate; }

// --- Scrolling --------------------------------------------------------------

void NSMatrix_scrollCellToVisible(id self, SEL, NSInteger row, NSInteger column) {
  if (!in_range(self, row, column)) return;
  NSInteger height = layout(self)->cell_height;
  msg<void>(self, SELECTOR(scrollRectToVisibleY:height:), row * height, height);
}

// The part of the matrix its scroll view shows, in the matrix's own
// coordinates: [*top, *bottom).
void visible_span(id self, NSInteger* top, NSInteger* bottom) {
  id scroll = msg<id>(self, SELECTOR(enclosingScrollView));
  if (scroll == nil) {
    *top = 0;
    *bottom = layout(self)->frame_height;
    return;
  }
  NSInteger offset = 0;
  for (id v = self; v != scroll; v = msg<id>(v, SELECTOR(superview)))
    offset += msg<NSInteger>(v, SELECTOR(frameY)) - msg<NSInteger>(v, SELECTOR(boundsY));
  *top = msg<NSInteger>(scroll, SELECTOR(boundsY)) - offset;
  *bottom = *top + msg<NSInteger>(scroll, SELECTOR(frameHeight));
}

NSInteger NSMatrix_firstVisibleRow(id self, SEL) {
  NSInteger top, bottom;
  visible_span(self, &top, &bottom);
  NSInteger row = top > 0 ? top / layout(self)->cell_height : 0;
  return row < layout(self)->rows && bottom > top && bottom > 0 ? row : -1;
}

NSInteger NSMatrix_lastVisibleRow(id self, SEL) {
  if (NSMatrix_firstVisibleRow(self, nullptr) < 0) return -1;
  NSInteger top, bottom;
  visible_span(self, &top, &bottom);
  NSInteger row = (bottom - 1) / layout(self)->cell_height;
  return row < layout(self)->rows ? row : layout(self)->rows - 1;
}

// --- Events -----------------------------------------------------------------

void NSMatrix_mouseDown(id self, SEL, id event) {
  end_editing(self);
  NSInteger x = msg<NSInteger>(event, SELECTOR(locationX));
  NSInteger y = msg<NSInteger>(event, SELECTOR(locationY));
  NSViewConvertFromWindow(self, &x, &y);
  NSInteger row, column;
  if (msg<BOOL>(self, SELECTOR(getRow:column:forPointX:y:), &row, &column, x, y))
    msg<void>(self, SELECTOR(selectCellAtRow:column:), row, column);
}

void NSMatrix_rightMouseDown(id self, SEL, id) { end_editing(self); }

enum class KeyRole { kEndsEdit, kAbortsEdit, kText };

// What typing characters does to an edit. Decided apart from acting on it,
// so that no string is held across the sends that may raise.
KeyRole role_of(id characters) {
  std::string typed = NSStringToStd(characters);
  if (typed == "\r" || typed == "\n" || typed == "\t" || typed == "\x03") return KeyRole::kEndsEdit;
  if (typed == "\x1b") return KeyRole::kAbortsEdit;
  return KeyRole::kText;
}

void NSMatrix_keyDown(id self, SEL, id event) {
  if (layout(self)->edited_text == nil) return;
  id characters = msg<id>(event, SELECTOR(characters));
  switch (role_of(characters)) {
    case KeyRole::kEndsEdit:
      end_editing(self);
      break;
    case KeyRole::kAbortsEdit:
      msg<BOOL>(self, SELECTOR(abortEditing));
      break;
    case KeyRole::kText:
      msg<void>(self, SELECTOR(insertText:), characters);
      break;
  }
}

BOOL NSMatrix_acceptsFirstResponder(id, SEL) { return YES; }

BOOL NSMatrix_resignFirstResponder(id self, SEL) {
  end_editing(self);
  return YES;
}

const objc_method_def instance_methods[] = {
    {"initWithFrameX:y:width:height:", objc_imp(&NSMatrix_initWithFrame)},
    {"initWithRows:columns:", objc_imp(&NSMatrix_initWithRows)},
    {"dealloc", objc_imp(&NSMatrix_dealloc)},
    {"cellClass", objc_imp(&NSMatrix_cellClass)},
    {"renewRows:columns:", objc_imp(&NSMatrix_renewRows)},
    {"numberOfRows", objc_imp(&NSMatrix_numberOfRows)},
    {"numberOfColumns", objc_imp(&NSMatrix_numberOfColumns)},
    {"cellAtRow:column:", objc_imp(&NSMatrix_cellAtRow)},
    {"cellWidth", objc_imp(&NSMatrix_cellWidth)},
    {"cellHeight", objc_imp(&NSMatrix_cellHeight)},
    {"setCellWidth:height:", objc_imp(&NSMatrix_setCellSize)},
    {"getRow:column:forPointX:y:", objc_imp(&NSMatrix_getRowColumnForPoint)},
    {"selectCellAtRow:column:", objc_imp(&NSMatrix_selectCell)},
    {"selectedRow", objc_imp(&NSMatrix_selectedRow)},
    {"selectedColumn", objc_imp(&NSMatrix_selectedColumn)},
    {"selectedCell", objc_imp(&NSMatrix_selectedCell)},
    {"editCellAtRow:column:", objc_imp(&NSMatrix_editCell)},
    {"isEditing", objc_imp(&NSMatrix_isEditing)},
    {"editedRow", objc_imp(&NSMatrix_editedRow)},
    {"editedColumn", objc_imp(&NSMatrix_editedColumn)},
    {"editedText", objc_imp(&NSMatrix_editedText)},
    {"setEditedText:", objc_imp(&NSMatrix_setEditedText)},
    {"insertText:", objc_imp(&NSMatrix_insertText)},
    {"abortEditing", objc_imp(&NSMatrix_abortEditing)},
    {"textDidEndEditing:", objc_imp(&NSMatrix_textDidEndEditing)},
    {"delegate", objc_imp(&NSMatrix_delegate)},
    {"setDelegate:", objc_imp(&NSMatrix_setDelegate)},
    {"scrollCellToVisibleAtRow:column:", objc_imp(&NSMatrix_scrollCellToVisible)},
    {"firstVisibleRow", objc_imp(&NSMatrix_firstVisibleRow)},
    {"lastVisibleRow", objc_imp(&NSMatrix_lastVisibleRow)},
    {"mouseDown:", objc_imp(&NSMatrix_mouseDown)},
    {"rightMouseDown:", objc_imp(&NSMatrix_rightMouseDown)},
    {"keyDown:", objc_imp(&NSMatrix_keyDown)},
    {"acceptsFirstResponder", objc_imp(&NSMatrix_acceptsFirstResponder)},
    {"resignFirstResponder", objc_imp(&NSMatrix_resignFirstResponder)},
};

}  // namespace

objc_class_def NSMatrix_def = {
    "NSMatrix", "NSView", sizeof(NSMatrixLayout), objc_no_methods, objc_methods(instance_methods), Nil};

namespace {
objc_class_def* const classes[] = {&NSMatrix_def};
objc_constant_string* const strings[] = {&text_did_end_editing};
objc_module_record NSMatrix_record = objc_module("NSMatrix", classes, nullptr, strings);
OBJC_MODULE_RECORD(NSMatrix_record)
}  // namespace

}  // namespace appkit

id const NSTextDidEndEditingNotification = reinterpret_cast<id>(&appkit::text_did_end_editing);
