// NSCell: one text cell of a matrix: its text and whether it may be edited.
//
// Messages: -initTextCell: (NSString; copied), -init (empty text),
//   -stringValue, -setStringValue: (copied; nil is taken as empty),
//   -isEditable, -setEditable: (text cells start editable)
#pragma once

#include "AppKit/AppKitDefines.h"
#include "Foundation/NSObject.h"

// Instance layout of NSCell.
struct NSCellLayout : NSObjectLayout {
  id string_value;  // NSString, owned; never nil after init
  BOOL editable;
};
