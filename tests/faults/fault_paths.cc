// The fault driver's paths (fault_paths.h). Objects a path makes are
// autoreleased into the run's pool, so that a raise leaves nothing owned
// behind; what a path opens on shared state (a session, an observer,
// queued events, a window on screen) it closes again on a raise.
#include "fault_paths.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "AppKit/AppKit.h"
#include "AppKit/NSEvent.h"
#include "AppKit/NSMatrix.h"
#include "AppKit/NSPageLayout.h"
#include "AppKit/NSPrintInfo.h"
#include "Foundation/Foundation.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSProcessInfo.h"
#include "scenarios.h"
#if FAULTS_IN_PROCESS_BUNDLE
#  include "Corvane.h"
#endif

namespace faults {
namespace {

id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }
id str(const char* text) { return NSStringFromUTF8(text); }
id app() { return msg<id>(cls("NSApplication"), SELECTOR(sharedApplication)); }
// A new object of class_name made with init, autoreleased.
id make(const char* class_name) {
  return msg<id>(msg<id>(msg<id>(cls(class_name), SELECTOR(alloc)), SELECTOR(init)), SELECTOR(autorelease));
}
std::string number(long n) { return std::to_string(n); }

// Drops the events a raise left queued, so that none runs in a later loop.
void discard_events() {
  while (msg<NSUInteger>(app(), SELECTOR(pendingEventCount)) > 0) msg<id>(app(), SELECTOR(nextEvent));
}
// Runs the application's loop on the events queued so far.
void run_loop() { msg<void>(app(), SELECTOR(run)); }
void post(id event) { msg<void>(app(), SELECTOR(postEvent:atStart:), event, NO); }

void pools(std::string& out) {
  id outer = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  id list = msg<id>(
      msg<id>(msg<id>(cls("NSMutableArray"), SELECTOR(alloc)), SELECTOR(initWithCapacity:), NSUInteger(2)),
      SELECTOR(autorelease));
  id inner = msg<id>(msg<id>(cls("NSAutoreleasePool"), SELECTOR(alloc)), SELECTOR(init));
  msg<void>(list, SELECTOR(addObject:), str("kept"));
  msg<void>(list, SELECTOR(addObject:), make("NSMutableArray"));
  msg<void>(inner, SELECTOR(drain));
  out += "list of " + number(static_cast<long>(msg<NSUInteger>(list, SELECTOR(count))));
  msg<void>(outer, SELECTOR(drain));
  out += ", pools drained\n";
}

void collections(std::string& out) {
  id list = make("NSMutableArray");
  msg<void>(list, SELECTOR(addObject:), str("b"));
  msg<void>(list, SELECTOR(insertObject:atIndex:), str("a"), NSUInteger(0));
  msg<void>(list, SELECTOR(addObject:), str("c"));
  msg<void>(list, SELECTOR(removeObjectAtIndex:), NSUInteger(1));
  id dict = make("NSMutableDictionary");
  msg<void>(dict, SELECTOR(setObject:forKey:), list, str("list"));
  msg<void>(dict, SELECTOR(setObject:forKey:), str("v"), str("k"));
  msg<void>(dict, SELECTOR(removeObjectForKey:), str("k"));
  id copy = msg<id>(msg<id>(dict, SELECTOR(copy)), SELECTOR(autorelease));
  out += NSStringToStd(msg<id>(copy, SELECTOR(description))) + "\n";
}

int g_notes = 0;
void FaultObserver_note(id, SEL, id) { ++g_notes; }
const objc_method_def observer_methods[] = {{"note:", objc_imp(&FaultObserver_note)}};
objc_class_def observer_class = {
    "FaultObserver", "NSObject", 0, objc_no_methods, objc_methods(observer_methods), Nil};
objc_class_def* const driver_classes[] = {&observer_class};
objc_module_record driver_record = {
    OBJC_MODULE_VERSION, "FaultDriver", driver_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(driver_record)

void notifications(std::string& out) {
  id center = msg<id>(cls("NSNotificationCenter"), SELECTOR(defaultCenter));
  id observer = make("FaultObserver");
  g_notes = 0;
  msg<void>(center, SELECTOR(addObserver:selector:name:object:), observer, SELECTOR(note:), str("FaultNote"),
            nil);
  // The removal is in the cleanup too: a raise in place of the removal
  // itself must not leave the observer registered.
  NSRunCleaningUpOnRaise(
      [&] {
        msg<void>(center, SELECTOR(postNotificationName:object:), str("FaultNote"), nil);
        msg<void>(center, SELECTOR(postNotificationName:object:), str("OtherNote"), nil);
        msg<void>(center, SELECTOR(removeObserver:), observer);
      },
      [&] { msg<void>(center, SELECTOR(removeObserver:), observer); });
  msg<void>(center, SELECTOR(postNotificationName:object:), str("FaultNote"), nil);
  out += "notes " + number(g_notes) + "\n";
}

void defaults_read(std::string& out) {
  id defaults = msg<id>(cls("NSUserDefaults"), SELECTOR(standardUserDefaults));
  id fallbacks = make("NSMutableDictionary");
  msg<void>(fallbacks, SELECTOR(setObject:forKey:), str("YES"), str("FaultFallback"));
  msg<void>(defaults, SELECTOR(registerDefaults:), fallbacks);
  BOOL on = msg<BOOL>(defaults, SELECTOR(boolForKey:), str("FaultFallback"));
  BOOL patch = msg<BOOL>(defaults, SELECTOR(boolForKey:), str("CorvaneEnable"));
  out += std::string("fallback ") + (on ? "YES" : "NO") + ", CorvaneEnable " + (patch ? "YES" : "NO") + "\n";
}

void defaults_write(std::string& out) {
  id defaults = msg<id>(cls("NSUserDefaults"), SELECTOR(standardUserDefaults));
  msg<void>(defaults, SELECTOR(setObject:forKey:), str("written"), str("FaultWritten"));
  msg<BOOL>(defaults, SELECTOR(synchronize));
  out += "read back " + NSStringToStd(msg<id>(defaults, SELECTOR(objectForKey:), str("FaultWritten")));
  msg<void>(defaults, SELECTOR(removeObjectForKey:), str("FaultWritten"));
  msg<BOOL>(defaults, SELECTOR(synchronize));
  out += "\n";
}

// The bundle beside the programs, as the sample host finds it.
std::string bundle_path() {
  std::vector<std::string> args = NSProcessInfoArguments();
  std::string exe = args.empty() ? "" : args[0];
  size_t slash = exe.find_last_of("/\\");
  return (slash == std::string::npos ? std::string(".") : exe.substr(0, slash)) + "/../Corvane.bundle";
}

void bundle_info(std::string& out) {
  id path = str(bundle_path().c_str());  // no C++ value lives across a send
  id bundle = msg<id>(cls("NSBundle"), SELECTOR(bundleWithPath:), path);
  id info = msg<id>(bundle, SELECTOR(infoDictionary));
  id fallbacks = msg<id>(info, SELECTOR(objectForKey:), str("CorvaneDefaults"));
  out += "fallbacks " + number(static_cast<long>(msg<NSUInteger>(fallbacks, SELECTOR(count)))) + "\n";
}

// A panel run modally until a queued action stops it, and a session run
// step by step.
void modal_sessions(std::string& out) {
  id panel = make("NSPanel");
  msg<void>(panel, SELECTOR(setTitle:), str("Fault panel"));
  NSRunCleaningUpOnRaise(
      [&] {
        post(NSEventWithAction([] { msg<void>(app(), SELECTOR(stopModal)); }));
        NSInteger response = msg<NSInteger>(app(), SELECTOR(runModalForWindow:), panel);
        out += "loop " + number(static_cast<long>(response)) + "\n";
      },
      [&] {
        discard_events();
        msg<void>(panel, SELECTOR(orderOut:), id(nil));
      });
  NSModalSession session = msg<NSModalSession>(app(), SELECTOR(beginModalSessionForWindow:), panel);
  bool ended = false;
  NSRunCleaningUpOnRaise(
      [&] {
        msg<NSInteger>(app(), SELECTOR(runModalSession:), session);
        msg<void>(app(), SELECTOR(endModalSession:), session);
        ended = true;
        msg<void>(panel, SELECTOR(orderOut:), id(nil));
      },
      [&] {
        if (!ended) msg<void>(app(), SELECTOR(endModalSession:), session);
        msg<void>(panel, SELECTOR(orderOut:), id(nil));
      });
  out += "session ended, modal window " +
         std::string(msg<id>(app(), SELECTOR(modalWindow)) == nil ? "none" : "left") + "\n";
}

void page_layout(std::string& out) {
  id fresh = make("NSPrintInfo");
  msg<void>(cls("NSPrintInfo"), SELECTOR(setSharedPrintInfo:), fresh);
  NSPageLayoutSetScriptedUser([](id panel) {
    msg<void>(panel, SELECTOR(choosePaperName:), NSStringFromUTF8("A5"));
    msg<void>(panel, SELECTOR(cancel:), id(nil));
  });
  NSRunCleaningUpOnRaise(
      [&] {
        post(NSEventWithAction([] { msg<void>(app(), SELECTOR(runPageLayout:), id(nil)); }));
        run_loop();
      },
      [&] { discard_events(); });
  id shared = msg<id>(cls("NSPrintInfo"), SELECTOR(sharedPrintInfo));
  out += NSStringToStd(msg<id>(shared, SELECTOR(paperName))) + (shared == fresh ? " #1" : " #2") + "\n";
}

void matrix_edits(std::string& out) {
  id window =
      msg<id>(msg<id>(msg<id>(cls("NSWindow"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                      NSInteger(0), NSInteger(0), NSInteger(200), NSInteger(200)),
              SELECTOR(autorelease));
  id matrix = msg<id>(msg<id>(msg<id>(cls("NSMatrix"), SELECTOR(alloc)), SELECTOR(initWithRows:columns:),
                              NSInteger(40), NSInteger(1)),
                      SELECTOR(autorelease));
  id scroll =
      msg<id>(msg<id>(msg<id>(cls("NSScrollView"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                      NSInteger(0), NSInteger(0), NSInteger(100), NSInteger(100)),
              SELECTOR(autorelease));
  NSRunCleaningUpOnRaise(
      [&] {
        msg<void>(scroll, SELECTOR(setDocumentView:), matrix);
        msg<void>(window, SELECTOR(setContentView:), scroll);
        msg<void>(window, SELECTOR(makeKeyAndOrderFront:), id(nil));
        msg<BOOL>(matrix, SELECTOR(editCellAtRow:column:), NSInteger(2), NSInteger(0));
        msg<void>(matrix, SELECTOR(insertText:), str("!"));
        msg<void>(scroll, SELECTOR(scrollToY:), NSInteger(400));
        post(msg<id>(cls("NSEvent"), SELECTOR(mouseEventWithType:x:y:window:), NSInteger(NSLeftMouseDown),
                     NSInteger(10), NSInteger(15), window));
        run_loop();
        out +=
            "first row shown " + number(static_cast<long>(msg<NSInteger>(matrix, SELECTOR(firstVisibleRow))));
        msg<void>(matrix, SELECTOR(renewRows:columns:), NSInteger(30), NSInteger(1));
        out += ", rows " + number(static_cast<long>(msg<NSInteger>(matrix, SELECTOR(numberOfRows)))) + "\n";
        msg<void>(window, SELECTOR(close));
      },
      [&] {
        discard_events();
        msg<BOOL>(matrix, SELECTOR(abortEditing));
        msg<void>(window, SELECTOR(close));
      });
}

void views(std::string& out) {
  id parent =
      msg<id>(msg<id>(msg<id>(cls("NSView"), SELECTOR(alloc)), SELECTOR(initWithFrameX:y:width:height:),
                      NSInteger(0), NSInteger(0), NSInteger(50), NSInteger(50)),
              SELECTOR(autorelease));
  for (int i = 0; i < 3; ++i) msg<void>(parent, SELECTOR(addSubview:), make("NSView"));
  id subviews = msg<id>(parent, SELECTOR(subviews));
  id first = msg<id>(subviews, SELECTOR(objectAtIndex:), NSUInteger(0));
  msg<void>(first, SELECTOR(removeFromSuperview));
  out += "subviews " +
         number(static_cast<long>(msg<NSUInteger>(msg<id>(parent, SELECTOR(subviews)), SELECTOR(count)))) +
         "\n";
}

// A host scenario, its output read back from a temporary file.
template <int Index>
void scenario(std::string& out) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) std::abort();
  NSRunCleaningUpOnRaise([&] { host::kScenarios[Index].run(file); }, [&] { std::fclose(file); });
  std::rewind(file);
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  std::fclose(file);
}

const Path kPaths[] = {
    {"pools", &pools, false},
    {"collections", &collections, false},
    {"notifications", &notifications, false},
    {"defaults read", &defaults_read, false},
    {"defaults write", &defaults_write, false},
    {"bundle information", &bundle_info, false},
    {"modal sessions", &modal_sessions, false},
    {"page layout", &page_layout, false},
    {"matrix edits", &matrix_edits, false},
    {"views", &views, false},
    {"scenario matrix", &scenario<0>, true},
    {"scenario pagelayout", &scenario<1>, true},
    {"scenario modal", &scenario<2>, true},
    {"scenario nested", &scenario<3>, true},
    {nullptr, nullptr, false},
};

}  // namespace

const Path* paths() { return kPaths; }

std::string bundle_state() {
#if FAULTS_IN_PROCESS_BUNDLE
  std::string state = "dontdoit " + std::to_string(dontdoit) + ", modal stack [";
  for (NSUInteger i = 0, n = msg<NSUInteger>(_modalWindows, SELECTOR(count)); i < n; ++i)
    state += (i > 0 ? " " : "") +
             NSStringToStd(msg<id>(msg<id>(_modalWindows, SELECTOR(objectAtIndex:), i), SELECTOR(title)));
  return state + "]";
#else
  return "";
#endif
}

BundleRun load_bundle_with_fault(const FaultKind& kind, long n) {
  BundleRun result;
  id path = str(bundle_path().c_str());
  id bundle = msg<id>(cls("NSBundle"), SELECTOR(bundleWithPath:), path);
  id caught = nil;
  BOOL loaded = NO;
  kind.arm(n);
  NSRunProtected([&] { loaded = msg<BOOL>(bundle, SELECTOR(load)); },
                 [&](id e) { caught = msg<id>(e, SELECTOR(retain)); });
  result.struck = kind.struck();
  kind.disarm();
  auto fail = [&](const std::string& why) {
    std::fprintf(stderr, "faults: inconsistent: bundle load, run %ld: %s\n", n, why.c_str());
    result.consistent = false;
  };
  if (result.struck && !kind.is_injected(caught)) fail("the top level caught something else");
  if (!result.struck && (caught != nil || !loaded)) fail("a load with no fault failed");
  msg<void>(caught, SELECTOR(release));
  if (result.struck) std::printf("struck %s\n", kind.site().c_str());
  kind.forget();
  if (objc_thread_locks_held() != 0) fail("a tracked lock is held");
  // Loading again answers YES and registers nothing more; the entry class
  // answers (running its initialize again if the fault cut it short).
  caught = nil;
  NSRunProtected(
      [&] {
        loaded = msg<BOOL>(bundle, SELECTOR(load));
        msg<id>(cls("Corvane"), SELECTOR(class));
      },
      [&](id e) { caught = msg<id>(e, SELECTOR(retain)); });
  if (caught != nil || !loaded) fail("loading again failed");
  msg<void>(caught, SELECTOR(release));
  for (const char* name : {"Corvane", "CorvaneApplication", "CorvaneMatrix"})
    if (objc_getClass(name) == Nil) fail(std::string("class ") + name + " is not registered");
  return result;
}

}  // namespace faults
