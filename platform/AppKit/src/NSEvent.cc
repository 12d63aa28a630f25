// NSEvent: mouse, key and application-defined events, their constructors
// and accessors. Events are immutable once made.
#include "AppKit/NSEvent.h"

#include <cstdio>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "appkit_internal.h"

namespace appkit {
namespace {

NSEventLayout* layout(id self) { return static_cast<NSEventLayout*>(self); }

// A fresh event of the receiving class, owned by the caller.
id new_event(id cls, NSInteger type, id window) {
  id event = msg<id>(msg<id>(cls, SELECTOR(alloc)), SELECTOR(init));
  layout(event)->type = type;
  layout(event)->window = msg<id>(window, SELECTOR(retain));
  return event;
}

// + (NSEvent*)mouseEventWithType:(NSInteger)type x:(NSInteger)x y:(NSInteger)y window:(NSWindow*)window
id NSEvent_mouseEventWithTypeXYWindow(id self, SEL, NSInteger type, NSInteger x, NSInteger y, id window) {
  if (!NSEventTypeIsMouse(type)) {
    char reason[128];
    std::snprintf(reason, sizeof reason, "+[NSEvent mouseEventWithType:...]: %d is not a mouse event type",
                  static_cast<int>(type));
    NSRaise("NSInvalidArgumentException", reason);
  }
  id event = msg<id>(new_event(self, type, window), SELECTOR(autorelease));
  layout(event)->x = x;
  layout(event)->y = y;
  return event;
}

// + (NSEvent*)keyEventWithType:(NSInteger)type characters:(NSString*)characters window:(NSWindow*)window
id NSEvent_keyEventWithTypeCharactersWindow(id self, SEL, NSInteger type, id characters, id window) {
  if (!NSEventTypeIsKey(type)) {
    char reason[128];
    std::snprintf(reason, sizeof reason, "+[NSEvent keyEventWithType:...]: %d is not a key event type",
                  static_cast<int>(type));
    NSRaise("NSInvalidArgumentException", reason);
  }
  // Autoreleased before the copy below, which may raise.
  id event = msg<id>(new_event(self, type, window), SELECTOR(autorelease));
  // A key event always has characters, empty when none were given.
  layout(event)->characters = characters != nil ? msg<id>(characters, SELECTOR(copy))
                                                : msg<id>(NSStringFromUTF8(""), SELECTOR(retain));
  return event;
}

void NSEvent_dealloc(id self, SEL) {
  msg<void>(layout(self)->window, SELECTOR(release));
  msg<void>(layout(self)->characters, SELECTOR(release));
  delete layout(self)->action;
  msgSuper<void>(objc_super_of(self, NSEvent_def), SELECTOR(dealloc));
}

NSInteger NSEvent_type(id self, SEL) { return layout(self)->type; }
id NSEvent_window(id self, SEL) { return layout(self)->window; }
NSInteger NSEvent_locationX(id self, SEL) { return layout(self)->x; }
NSInteger NSEvent_locationY(id self, SEL) { return layout(self)->y; }
id NSEvent_characters(id self, SEL) { return layout(self)->characters; }

// Runs the event's action, if it has one. The application sends this while
// it dispatches an application-defined event.
void NSEvent_performAction(id self, SEL) {
  if (layout(self)->action != nullptr) (*layout(self)->action)();
}

id NSEvent_description(id self, SEL) {
  char text[160];
  std::snprintf(text, sizeof text, "<NSEvent type=%d x=%d y=%d window=%p>",
                static_cast<int>(layout(self)->type), static_cast<int>(layout(self)->x),
                static_cast<int>(layout(self)->y), static_cast<void*>(layout(self)->window));
  return NSStringFromUTF8(text);
}

const objc_method_def class_methods[] = {
    {"mouseEventWithType:x:y:window:", objc_imp(&NSEvent_mouseEventWithTypeXYWindow)},
    {"keyEventWithType:characters:window:", objc_imp(&NSEvent_keyEventWithTypeCharactersWindow)},
};
const objc_method_def instance_methods[] = {
    {"dealloc", objc_imp(&NSEvent_dealloc)},
    {"type", objc_imp(&NSEvent_type)},
    {"window", objc_imp(&NSEvent_window)},
    {"locationX", objc_imp(&NSEvent_locationX)},
    {"locationY", objc_imp(&NSEvent_locationY)},
    {"characters", objc_imp(&NSEvent_characters)},
    {"_performAction", objc_imp(&NSEvent_performAction)},
    {"description", objc_imp(&NSEvent_description)},
};

}  // namespace

objc_class_def NSEvent_def = {
    "NSEvent", "NSObject", sizeof(NSEventLayout), objc_methods(class_methods), objc_methods(instance_methods),
    Nil};

namespace {
objc_class_def* const classes[] = {&NSEvent_def};
objc_module_record NSEvent_record = objc_module("NSEvent", classes);
OBJC_MODULE_RECORD(NSEvent_record)
}  // namespace

}  // namespace appkit

id NSEventWithAction(std::function<void()> action, id window) {
  id event = nil;
  // Making the event may raise: the action's storage is freed then.
  NSRunCleaningUpOnRaise(
      [&] {
        event =
            appkit::new_event(reinterpret_cast<id>(objc_getClass("NSEvent")), NSApplicationDefined, window);
      },
      [&] { std::function<void()>().swap(action); });
  static_cast<NSEventLayout*>(event)->action = new std::function<void()>(std::move(action));
  return msg<id>(event, SELECTOR(autorelease));
}
