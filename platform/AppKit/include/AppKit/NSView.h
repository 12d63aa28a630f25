// NSView: a rectangle in a window that holds subviews, and the hit testing
// and mouse routing that carry a click from the window's content view to
// the view under it. Headless: views have geometry and nothing is drawn.
//
// Coordinates are whole points and flipped alike in windows and views: the
// origin is the top-left corner and y grows downward. A view's frame is in
// its superview's coordinates; its bounds origin (normally 0,0) is what its
// own top-left corner shows, which is how a scroll view scrolls. A window's
// content view has its frame in window coordinates.
//
// Messages (all integers are NSInteger):
//   -initWithFrameX:y:width:height:, -init (an empty frame)
//   -frameX, -frameY, -frameWidth, -frameHeight, -setFrameX:y:width:height:
//   -boundsX, -boundsY, -setBoundsOriginX:y:
//   -superview, -subviews (NSArray), -addSubview:, -removeFromSuperview,
//     -willRemoveSubview: (sent to the superview before a subview leaves)
//   -window (the window of the top-most superview), -_setWindow: (sent by
//     the window to its content view; not retained)
//   -hitTestX:y: (point in the superview's coordinates; the deepest view
//     containing it, or nil)
//   -enclosingScrollView, -scrollRectToVisibleY:height: (own coordinates)
//   -acceptsFirstResponder (NO), -becomeFirstResponder, -resignFirstResponder
//     (YES), -mouseDown:, -rightMouseDown:, -keyDown: (a view without a
//     superview passes a mouse-down on to the view under the event's
//     location; otherwise these do nothing)
#pragma once

#include "AppKit/AppKitDefines.h"
#include "Foundation/NSObject.h"

// Instance layout of NSView.
struct NSViewLayout : NSObjectLayout {
  id superview;  // not retained: the superview retains its subviews
  id window;     // not retained; set on the content view only
  id subviews;   // NSMutableArray, back to front; created with the first subview
  NSInteger frame_x, frame_y, frame_width, frame_height;
  NSInteger bounds_x, bounds_y;
};

// Converts a point in window coordinates to view's own coordinates, through
// every superview's frame and bounds origin.
APPKIT_EXPORT void NSViewConvertFromWindow(id view, NSInteger* x, NSInteger* y);
