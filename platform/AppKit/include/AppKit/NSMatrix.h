// NSMatrix: rows and columns of text cells, usually the document view of a
// scroll view that shows a range of its rows. A cell can be selected and
// edited; ending an edit validates the text, stores it in the cell and
// scrolls the edited cell back into view.
//
// Messages (integers are NSInteger; rows and columns count from 0, and -1
// means none):
//   -initWithRows:columns: (cells of -cellClass, 100 by 20 points each),
//   -renewRows:columns: (keeps the cells that still fit)
//   -numberOfRows, -numberOfColumns, -cellAtRow:column: (nil out of range),
//   -cellClass (NSCell), -cellWidth, -cellHeight, -setCellWidth:height:
//   -getRow:column:forPointX:y: (own coordinates; NSInteger* outputs; NO
//     when the point is on no cell)
//   -selectCellAtRow:column: (out of range deselects), -selectedRow,
//     -selectedColumn, -selectedCell
//   -editCellAtRow:column: (YES if editing began: the cell exists and is
//     editable; an edit in progress ends first), -isEditing, -editedRow,
//     -editedColumn, -editedText, -setEditedText:, -insertText: (what the
//     user types), -abortEditing (drops the edit; YES if there was one)
//   -textDidEndEditing: notification: ends the edit. The delegate's
//     -control:isValidObject: (if it answers) validates the text; a refusal
//     raises NSInvalidArgumentException and leaves the edit in progress.
//     Otherwise the text goes into the cell, the edit ends, the delegate
//     gets -controlTextDidEndEditing: with the notification, and the edited
//     cell is scrolled into view by -scrollCellToVisibleAtRow:column:.
//   -scrollCellToVisibleAtRow:column: scrolls the enclosing scroll view the
//     least distance that shows the cell; out of range does nothing
//   -firstVisibleRow, -lastVisibleRow: the rows the enclosing scroll view
//     shows (every row without one; -1 when there are none)
//   -delegate, -setDelegate: (not retained)
// Events: a mouse-down ends an edit in progress and, with the left button,
// selects the cell under the pointer; while editing, Return, Enter or Tab
// ends the edit, Escape drops it and other keys are typed into the text;
// giving up first-responder status ends the edit.
#pragma once

#include "AppKit/NSView.h"

// Instance layout of NSMatrix.
struct NSMatrixLayout : NSViewLayout {
  id cells;  // NSMutableArray of rows * columns cells, row by row
  NSInteger rows, columns;
  NSInteger cell_width, cell_height;
  NSInteger selected_row, selected_column;
  NSInteger edited_row, edited_column;  // -1 when no edit is in progress
  id edited_text;                       // NSString, owned; nil when not editing
  id delegate;                          // not retained
};

// The name of the notification -textDidEndEditing: receives when the
// matrix ends an edit itself; its object is the matrix.
APPKIT_EXPORT extern id const NSTextDidEndEditingNotification;
