// NSWindow: frame, title and level, ordering on the screen stack, key
// status and its notifications, the content view, the first responder and
// the routing of events to them. Main thread only.
#include <cstdio>

#include "AppKit/NSEvent.h"
#include "AppKit/NSWindow.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "appkit_internal.h"
#include "screen_stack.h"

namespace appkit {
namespace {

objc_constant_string did_become_key = objc_string("NSWindowDidBecomeKeyNotification");
objc_constant_string did_resign_key = objc_string("NSWindowDidResignKeyNotification");

NSWindowLayout* layout(id self) { return static_cast<NSWindowLayout*>(self); }

void post(id name, id window) {
  id center = msg<id>(objc_getClass("NSNotificationCenter"), SELECTOR(defaultCenter));
  msg<void>(center, SELECTOR(postNotificationName:object:), name, window);
}

bool responds(id target, SEL sel) { return msg<BOOL>(target, SELECTOR(respondsToSelector:), sel); }

// --- Life cycle ---------------------------------------------------------

// - (id)initWithFrameX:(NSInteger)x y:(NSInteger)y width:(NSInteger)width height:(NSInteger)height
id NSWindow_initWithFrame(id self, SEL, NSInteger x, NSInteger y, NSInteger width, NSInteger height) {
  self = msgSuper<id>(objc_super_of(self, NSWindow_def), SELECTOR(init));
  if (self == nil) return nil;
  layout(self)->title = msg<id>(NSStringFromUTF8("Window"), SELECTOR(retain));
  NSRunReleasingOnRaise(self,
                        [&] { msg<void>(self, SELECTOR(setFrameX:y:width:height:), x, y, width, height); });
  screen::add_window(self);
  return self;
}

id NSWindow_init(id self, SEL) {
  return msg<id>(self, SELECTOR(initWithFrameX:y:width:height:), NSInteger(0), NSInteger(0), NSInteger(480),
                 NSInteger(360));
}

// A window that goes away leaves the screen and the window list quietly:
// nobody may be told about an object that is being freed.
void NSWindow_dealloc(id self, SEL) {
  screen::remove_window(self);
  msg<void>(layout(self)->content_view, SELECTOR(release));
  msg<void>(layout(self)->title, SELECTOR(release));
  msgSuper<void>(objc_super_of(self, NSWindow_def), SELECTOR(dealloc));
}

// --- Frame, title, level ------------------------------------------------

void NSWindow_setFrame(id self, SEL, NSInteger x, NSInteger y, NSInteger width, NSInteger height) {
  NSWindowLayout* w = layout(self);
  w->x = x;
  w->y = y;
  w->width = width < 0 ? 0 : width;
  w->height = height < 0 ? 0 : height;
}
NSInteger NSWindow_frameX(id self, SEL) { return layout(self)->x; }
NSInteger NSWindow_frameY(id self, SEL) { return layout(self)->y; }
NSInteger NSWindow_frameWidth(id self, SEL) { return layout(self)->width; }
NSInteger NSWindow_frameHeight(id self, SEL) { return layout(self)->height; }

id NSWindow_title(id self, SEL) { return layout(self)->title; }
void NSWindow_setTitle(id self, SEL, id title) {
  id copy = title != nil ? msg<id>(title, SELECTOR(copy)) : msg<id>(NSStringFromUTF8(""), SELECTOR(retain));
  msg<void>(layout(self)->title, SELECTOR(release));
  layout(self)->title = copy;
}

NSInteger NSWindow_level(id self, SEL) { return layout(self)->level; }
// A visible window that changes level moves to the front of its new level.
void NSWindow_setLevel(id self, SEL, NSInteger level) {
  if (layout(self)->level == level) return;
  layout(self)->level = level;
  if (screen::is_visible(self)) screen::order_front(self);
}

// --- Ordering and key status --------------------------------------------

void NSWindow_orderFront(id self, SEL, id) { screen::order_front(self); }

// A key window that leaves the screen hands key status on: to the window of
// the innermost modal session still on screen, else to the frontmost window
// that can be the main window.
void NSWindow_orderOut(id self, SEL, id) {
  if (!screen::is_visible(self)) return;
  screen::order_out(self);
  if (screen::key_window() != self) return;
  screen::set_key_window(nil);
  msg<void>(self, SELECTOR(resignKeyWindow));
  id next = visible_modal_window();
  if (next == nil) {
    for (id w : screen::front_to_back()) {
      if (msg<BOOL>(w, SELECTOR(canBecomeMainWindow))) {
        next = w;
        break;
      }
    }
  }
  msg<void>(next, SELECTOR(makeKeyWindow));
}

void NSWindow_close(id self, SEL) { msg<void>(self, SELECTOR(orderOut:), nil); }
BOOL NSWindow_isVisible(id self, SEL) { return screen::is_visible(self) ? YES : NO; }

// The window that was key resigns before this one becomes key, so the
// notifications arrive in that order. A window that is key already does
// nothing and posts nothing.
void NSWindow_makeKeyWindow(id self, SEL) {
  id previous = screen::key_window();
  if (previous == self || !msg<BOOL>(self, SELECTOR(canBecomeKeyWindow))) return;
  screen::set_key_window(self);
  msg<void>(previous, SELECTOR(resignKeyWindow));
  msg<void>(self, SELECTOR(becomeKeyWindow));
}

void NSWindow_makeKeyAndOrderFront(id self, SEL, id sender) {
  msg<void>(self, SELECTOR(orderFront:), sender);
  msg<void>(self, SELECTOR(makeKeyWindow));
}

void NSWindow_becomeKeyWindow(id self, SEL) { post(reinterpret_cast<id>(&did_become_key), self); }
void NSWindow_resignKeyWindow(id self, SEL) { post(reinterpret_cast<id>(&did_resign_key), self); }
BOOL NSWindow_isKeyWindow(id self, SEL) { return screen::key_window() == self ? YES : NO; }
BOOL NSWindow_canBecomeKeyWindow(id, SEL) { return YES; }
BOOL NSWindow_canBecomeMainWindow(id, SEL) { return YES; }
// Whether the window takes clicks while a modal session runs for another.
BOOL NSWindow_worksWhenModal(id, SEL) { return NO; }

// --- Views, responders, events ------------------------------------------

id NSWindow_contentView(id self, SEL) { return layout(self)->content_view; }

// The view is told which window holds it, if it wants to know.
void NSWindow_setContentView(id self, SEL, id view) {
  id old = layout(self)->content_view;
  if (old == view) return;
  layout(self)->content_view = msg<id>(view, SELECTOR(retain));
  if (layout(self)->first_responder == old) layout(self)->first_responder = nil;
  if (responds(old, SELECTOR(_setWindow:))) msg<void>(old, SELECTOR(_setWindow:), id(nil));
  if (responds(view, SELECTOR(_setWindow:))) msg<void>(view, SELECTOR(_setWindow:), self);
  msg<void>(old, SELECTOR(release));
}

id NSWindow_firstResponder(id self, SEL) {
  return layout(self)->first_responder != nil ? layout(self)->first_responder : self;
}

// The current responder may refuse to resign and the new one to become
// first responder; a refusal to become leaves the window itself in charge.
BOOL NSWindow_makeFirstResponder(id self, SEL, id responder) {
  id current = msg<id>(self, SELECTOR(firstResponder));
  if (responder == nil) responder = self;
  if (responder == current) return YES;
  if (current != self && responds(current, SELECTOR(resignFirstResponder)) &&
      !msg<BOOL>(current, SELECTOR(resignFirstResponder)))
    return NO;
  layout(self)->first_responder = nil;
  if (responder != self && responds(responder, SELECTOR(becomeFirstResponder)) &&
      !msg<BOOL>(responder, SELECTOR(becomeFirstResponder)))
    return NO;
  layout(self)->first_responder = responder == self ? nil : responder;
  return YES;
}

// Mouse events go to the content view, key events to the first responder,
// each only if it handles them.
void NSWindow_sendEvent(id self, SEL, id event) {
  id target = layout(self)->content_view;
  SEL action = nullptr;
  switch (msg<NSInteger>(event, SELECTOR(type))) {
    case NSLeftMouseDown:
      action = SELECTOR(mouseDown:);
      break;
    case NSLeftMouseUp:
      action = SELECTOR(mouseUp:);
      break;
    case NSRightMouseDown:
      action = SELECTOR(rightMouseDown:);
      break;
    case NSRightMouseUp:
      action = SELECTOR(rightMouseUp:);
      break;
    case NSKeyDown:
      target = msg<id>(self, SELECTOR(firstResponder));
      action = SELECTOR(keyDown:);
      break;
    case NSKeyUp:
      target = msg<id>(self, SELECTOR(firstResponder));
      action = SELECTOR(keyUp:);
      break;
    default:
      return;
  }
  if (responds(target, action)) msg<void>(target, action, event);
}

id NSWindow_description(id self, SEL) {
  char text[256];
  std::snprintf(text, sizeof text, "<%s '%s' level %d>", class_getName(object_getClass(self)),
                NSStringToStd(layout(self)->title).c_str(), static_cast<int>(layout(self)->level));
  return NSStringFromUTF8(text);
}

const objc_method_def instance_methods[] = {
    {"initWithFrameX:y:width:height:", objc_imp(&NSWindow_initWithFrame)},
    {"init", objc_imp(&NSWindow_init)},
    {"dealloc", objc_imp(&NSWindow_dealloc)},
    {"setFrameX:y:width:height:", objc_imp(&NSWindow_setFrame)},
    {"frameX", objc_imp(&NSWindow_frameX)},
    {"frameY", objc_imp(&NSWindow_frameY)},
    {"frameWidth", objc_imp(&NSWindow_frameWidth)},
    {"frameHeight", objc_imp(&NSWindow_frameHeight)},
    {"title", objc_imp(&NSWindow_title)},
    {"setTitle:", objc_imp(&NSWindow_setTitle)},
    {"level", objc_imp(&NSWindow_level)},
    {"setLevel:", objc_imp(&NSWindow_setLevel)},
    {"orderFront:", objc_imp(&NSWindow_orderFront)},
    {"orderOut:", objc_imp(&NSWindow_orderOut)},
    {"close", objc_imp(&NSWindow_close)},
    {"isVisible", objc_imp(&NSWindow_isVisible)},
    {"makeKeyWindow", objc_imp(&NSWindow_makeKeyWindow)},
    {"makeKeyAndOrderFront:", objc_imp(&NSWindow_makeKeyAndOrderFront)},
    {"becomeKeyWindow", objc_imp(&NSWindow_becomeKeyWindow)},
    {"resignKeyWindow", objc_imp(&NSWindow_resignKeyWindow)},
    {"isKeyWindow", objc_imp(&NSWindow_isKeyWindow)},
    {"canBecomeKeyWindow", objc_imp(&NSWindow_canBecomeKeyWindow)},
    {"canBecomeMainWindow", objc_imp(&NSWindow_canBecomeMainWindow)},
    {"worksWhenModal", objc_imp(&NSWindow_worksWhenModal)},
    {"contentView", objc_imp(&NSWindow_contentView)},
    {"setContentView:", objc_imp(&NSWindow_setContentView)},
    {"firstResponder", objc_imp(&NSWindow_firstResponder)},
    {"makeFirstResponder:", objc_imp(&NSWindow_makeFirstResponder)},
    {"sendEvent:", objc_imp(&NSWindow_sendEvent)},
    {"description", objc_imp(&NSWindow_description)},
};

}  // namespace

objc_class_def NSWindow_def = {
    "NSWindow", "NSObject", sizeof(NSWindowLayout), objc_no_methods, objc_methods(instance_methods), Nil};

namespace {
objc_class_def* const classes[] = {&NSWindow_def};
objc_constant_string* const strings[] = {&did_become_key, &did_resign_key};
objc_module_record NSWindow_record = objc_module("NSWindow", classes, nullptr, strings);
OBJC_MODULE_RECORD(NSWindow_record)
}  // namespace

}  // namespace appkit

id const NSWindowDidBecomeKeyNotification = reinterpret_cast<id>(&appkit::did_become_key);
id const NSWindowDidResignKeyNotification = reinterpret_cast<id>(&appkit::did_resign_key);
