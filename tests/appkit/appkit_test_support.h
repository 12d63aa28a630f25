// Test helpers for the AppKit and modal patch tests: a view that records
// the events it receives, an observer that records key changes, panels that
// trace what is done to them, a host-defined application subclass, and
// short ways to make windows and events. The test program registers these
// classes itself with register_test_classes().
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "raise_support.h"

#include "AppKit/AppKit.h"
#include "Foundation/Foundation.h"
#include "Foundation/NSNotification.h"
#include "fresh_defaults.h"

namespace appkit_test {

// Everything the recording classes saw, in order: "mouseDown:Doc@3,4",
// "become:Find", "setLevel:4 Find", ...
inline std::vector<std::string> g_log;
// Whether NSApp's current event was the delivered event, for each delivery.
inline std::vector<bool> g_current_was_delivered;
// Run by a view when it receives a left mouse-down, for tests that act from
// inside dispatch.
inline void (*g_on_mouse_down)(id view, id event) = nullptr;

inline std::string title_of(id window) { return NSStringToStd(msg<id>(window, SELECTOR(title))); }

// --- RecordingView: logs mouse and key events -----------------------------

inline void record_event(const char* what, id event) {
  id window = msg<id>(event, SELECTOR(window));
  g_log.push_back(std::string(what) + (window != nil ? title_of(window) : "-") + "@" +
                  std::to_string(msg<NSInteger>(event, SELECTOR(locationX))) + "," +
                  std::to_string(msg<NSInteger>(event, SELECTOR(locationY))));
  g_current_was_delivered.push_back(msg<id>(NSApp, SELECTOR(currentEvent)) == event);
}
inline void RecordingView_mouseDown(id self, SEL, id event) {
  record_event("mouseDown:", event);
  if (g_on_mouse_down != nullptr) g_on_mouse_down(self, event);
}
inline void RecordingView_rightMouseDown(id, SEL, id event) { record_event("rightMouseDown:", event); }
inline void RecordingView_mouseUp(id, SEL, id event) { record_event("mouseUp:", event); }
inline void RecordingView_keyDown(id, SEL, id event) {
  g_log.push_back("keyDown:" + NSStringToStd(msg<id>(event, SELECTOR(characters))));
}
inline const objc_method_def recording_view_methods[] = {
    {"mouseDown:", objc_imp(&RecordingView_mouseDown)},
    {"rightMouseDown:", objc_imp(&RecordingView_rightMouseDown)},
    {"mouseUp:", objc_imp(&RecordingView_mouseUp)},
    {"keyDown:", objc_imp(&RecordingView_keyDown)},
};
inline objc_class_def recording_view = {"RecordingView",
                                        "NSObject",
                                        sizeof(NSObjectLayout),
                                        objc_no_methods,
                                        objc_methods(recording_view_methods),
                                        Nil};

// --- KeyObserver: logs key notifications ----------------------------------

inline void KeyObserver_didBecomeKey(id, SEL, id note) {
  g_log.push_back("become:" + title_of(msg<id>(note, SELECTOR(object))));
}
inline void KeyObserver_didResignKey(id, SEL, id note) {
  g_log.push_back("resign:" + title_of(msg<id>(note, SELECTOR(object))));
}
inline const objc_method_def key_observer_methods[] = {
    {"didBecomeKey:", objc_imp(&KeyObserver_didBecomeKey)},
    {"didResignKey:", objc_imp(&KeyObserver_didResignKey)},
};
inline objc_class_def key_observer = {"KeyObserver",
                                      "NSObject",
                                      sizeof(NSObjectLayout),
                                      objc_no_methods,
                                      objc_methods(key_observer_methods),
                                      Nil};

// --- TracingPanel: an NSPanel that logs level, ordering and key requests --

// The one method a TracingPanel refuses, by raising "PanelRefused" before
// doing anything: "setLevel:", "orderFront:" or "makeKeyAndOrderFront:".
// g_refusal is the exception object last raised, so that a test can tell
// that its caller received that very object.
inline std::string g_refused_by_panels;
inline id g_refusal = nil;
inline void refuse_if_asked(const char* method) {
  if (g_refused_by_panels != method) return;
  g_refusal = msg<id>(reinterpret_cast<id>(objc_getClass("NSException")),
                      SELECTOR(exceptionWithName:reason:userInfo:), NSStringFromUTF8("PanelRefused"),
                      NSStringFromUTF8(method), id(nil));
  msg<void>(g_refusal, SELECTOR(raise));
}

inline objc_class_def& tracing_panel_def();
inline void TracingPanel_setLevel(id self, SEL, NSInteger level) {
  refuse_if_asked("setLevel:");
  g_log.push_back("setLevel:" + std::to_string(level) + " " + title_of(self));
  msgSuper<void>(objc_super_of(self, tracing_panel_def()), SELECTOR(setLevel:), level);
}
inline void TracingPanel_orderFront(id self, SEL, id sender) {
  refuse_if_asked("orderFront:");
  g_log.push_back("orderFront: " + title_of(self) + " level " +
                  std::to_string(msg<NSInteger>(self, SELECTOR(level))));
  msgSuper<void>(objc_super_of(self, tracing_panel_def()), SELECTOR(orderFront:), sender);
}
inline void TracingPanel_makeKeyAndOrderFront(id self, SEL, id sender) {
  refuse_if_asked("makeKeyAndOrderFront:");
  g_log.push_back("makeKeyAndOrderFront: " + title_of(self) + (sender == NSApp ? " by NSApp" : ""));
  msgSuper<void>(objc_super_of(self, tracing_panel_def()), SELECTOR(makeKeyAndOrderFront:), sender);
}
inline const objc_method_def tracing_panel_methods[] = {
    {"setLevel:", objc_imp(&TracingPanel_setLevel)},
    {"orderFront:", objc_imp(&TracingPanel_orderFront)},
    {"makeKeyAndOrderFront:", objc_imp(&TracingPanel_makeKeyAndOrderFront)},
};
inline objc_class_def tracing_panel = {"TracingPanel",
                                       "NSPanel",
                                       sizeof(NSPanelLayout),
                                       objc_no_methods,
                                       objc_methods(tracing_panel_methods),
                                       Nil};
inline objc_class_def& tracing_panel_def() { return tracing_panel; }

// --- HostApplication: a host's own subclass of NSApplication --------------

inline objc_class_def host_application = {"HostApplication", "NSApplication", sizeof(NSApplicationLayout),
                                          objc_no_methods,   objc_no_methods, Nil};

inline objc_class_def* const test_classes[] = {&recording_view, &key_observer, &tracing_panel,
                                               &host_application};
inline objc_module_record test_record = {
    OBJC_MODULE_VERSION, "AppKitTest", test_classes, 4, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(test_record)

// Registers every record this program queued (the test classes, and any
// linked units), once. User defaults point at an empty directory first, so
// that nothing from the user's own defaults reaches a test; the directory
// goes away when the program ends.
inline void register_test_classes() {
  static const bool once = [] {
    test_support::keep_defaults_empty("appkit-test-defaults");
    objc_register_header("appkit-test");
    objc_finish_header();
    return true;
  }();
  (void)once;
}

inline id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }
inline void release(id obj) { msg<void>(obj, SELECTOR(release)); }
inline id app() { return msg<id>(cls("NSApplication"), SELECTOR(sharedApplication)); }

// A new window (owned by the caller) of class_name with a title, a level
// and a recording content view.
inline id new_window(const char* title, NSInteger level = NSNormalWindowLevel,
                     const char* class_name = "NSWindow") {
  id w = msg<id>(msg<id>(cls(class_name), SELECTOR(alloc)), SELECTOR(init));
  msg<void>(w, SELECTOR(setTitle:), NSStringFromUTF8(title));
  msg<void>(w, SELECTOR(setLevel:), level);
  id view = msg<id>(msg<id>(cls("RecordingView"), SELECTOR(alloc)), SELECTOR(init));
  msg<void>(w, SELECTOR(setContentView:), view);
  release(view);
  return w;
}
// A floating palette that works while modal.
inline id new_palette(const char* title, const char* class_name = "NSPanel") {
  id p = new_window(title, NSNormalWindowLevel, class_name);
  msg<void>(p, SELECTOR(setFloatingPanel:), YES);
  msg<void>(p, SELECTOR(setWorksWhenModal:), YES);
  return p;
}

inline id mouse(NSInteger type, id window, NSInteger x = 1, NSInteger y = 2) {
  return msg<id>(cls("NSEvent"), SELECTOR(mouseEventWithType:x:y:window:), type, x, y, window);
}
inline void post(id event) { msg<void>(NSApp, SELECTOR(postEvent:atStart:), event, NO); }
inline void post_click(id window) { post(mouse(NSLeftMouseDown, window)); }
inline void post_action(std::function<void()> action) { post(NSEventWithAction(std::move(action))); }

// Logs every key change from now on. The observer lives for the process.
inline void observe_key_changes() {
  id observer = msg<id>(msg<id>(cls("KeyObserver"), SELECTOR(alloc)), SELECTOR(init));
  id center = msg<id>(cls("NSNotificationCenter"), SELECTOR(defaultCenter));
  msg<void>(center, SELECTOR(addObserver:selector:name:object:), observer, SELECTOR(didBecomeKey:),
            NSWindowDidBecomeKeyNotification, nil);
  msg<void>(center, SELECTOR(addObserver:selector:name:object:), observer, SELECTOR(didResignKey:),
            NSWindowDidResignKeyNotification, nil);
}

// The screen stack front to back, as "Title:level" joined by spaces.
inline std::string screen() {
  NSAutoreleaseScope pool;
  id windows = msg<id>(NSApp, SELECTOR(orderedWindows));
  std::string text;
  for (NSUInteger i = 0, n = msg<NSUInteger>(windows, SELECTOR(count)); i < n; ++i) {
    id w = msg<id>(windows, SELECTOR(objectAtIndex:), i);
    if (!text.empty()) text += " ";
    text += title_of(w) + ":" + std::to_string(msg<NSInteger>(w, SELECTOR(level)));
  }
  return text;
}
inline NSUInteger window_count() {
  NSAutoreleaseScope pool;
  return msg<NSUInteger>(msg<id>(NSApp, SELECTOR(windows)), SELECTOR(count));
}
using test_support::raised_name;
using test_support::raised_object;

inline std::string key_title() {
  id key = msg<id>(NSApp, SELECTOR(keyWindow));
  return key != nil ? title_of(key) : "none";
}

}  // namespace appkit_test
