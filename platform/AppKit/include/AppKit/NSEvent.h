// NSEvent: the input events the application queues and dispatches. Mouse
// events carry a location in their window, key events the characters typed,
// and application-defined events a C++ action the application runs when it
// dispatches them (hosts and tests script a user with those).
#pragma once

#include <functional>

#include "AppKit/AppKitDefines.h"

// Event types, as -type yields them.
enum : NSInteger {
  NSLeftMouseDown = 1,
  NSLeftMouseUp = 2,
  NSRightMouseDown = 3,
  NSRightMouseUp = 4,
  NSKeyDown = 10,
  NSKeyUp = 11,
  NSApplicationDefined = 15,
};

inline bool NSEventTypeIsMouse(NSInteger type) { return type >= NSLeftMouseDown && type <= NSRightMouseUp; }
inline bool NSEventTypeIsMouseDown(NSInteger type) {
  return type == NSLeftMouseDown || type == NSRightMouseDown;
}
inline bool NSEventTypeIsKey(NSInteger type) { return type == NSKeyDown || type == NSKeyUp; }

// Instance layout of NSEvent.
struct NSEventLayout : NSObjectLayout {
  NSInteger type;
  NSInteger x, y;                 // location in the window, mouse events only
  id window;                      // retained; may be nil
  id characters;                  // NSString, copied; key events only
  std::function<void()>* action;  // owned; application-defined events only
};

// A new autoreleased application-defined event: when the application
// dispatches it (-sendEvent:), it runs action, with the event as the
// current event. window may be nil.
APPKIT_EXPORT id NSEventWithAction(std::function<void()> action, id window = nil);
