// NSPrintInfo: the settings a document is printed with: the paper's name
// and size, the orientation and the four margins. The class keeps one
// shared instance, the settings the page-layout action works on.
//
// Sizes and margins are whole points (1/72 inch). The paper size is always
// given portrait-wise (width <= height for the named papers); the
// orientation says how the page is turned on it and does not swap them.
//
// Messages (integers are NSInteger):
//   +sharedPrintInfo: the shared settings, made with [[self alloc] init]
//     the first time they are asked for
//   +setSharedPrintInfo: retains the new settings and releases the old;
//     nil raises NSInvalidArgumentException and keeps the old ones
//   -init: "Letter" (612 by 792), portrait, margins 72 left and right,
//     90 top and bottom
//   -copy / -copyWithZone:: new settings of the receiver's class with the
//     same values, owned by the caller and independent of the receiver
//   -paperName, -setPaperName: (a known name also sets the size: Letter,
//     Legal, A4, A5, B5; any other name keeps the current size)
//   -paperWidth, -paperHeight, -setPaperWidth:height: (both above 0)
//   -orientation, -setOrientation: (NSPortraitOrientation or
//     NSLandscapeOrientation)
//   -leftMargin, -rightMargin, -topMargin, -bottomMargin and their setters
//     (0 or more)
//   -description: "A5 420x595 portrait, margins 72/72/90/90" (left, right,
//     top, bottom)
// A value out of range raises NSInvalidArgumentException and changes
// nothing. Main thread only.
#pragma once

#include "AppKit/AppKitDefines.h"

enum : NSInteger {
  NSPortraitOrientation = 0,
  NSLandscapeOrientation = 1,
};

// Instance layout of NSPrintInfo.
struct NSPrintInfoLayout : NSObjectLayout {
  id paper_name;  // NSString, copied; never nil after init
  NSInteger paper_width, paper_height;
  NSInteger orientation;
  NSInteger left_margin, right_margin, top_margin, bottom_margin;
};
