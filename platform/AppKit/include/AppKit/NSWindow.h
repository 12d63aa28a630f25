// NSWindow: a headless window with a frame, a title, a level, a place in
// the screen stack, key status, a content view and a first responder.
#pragma once

#include "AppKit/AppKitDefines.h"

// Window levels: the screen stack shows higher levels in front, and within
// a level the window ordered front most recently.
enum : NSInteger {
  NSNormalWindowLevel = 0,
  NSFloatingWindowLevel = 3,
};

// Instance layout of NSWindow. The screen stack, the window list and the
// key window are kept by the library, not here.
struct NSWindowLayout : NSObjectLayout {
  NSInteger x, y, width, height;  // frame
  NSInteger level;
  id title;            // NSString, copied
  id content_view;     // retained
  id first_responder;  // not retained; nil means the window itself
};

// Posted with the window as the object when a window becomes key, and when
// the key window gives key status up.
APPKIT_EXPORT extern id const NSWindowDidBecomeKeyNotification;
APPKIT_EXPORT extern id const NSWindowDidResignKeyNotification;
