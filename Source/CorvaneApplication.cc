// The CorvaneApplication unit: changeClassOfInstanceTo, the application
// patch class, which poses as NSApplication and keeps the newest modal
// window key and in front while a modal loop runs, and the modal window
// stack it keeps.
#include "Corvane.h"

#include "AppKit/NSWindow.h"
#include "Foundation/NSException.h"

// The framework's opaque modal session record, passed through unchanged.
struct _NSModalSession;

// ---------------------------------------------------------------------------
// changeClassOfInstanceTo: moves an existing object to another class by
// writing its class reference, the object's first field.

void changeClassOfInstanceTo(id object, Class cls) {
  if (object != nil) object->isa = cls;
}

// ---------------------------------------------------------------------------
// CorvaneApplication: poses as NSApplication. It pushes the window of every
// modal session that begins and pops one for every session that ends; while
// a modal loop runs, any other window that becomes key is answered by
// making the newest modal window key and frontmost again. Every window
// ordered front as a modal window is put at level 4 first, in front of
// floating palettes.

// The class record, defined after its method lists.
namespace {
extern constinit objc_class_def CorvaneApplication_class;
}

// The level of modal windows: above floating palettes (level 3).
static const NSInteger kModalWindowLevel = 4;

static id defaultCenter() { return msg<id>(objc_getClass("NSNotificationCenter"), SELECTOR(defaultCenter)); }

// + (void)enableCorvane
// Poses once, moves an application object of exactly the framework class
// over to this class, and has the application object observe key changes.
static void CorvaneApplication_enableCorvane(id self, SEL) {
  if (msg<id>(objc_getClass("NSApplication"), SELECTOR(class)) == self) return;  // already on
  Class replaced = msg<Class>(objc_getClass("NSApplication"), SELECTOR(class));
  msg<void>(self, SELECTOR(poseAsClass:), replaced);

  id app = msg<id>(objc_getClass("NSApplication"), SELECTOR(sharedApplication));
  if (msg<Class>(app, SELECTOR(class)) == replaced)
    changeClassOfInstanceTo(app, reinterpret_cast<Class>(self));
  msg<void>(defaultCenter(), SELECTOR(addObserver:selector:name:object:), app,
            SELECTOR(corvaneWindowDidBecomeKey:), NSWindowDidBecomeKeyNotification, nil);
}

// - (void)dealloc
static void CorvaneApplication_dealloc(id self, SEL) {
  msg<void>(defaultCenter(), SELECTOR(removeObserver:name:object:), self, NSWindowDidBecomeKeyNotification,
            nil);
  msgSuper<void>(objc_super_of(self, CorvaneApplication_class), SELECTOR(dealloc));
}

// - (NSModalSession)beginModalSessionForWindow:(NSWindow*)window
// The window is on top before the framework makes it key. If the framework
// raises, no session began: the window comes off the stack again and the
// same exception goes on to the caller.
static _NSModalSession* CorvaneApplication_beginModalSessionForWindow(id self, SEL, id window) {
  addModalWindow(window);
  NSHandlerFrame frame;
  _NSAddHandler(&frame);
  if (NS_SETJMP(frame.jumpState) != 0) {
    id exception = _NSExceptionObjectFromHandler(&frame);
    removeLastModalWindow();
    msg<void>(exception, SELECTOR(raise));
    return nullptr;  // not reached: raise does not return
  }
  _NSModalSession* session = msgSuper<_NSModalSession*>(objc_super_of(self, CorvaneApplication_class),
                                                        SELECTOR(beginModalSessionForWindow:), window);
  _NSRemoveHandler(&frame);
  return session;
}

// Puts a window taken off the stack back on top and gives up the hold on it.
static void restoreModalWindow(id window) {
  if (window != nil) addModalWindow(window);
  msg<void>(window, SELECTOR(release));
}

// - (void)endModalSession:(NSModalSession)session
// While the framework ends the session, the top is already the window of
// the enclosing session. If the framework raises, the session is still
// open: the window taken off goes back on top (if the pop itself raised
// before taking it off, the stack is as it was), and the same exception
// goes on to the caller.
static void CorvaneApplication_endModalSession(id self, SEL, _NSModalSession* session) {
  NSUInteger count = msg<NSUInteger>(_modalWindows, SELECTOR(count));
  id top = msg<id>(msg<id>(_modalWindows, SELECTOR(lastObject)), SELECTOR(retain));
  NSHandlerFrame frame;
  _NSAddHandler(&frame);
  if (NS_SETJMP(frame.jumpState) != 0) {
    id exception = _NSExceptionObjectFromHandler(&frame);
    if (msg<NSUInteger>(_modalWindows, SELECTOR(count)) != count)
      restoreModalWindow(top);
    else
      msg<void>(top, SELECTOR(release));
    msg<void>(exception, SELECTOR(raise));
    return;  // not reached: raise does not return
  }
  removeLastModalWindow();
  msgSuper<void>(objc_super_of(self, CorvaneApplication_class), SELECTOR(endModalSession:), session);
  _NSRemoveHandler(&frame);
  msg<void>(top, SELECTOR(release));
}

// - (void)corvaneWindowDidBecomeKey:(NSNotification*)notification
// When the newest modal window itself becomes key, nothing is done, so
// bringing it back cannot loop.
static void CorvaneApplication_corvaneWindowDidBecomeKey(id self, SEL, id notification) {
  id window = msg<id>(notification, SELECTOR(object));
  if (!msg<BOOL>(self, SELECTOR(_isRunningModal))) return;
  id top = msg<id>(_modalWindows, SELECTOR(lastObject));
  if (top == nil || top == window) return;
  msg<void>(top, SELECTOR(makeKeyAndOrderFront:), self);
}

// - (id)_orderFrontModalWindow:(NSWindow*)window
static id CorvaneApplication__orderFrontModalWindow(id self, SEL, id window) {
  msg<void>(window, SELECTOR(setLevel:), kModalWindowLevel);
  return msgSuper<id>(objc_super_of(self, CorvaneApplication_class), SELECTOR(_orderFrontModalWindow:),
                      window);
}

static const objc_method_def CorvaneApplication_class_methods[] = {
    {"enableCorvane", objc_imp(&CorvaneApplication_enableCorvane)},
};

static const objc_method_def CorvaneApplication_instance_methods[] = {
    {"dealloc", objc_imp(&CorvaneApplication_dealloc)},
    {"beginModalSessionForWindow:", objc_imp(&CorvaneApplication_beginModalSessionForWindow)},
    {"endModalSession:", objc_imp(&CorvaneApplication_endModalSession)},
    {"corvaneWindowDidBecomeKey:", objc_imp(&CorvaneApplication_corvaneWindowDidBecomeKey)},
    {"_orderFrontModalWindow:", objc_imp(&CorvaneApplication__orderFrontModalWindow)},
};

namespace {
constinit objc_class_def CorvaneApplication_class = {"CorvaneApplication",
                                                     "NSApplication",
                                                     0 /* no instance variables of its own */,
                                                     objc_methods(CorvaneApplication_class_methods),
                                                     objc_methods(CorvaneApplication_instance_methods),
                                                     Nil};
}  // namespace

// ---------------------------------------------------------------------------
// The modal window stack: the window of every running modal session, the
// oldest first. The array exists only while it holds a window: the first
// push creates it with room for one, and the pop that empties it releases
// it. It retains the windows it holds. Event-handling thread only.

constinit id _modalWindows = nil;

void addModalWindow(id window) {
  if (_modalWindows == nil)
    _modalWindows = msg<id>(msg<id>(objc_getClass("NSMutableArray"), SELECTOR(alloc)),
                            SELECTOR(initWithCapacity:), NSUInteger(1));
  msg<void>(_modalWindows, SELECTOR(addObject:), window);
}

// Pops the newest window, whichever session is ending: windows are never
// compared.
void removeLastModalWindow() {
  if (_modalWindows == nil) return;
  if (msg<NSUInteger>(_modalWindows, SELECTOR(count)) == 0) return;
  msg<void>(_modalWindows, SELECTOR(removeLastObject));
  if (msg<NSUInteger>(_modalWindows, SELECTOR(count)) == 0) {
    msg<void>(_modalWindows, SELECTOR(release));
    _modalWindows = nil;
  }
}

// ---------------------------------------------------------------------------
// The unit's record.

static objc_class_def* const CorvaneApplication_unit_classes[] = {&CorvaneApplication_class};
static constinit objc_module_record CorvaneApplication_unit =
    objc_module("CorvaneApplication", CorvaneApplication_unit_classes);
OBJC_MODULE_RECORD(CorvaneApplication_unit)
