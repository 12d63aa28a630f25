// NSApplication: the shared application object, the event queue, event
// dispatch, the main loop and modal sessions. Main thread only: nothing
// here is locked.
//
// A raise from an event handler jumps out of every loop it runs in, so no
// frame here holds anything with a destructor across a dispatch. What a
// loop or a dispatch changes for its length (the current event, the loop
// depths, the per-event autorelease pool, an open session) is put back by
// a handler frame of its own, which then raises the same exception again.
#include "AppKit/NSApplication.h"

#include <cstdio>
#include <deque>

#include "AppKit/NSEvent.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSAutoreleasePool.h"
#include "Foundation/NSException.h"
#include "appkit_internal.h"
#include "plugin_loading.h"
#include "screen_stack.h"

id NSApp = nil;

// One open modal session. Sessions form a chain from the innermost outwards.
struct _NSModalSession {
  id window;  // retained
  _NSModalSession* enclosing;
  bool stopped;
  NSInteger response;  // what -runModalSession: yields once stopped
};

namespace appkit {
namespace {

using EventQueue = std::deque<id>;

NSApplicationLayout* layout(id self) { return static_cast<NSApplicationLayout*>(self); }
EventQueue& queue(id self) { return *static_cast<EventQueue*>(layout(self)->event_queue); }

bool is_open_session(id self, NSModalSession session) {
  for (NSModalSession s = layout(self)->modal_session; s != nullptr; s = s->enclosing)
    if (s == session) return true;
  return false;
}

// Raises unless session is one of the receiver's open sessions.
void check_session(id self, NSModalSession session, const char* method) {
  if (is_open_session(self, session)) return;
  char reason[128];
  std::snprintf(reason, sizeof reason, "-[NSApplication %s]: not an open modal session", method);
  NSRaise("NSInvalidArgumentException", reason);
}

// Unlinks an open session, wherever it is in the chain, and frees it.
void close_session(id self, NSModalSession session) {
  NSModalSession* link = &layout(self)->modal_session;
  while (*link != session) link = &(*link)->enclosing;
  *link = session->enclosing;
  msg<void>(session->window, SELECTOR(release));
  delete session;
}

// Whether a running modal session keeps window from receiving events: every
// window but the session's own is blocked unless it works when modal.
bool blocked_by_modal_session(id self, id window) {
  NSModalSession session = layout(self)->modal_session;
  if (layout(self)->modal_loop_depth == 0 || session == nullptr || window == session->window) return false;
  return !msg<BOOL>(window, SELECTOR(worksWhenModal));
}

// --- The application object ----------------------------------------------

// + (NSApplication*)sharedApplication
// Created through the receiver, so that a class posing as NSApplication
// creates an object of its own class.
id NSApplication_sharedApplication(id self, SEL) {
  if (NSApp == nil) {
    id app = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init));
    if (NSApp == nil) NSApp = app;
  }
  return NSApp;
}

id NSApplication_init(id self, SEL) {
  self = msgSuper<id>(objc_super_of(self, NSApplication_def), SELECTOR(init));
  if (self == nil) return nil;
  layout(self)->event_queue = new EventQueue();
  if (NSApp == nil) NSApp = self;
  return self;
}

void NSApplication_dealloc(id self, SEL) {
  if (layout(self)->event_queue != nullptr) {
    for (id event : queue(self)) msg<void>(event, SELECTOR(release));
    delete &queue(self);
  }
  while (NSModalSession s = layout(self)->modal_session) {
    layout(self)->modal_session = s->enclosing;
    msg<void>(s->window, SELECTOR(release));
    delete s;
  }
  if (NSApp == self) NSApp = nil;
  msgSuper<void>(objc_super_of(self, NSApplication_def), SELECTOR(dealloc));
}

// - (void)finishLaunching: the application's launch, sent once by the
// application before it handles its first event. Loads the bundles in the
// plug-in folders, the first time only. -run does not send it: here -run
// also dispatches queued events for tests and scenarios.
void NSApplication_finishLaunching(id, SEL) { load_plugins_once(); }

// - (NSArray*)plugIns: the bundles -finishLaunching loaded, in load order.
id NSApplication_plugIns(id, SEL) { return loaded_plugins(); }

// --- Events -------------------------------------------------------------

// - (void)postEvent:(NSEvent*)event atStart:(BOOL)atStart
void NSApplication_postEventAtStart(id self, SEL, id event, BOOL at_start) {
  if (event == nil) NSRaise("NSInvalidArgumentException", "-[NSApplication postEvent:atStart:]: nil event");
  msg<id>(event, SELECTOR(retain));
  if (at_start)
    queue(self).push_front(event);
  else
    queue(self).push_back(event);
}

// - (NSEvent*)nextEvent: takes the oldest queued event off the queue; nil
// if there is none.
id NSApplication_nextEvent(id self, SEL) {
  if (queue(self).empty()) return nil;
  id event = queue(self).front();
  queue(self).pop_front();
  return msg<id>(event, SELECTOR(autorelease));
}

NSUInteger NSApplication_pendingEventCount(id self, SEL) {
  return static_cast<NSUInteger>(queue(self).size());
}

id NSApplication_currentEvent(id self, SEL) { return layout(self)->current_event; }

// Application-defined events run their action. Mouse and key events go to
// their window (key events without one to the key window), unless a running
// modal session blocks it; a mouse-down first brings its window front and
// makes it key, if the window may become key.
void deliver(id self, id event) {
  NSInteger type = msg<NSInteger>(event, SELECTOR(type));
  if (type == NSApplicationDefined) {
    msg<void>(event, SELECTOR(_performAction));
    return;
  }
  id window = msg<id>(event, SELECTOR(window));
  if (window == nil && NSEventTypeIsKey(type)) window = screen::key_window();
  if (window == nil || blocked_by_modal_session(self, window)) return;
  if (NSEventTypeIsMouseDown(type) && !msg<BOOL>(window, SELECTOR(isKeyWindow)) &&
      msg<BOOL>(window, SELECTOR(canBecomeKeyWindow))) {
    msg<void>(window, SELECTOR(orderFront:), self);
    msg<void>(window, SELECTOR(makeKeyWindow));
  }
  msg<void>(window, SELECTOR(sendEvent:), event);
}

// Gives up the event that was current during a dispatch and puts back the
// one it replaced.
void restore_current_event(id self, id saved) {
  id dispatched = layout(self)->current_event;
  layout(self)->current_event = saved;
  msg<void>(dispatched, SELECTOR(release));
}

// The event is the current event while it is delivered, so that nested
// dispatch (a modal loop inside an event handler) puts the outer one back,
// also when a handler raises.
void NSApplication_sendEvent(id self, SEL, id event) {
  if (event == nil) return;
  id saved = layout(self)->current_event;
  layout(self)->current_event = msg<id>(event, SELECTOR(retain));
  NSRunCleaningUpOnRaise([&] { deliver(self, event); }, [&] { restore_current_event(self, saved); });
  restore_current_event(self, saved);
}

// Takes the oldest queued event and dispatches it inside an autorelease pool
// of its own. False when the queue was empty. A raise drains the pool before
// it goes on, so that no pool opened here outlives the loop.
bool dispatch_next_event(id self) {
  id pool = msg<id>(msg<id>(objc_getClass("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  bool dispatched = false;
  NSRunCleaningUpOnRaise(
      [&] {
        id event = msg<id>(self, SELECTOR(nextEvent));
        if (event == nil) return;
        dispatched = true;
        msg<void>(self, SELECTOR(sendEvent:), event);
      },
      [&] { msg<void>(pool, SELECTOR(drain)); });
  msg<void>(pool, SELECTOR(drain));
  return dispatched;
}

// Runs loop with *depth counted up by one; the count comes back down
// however the loop is left.
template <class Loop>
void counting_loop(int32_t* depth, Loop&& loop) {
  ++*depth;
  NSRunCleaningUpOnRaise(loop, [depth] { --*depth; });
  --*depth;
}

// - (void)run: dispatches queued events until -stop: or until the queue is
// empty. Each event is dispatched inside an autorelease pool of its own.
void NSApplication_run(id self, SEL) {
  layout(self)->stop_requested = NO;
  counting_loop(&layout(self)->main_loop_depth, [&] {
    while (!layout(self)->stop_requested && dispatch_next_event(self)) {
    }
  });
  layout(self)->stop_requested = NO;
}

void NSApplication_stop(id self, SEL, id) {
  if (layout(self)->main_loop_depth > 0) layout(self)->stop_requested = YES;
}
BOOL NSApplication_isRunning(id self, SEL) { return layout(self)->main_loop_depth > 0 ? YES : NO; }

// --- Modal sessions -----------------------------------------------------

// - (NSModalSession)beginModalSessionForWindow:(NSWindow*)window
// Opens the session, orders the window front and makes it key. If ordering
// or making key raises, no session stays open: the new session is closed
// again and the exception goes on to the caller.
NSModalSession NSApplication_beginModalSessionForWindow(id self, SEL, id window) {
  if (window == nil)
    NSRaise("NSInvalidArgumentException", "-[NSApplication beginModalSessionForWindow:]: nil window");
  auto* session =
      new _NSModalSession{msg<id>(window, SELECTOR(retain)), layout(self)->modal_session, false, 0};
  layout(self)->modal_session = session;
  NSRunCleaningUpOnRaise(
      [&] {
        msg<id>(self, SELECTOR(_orderFrontModalWindow:), window);
        msg<void>(window, SELECTOR(makeKeyWindow));
      },
      [&] { close_session(self, session); });
  return session;
}

// - (NSInteger)runModalSession:(NSModalSession)session
// Dispatches queued events until the session is stopped or the queue is
// empty. Yields the stop response, or NSRunContinuesResponse.
NSInteger NSApplication_runModalSession(id self, SEL, NSModalSession session) {
  check_session(self, session, "runModalSession:");
  counting_loop(&layout(self)->modal_loop_depth, [&] {
    while (!session->stopped && dispatch_next_event(self)) {
    }
  });
  return session->stopped ? session->response : NSRunContinuesResponse;
}

// - (void)endModalSession:(NSModalSession)session
// Any open session may be ended, not only the innermost.
void NSApplication_endModalSession(id self, SEL, NSModalSession session) {
  check_session(self, session, "endModalSession:");
  close_session(self, session);
}

// - (NSInteger)runModalForWindow:(NSWindow*)window
// Runs a session until it is stopped. Headless, a loop that runs out of
// events ends as aborted rather than waiting. The session is ended however
// the loop is left, also when an event handler raises (unless the handler
// ended it itself first) or the ending itself raises.
NSInteger NSApplication_runModalForWindow(id self, SEL, id window) {
  NSModalSession session = msg<NSModalSession>(self, SELECTOR(beginModalSessionForWindow:), window);
  NSInteger response = NSRunContinuesResponse;
  NSRunCleaningUpOnRaise(
      [&] {
        while (response == NSRunContinuesResponse && !queue(self).empty())
          response = msg<NSInteger>(self, SELECTOR(runModalSession:), session);
        msg<void>(self, SELECTOR(endModalSession:), session);
      },
      [&] {
        if (is_open_session(self, session)) msg<void>(self, SELECTOR(endModalSession:), session);
      });
  return response == NSRunContinuesResponse ? NSRunAbortedResponse : response;
}

// Stops the innermost session; -runModalSession: returns code once the
// event being dispatched is done. Without a session nothing happens.
void NSApplication_stopModalWithCode(id self, SEL, NSInteger code) {
  NSModalSession session = layout(self)->modal_session;
  if (session == nullptr) return;
  session->stopped = true;
  session->response = code;
}
void NSApplication_stopModal(id self, SEL) {
  msg<void>(self, SELECTOR(stopModalWithCode:), NSInteger(NSRunStoppedResponse));
}
void NSApplication_abortModal(id self, SEL) {
  msg<void>(self, SELECTOR(stopModalWithCode:), NSInteger(NSRunAbortedResponse));
}

id NSApplication_modalWindow(id self, SEL) {
  return layout(self)->modal_session != nullptr ? layout(self)->modal_session->window : nil;
}

// True while a modal loop is dispatching events.
BOOL NSApplication_isRunningModal(id self, SEL) { return layout(self)->modal_loop_depth > 0 ? YES : NO; }

// - (id)_orderFrontModalWindow:(NSWindow*)window
// Orders the window front at its own level; yields the window.
id NSApplication_orderFrontModalWindow(id self, SEL, id window) {
  msg<void>(window, SELECTOR(orderFront:), self);
  return window;
}

// --- Page layout --------------------------------------------------------

// - (void)runPageLayout:(id)sender
// Runs the shared page-layout panel on the shared print settings
// themselves, which the panel edits in place whatever the user closes it
// with.
void NSApplication_runPageLayout(id, SEL, id) {
  id print_info = msg<id>(objc_getClass("NSPrintInfo"), SELECTOR(sharedPrintInfo));
  msg<NSInteger>(msg<id>(objc_getClass("NSPageLayout"), SELECTOR(pageLayout)),
                 SELECTOR(runModalWithPrintInfo:), print_info);
}

// --- Windows ------------------------------------------------------------

id NSApplication_keyWindow(id, SEL) { return screen::key_window(); }

id array_of(const std::vector<id>& windows) {
  id array = msg<id>(objc_getClass("NSMutableArray"), SELECTOR(arrayWithCapacity:),
                     static_cast<NSUInteger>(windows.size()));
  for (id w : windows) msg<void>(array, SELECTOR(addObject:), w);
  return array;
}
// Every window, in the order they were made.
id NSApplication_windows(id, SEL) { return array_of(screen::all_windows()); }
// The windows on screen, front first.
id NSApplication_orderedWindows(id, SEL) { return array_of(screen::front_to_back()); }

const objc_method_def class_methods[] = {
    {"sharedApplication", objc_imp(&NSApplication_sharedApplication)},
};
const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSApplication_init)},
    {"dealloc", objc_imp(&NSApplication_dealloc)},
    {"finishLaunching", objc_imp(&NSApplication_finishLaunching)},
    {"plugIns", objc_imp(&NSApplication_plugIns)},
    {"postEvent:atStart:", objc_imp(&NSApplication_postEventAtStart)},
    {"nextEvent", objc_imp(&NSApplication_nextEvent)},
    {"pendingEventCount", objc_imp(&NSApplication_pendingEventCount)},
    {"currentEvent", objc_imp(&NSApplication_currentEvent)},
    {"sendEvent:", objc_imp(&NSApplication_sendEvent)},
    {"run", objc_imp(&NSApplication_run)},
    {"stop:", objc_imp(&NSApplication_stop)},
    {"isRunning", objc_imp(&NSApplication_isRunning)},
    {"beginModalSessionForWindow:", objc_imp(&NSApplication_beginModalSessionForWindow)},
    {"runModalSession:", objc_imp(&NSApplication_runModalSession)},
    {"endModalSession:", objc_imp(&NSApplication_endModalSession)},
    {"runModalForWindow:", objc_imp(&NSApplication_runModalForWindow)},
    {"stopModal", objc_imp(&NSApplication_stopModal)},
    {"stopModalWithCode:", objc_imp(&NSApplication_stopModalWithCode)},
    {"abortModal", objc_imp(&NSApplication_abortModal)},
    {"modalWindow", objc_imp(&NSApplication_modalWindow)},
    {"_isRunningModal", objc_imp(&NSApplication_isRunningModal)},
    {"_orderFrontModalWindow:", objc_imp(&NSApplication_orderFrontModalWindow)},
    {"runPageLayout:", objc_imp(&NSApplication_runPageLayout)},
    {"keyWindow", objc_imp(&NSApplication_keyWindow)},
    {"windows", objc_imp(&NSApplication_windows)},
    {"orderedWindows", objc_imp(&NSApplication_orderedWindows)},
};

}  // namespace

objc_class_def NSApplication_def = {"NSApplication",
                                    "NSObject",
                                    sizeof(NSApplicationLayout),
                                    objc_methods(class_methods),
                                    objc_methods(instance_methods),
                                    Nil};

id visible_modal_window() {
  if (NSApp == nil) return nil;
  for (NSModalSession s = layout(NSApp)->modal_session; s != nullptr; s = s->enclosing)
    if (screen::is_visible(s->window)) return s->window;
  return nil;
}

namespace {
objc_class_def* const classes[] = {&NSApplication_def};
objc_module_record NSApplication_record = objc_module("NSApplication", classes);
OBJC_MODULE_RECORD(NSApplication_record)
}  // namespace

}  // namespace appkit
