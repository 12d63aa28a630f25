// The stand-in AppKit on its own: the application object, events and their
// dispatch, the screen stack and key status, and modal sessions, including
// the framework behaviour the modal patch corrects.
#include <gtest/gtest.h>

#include "appkit_test_support.h"

using namespace appkit_test;

namespace {

class AppKitTest : public ::testing::Test {
 protected:
  void SetUp() override {
    register_test_classes();
    g_log.clear();
    g_current_was_delivered.clear();
  }
  NSAutoreleaseScope pool_;
};

std::vector<std::string> log_of(std::initializer_list<const char*> lines) {
  return {lines.begin(), lines.end()};
}

// Told by the test module's +load (TestModule.bundle); always raises.
void BundleTestLoadHook_moduleDidLoad(id, SEL, id) { NSRaise("LoadRefused", "the module's load raised"); }
const objc_method_def hook_class_methods[] = {
    {"moduleDidLoad:", objc_imp(&BundleTestLoadHook_moduleDidLoad)}};
objc_class_def load_hook = {"BundleTestLoadHook", "NSObject", 0, objc_methods(hook_class_methods),
                            objc_no_methods,      Nil};
objc_class_def* const hook_classes[] = {&load_hook};
objc_module_record hook_record = {
    OBJC_MODULE_VERSION, "AppKitTestHook", hook_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(hook_record)

}  // namespace

// --- The application object -------------------------------------------------

TEST_F(AppKitTest, SharedApplicationIsCreatedOnceThroughTheReceiver) {
  EXPECT_EQ(NSApp, nil);
  id host_app = msg<id>(cls("HostApplication"), SELECTOR(sharedApplication));
  EXPECT_EQ(object_getClass(host_app), objc_getClass("HostApplication"));
  EXPECT_EQ(NSApp, host_app);
  EXPECT_EQ(app(), host_app);  // the framework class yields the same object
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(keyWindow)), nil);
}

TEST_F(AppKitTest, DeallocatedApplicationClearsNSApp) {
  id a = app();
  release(a);
  EXPECT_EQ(NSApp, nil);
  EXPECT_NE(app(), nil);
}

// The launch loads the plug-in folders once. A plug-in whose load raises is
// reported in one line and skipped; the raise goes no further.
TEST_F(AppKitTest, FinishLaunchingLoadsThePlugInsOnceAndSkipsOneThatRaises) {
  const char* build = std::getenv("CORVANE_BUILD_DIR");
  ASSERT_NE(build, nullptr);
  std::filesystem::path folder = test_support::fresh_directory("plugins");
  std::filesystem::copy(std::filesystem::path(build) / "TestModule.bundle", folder / "TestModule.bundle",
                        std::filesystem::copy_options::recursive);
  test_support::set_env("PLUGINS_PATH", folder.string());
  id a = app();
  testing::internal::CaptureStderr();
  msg<void>(a, SELECTOR(finishLaunching));
  msg<void>(a, SELECTOR(finishLaunching));
  std::string err = testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "AppKit: skipping plug-in " + (folder / "TestModule.bundle").string() +
                     ": loading it raised LoadRefused: the module's load raised\n");
  EXPECT_EQ(msg<NSUInteger>(msg<id>(a, SELECTOR(plugIns)), SELECTOR(count)), 0u);
  std::error_code ignored;  // Windows keeps a loaded module's file
  std::filesystem::remove_all(folder, ignored);
}

// --- Events -----------------------------------------------------------------

TEST_F(AppKitTest, EventConstructorsAndAccessors) {
  id w = new_window("Doc");
  id down = mouse(NSRightMouseDown, w, 30, 40);
  EXPECT_EQ(msg<NSInteger>(down, SELECTOR(type)), 3);
  EXPECT_EQ(msg<id>(down, SELECTOR(window)), w);
  EXPECT_EQ(msg<NSInteger>(down, SELECTOR(locationX)), 30);
  EXPECT_EQ(msg<NSInteger>(down, SELECTOR(locationY)), 40);
  EXPECT_EQ(msg<id>(down, SELECTOR(characters)), nil);

  id key = msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:), NSInteger(NSKeyDown),
                   NSStringFromUTF8("x"), w);
  EXPECT_EQ(msg<NSInteger>(key, SELECTOR(type)), 10);
  EXPECT_EQ(NSStringToStd(msg<id>(key, SELECTOR(characters))), "x");
  id bare =
      msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:), NSInteger(NSKeyUp), nil, nil);
  EXPECT_EQ(NSStringToStd(msg<id>(bare, SELECTOR(characters))), "");
  release(w);
}

TEST_F(AppKitTest, EventConstructorsRejectTypesOfTheOtherKind) {
  EXPECT_EQ(raised_name([] { mouse(NSKeyDown, nil); }), "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([] { mouse(0, nil); }), "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([] {
              msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:),
                      NSInteger(NSLeftMouseDown), NSStringFromUTF8("x"), id(nil));
            }),
            "NSInvalidArgumentException");
  app();
  EXPECT_EQ(raised_name([] { msg<void>(NSApp, SELECTOR(postEvent:atStart:), id(nil), NO); }),
            "NSInvalidArgumentException");
}

// --- The event queue and dispatch -------------------------------------------

TEST_F(AppKitTest, QueueKeepsOrderAndAtStartJumpsIt) {
  app();
  id w = new_window("Doc");
  post(mouse(NSLeftMouseDown, w, 1, 1));
  post(mouse(NSLeftMouseUp, w, 2, 2));
  msg<void>(NSApp, SELECTOR(postEvent:atStart:), mouse(NSRightMouseDown, w, 0, 0), YES);
  EXPECT_EQ(msg<NSUInteger>(NSApp, SELECTOR(pendingEventCount)), 3u);
  msg<void>(NSApp, SELECTOR(run));
  EXPECT_EQ(g_log, log_of({"rightMouseDown:Doc@0,0", "mouseDown:Doc@1,1", "mouseUp:Doc@2,2"}));
  EXPECT_EQ(msg<NSUInteger>(NSApp, SELECTOR(pendingEventCount)), 0u);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(isRunning)));
  release(w);
}

TEST_F(AppKitTest, CurrentEventIsTheDispatchedOneAndNestedDispatchRestoresIt) {
  app();
  id w = new_window("Doc");
  id outer = mouse(NSLeftMouseDown, w);
  id inner = mouse(NSRightMouseDown, w);
  id seen_after_inner = nil;
  post(NSEventWithAction([&] {
    EXPECT_NE(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
    msg<void>(NSApp, SELECTOR(sendEvent:), outer);
  }));
  msg<void>(NSApp, SELECTOR(run));
  EXPECT_EQ(g_current_was_delivered, std::vector<bool>{true});

  // A dispatch inside a dispatch: the outer event is current again after.
  post(NSEventWithAction([&] {
    id before = msg<id>(NSApp, SELECTOR(currentEvent));
    msg<void>(NSApp, SELECTOR(sendEvent:), inner);
    seen_after_inner = msg<id>(NSApp, SELECTOR(currentEvent));
    EXPECT_EQ(seen_after_inner, before);
  }));
  msg<void>(NSApp, SELECTOR(run));
  EXPECT_NE(seen_after_inner, nil);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
  release(w);
}

TEST_F(AppKitTest, StopEndsTheMainLoopAndLeavesTheRestQueued) {
  app();
  int ran = 0;
  post_action([&] { ++ran; });
  post_action([&] {
    ++ran;
    msg<void>(NSApp, SELECTOR(stop:), id(nil));
  });
  post_action([&] { ++ran; });
  msg<void>(NSApp, SELECTOR(run));
  EXPECT_EQ(ran, 2);
  EXPECT_EQ(msg<NSUInteger>(NSApp, SELECTOR(pendingEventCount)), 1u);
  msg<void>(NSApp, SELECTOR(stop:), id(nil));  // not running: remembered by nobody
  msg<void>(NSApp, SELECTOR(run));
  EXPECT_EQ(ran, 3);
}

TEST_F(AppKitTest, MouseEventsGoToTheContentViewAndKeyEventsToTheFirstResponder) {
  app();
  id w = new_window("Doc");
  msg<void>(NSApp, SELECTOR(sendEvent:), mouse(NSLeftMouseDown, w, 5, 6));
  msg<void>(NSApp, SELECTOR(sendEvent:), mouse(NSRightMouseDown, w, 7, 8));
  msg<void>(NSApp, SELECTOR(sendEvent:), mouse(NSRightMouseUp, w));  // the view has no rightMouseUp:
  id key = msg<id>(cls("NSEvent"), SELECTOR(keyEventWithType:characters:window:), NSInteger(NSKeyDown),
                   NSStringFromUTF8("q"), id(nil));
  msg<void>(NSApp, SELECTOR(sendEvent:), key);  // the window itself is first responder: ignored
  EXPECT_TRUE(msg<BOOL>(w, SELECTOR(makeFirstResponder:), msg<id>(w, SELECTOR(contentView))));
  msg<void>(NSApp, SELECTOR(sendEvent:), key);  // no window: goes to the key window
  EXPECT_EQ(g_log, log_of({"mouseDown:Doc@5,6", "rightMouseDown:Doc@7,8", "keyDown:q"}));
  EXPECT_TRUE(msg<BOOL>(w, SELECTOR(isKeyWindow)));
  release(w);
}

// --- The screen stack and key status ----------------------------------------

TEST_F(AppKitTest, ScreenStackOrdersByLevelThenRecency) {
  app();
  id doc = new_window("Doc"), other = new_window("Other"), palette = new_palette("Palette");
  msg<void>(palette, SELECTOR(orderFront:), id(nil));
  msg<void>(doc, SELECTOR(orderFront:), id(nil));
  msg<void>(other, SELECTOR(orderFront:), id(nil));
  EXPECT_EQ(screen(), "Palette:3 Other:0 Doc:0");
  msg<void>(doc, SELECTOR(orderFront:), id(nil));
  EXPECT_EQ(screen(), "Palette:3 Doc:0 Other:0");
  msg<void>(other, SELECTOR(setLevel:), NSInteger(5));
  EXPECT_EQ(screen(), "Other:5 Palette:3 Doc:0");
  msg<void>(palette, SELECTOR(orderOut:), id(nil));
  EXPECT_EQ(screen(), "Other:5 Doc:0");
  EXPECT_FALSE(msg<BOOL>(palette, SELECTOR(isVisible)));
  msg<void>(palette, SELECTOR(setLevel:), NSInteger(9));  // off screen: stays off
  EXPECT_EQ(screen(), "Other:5 Doc:0");
  EXPECT_EQ(window_count(), 3u);
  release(doc);
  EXPECT_EQ(screen(), "Other:5");
  EXPECT_EQ(window_count(), 2u);
  release(other);
  release(palette);
}

TEST_F(AppKitTest, KeyChangesPostResignThenBecomeAndOnlyOnChange) {
  app();
  observe_key_changes();
  id doc = new_window("Doc"), find = new_window("Find");
  id palette = new_palette("Palette");
  {
    NSAutoreleaseScope notifications;  // they hold their windows
    msg<void>(doc, SELECTOR(makeKeyAndOrderFront:), id(nil));
    msg<void>(doc, SELECTOR(makeKeyAndOrderFront:), id(nil));  // already key: nothing posted
    msg<void>(find, SELECTOR(makeKeyAndOrderFront:), id(nil));
    EXPECT_EQ(g_log, log_of({"become:Doc", "resign:Doc", "become:Find"}));
    EXPECT_EQ(key_title(), "Find");
    EXPECT_EQ(screen(), "Find:0 Doc:0");

    // The key window leaving the screen hands key status to the frontmost
    // window that can be the main window; panels cannot.
    msg<void>(palette, SELECTOR(orderFront:), id(nil));
    g_log.clear();
    msg<void>(find, SELECTOR(orderOut:), id(nil));
    EXPECT_EQ(g_log, log_of({"resign:Find", "become:Doc"}));
  }
  release(find);
  release(doc);  // a key window that goes away leaves no key window behind
  EXPECT_EQ(key_title(), "none");
  release(palette);
}

TEST_F(AppKitTest, FirstResponderMayRefuse) {
  app();
  id w = new_window("Doc");
  id view = msg<id>(w, SELECTOR(contentView));
  EXPECT_EQ(msg<id>(w, SELECTOR(firstResponder)), w);
  EXPECT_TRUE(msg<BOOL>(w, SELECTOR(makeFirstResponder:), view));
  EXPECT_EQ(msg<id>(w, SELECTOR(firstResponder)), view);
  EXPECT_TRUE(msg<BOOL>(w, SELECTOR(makeFirstResponder:), id(nil)));
  EXPECT_EQ(msg<id>(w, SELECTOR(firstResponder)), w);
  msg<void>(w, SELECTOR(setContentView:), id(nil));
  EXPECT_EQ(msg<id>(w, SELECTOR(contentView)), nil);
  release(w);
}

// --- Modal sessions -----------------------------------------------------------

TEST_F(AppKitTest, ModalLoopRunsUntilStoppedOrOutOfEvents) {
  app();
  id find = new_window("Find");
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  BOOL running_inside = NO;
  post_action([&] {
    running_inside = msg<BOOL>(NSApp, SELECTOR(_isRunningModal));
    EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), find);
    msg<void>(NSApp, SELECTOR(stopModal));
  });
  post_action([] {});  // still queued after the loop stops
  EXPECT_EQ(msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find), NSRunStoppedResponse);
  EXPECT_TRUE(running_inside);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_EQ(key_title(), "Find");
  // With nothing left after the queued action, the loop ends as aborted.
  EXPECT_EQ(msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find), NSRunAbortedResponse);
  EXPECT_EQ(msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find), NSRunAbortedResponse);
  post_action([] { msg<void>(NSApp, SELECTOR(stopModalWithCode:), NSInteger(7)); });
  EXPECT_EQ(msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find), 7);
  release(find);
}

TEST_F(AppKitTest, ModalSessionBlocksOtherWindowsButNotThoseThatWorkWhenModal) {
  app();
  id doc = new_window("Doc"), find = new_window("Find", NSNormalWindowLevel, "NSPanel");
  id palette = new_palette("Palette");
  msg<void>(doc, SELECTOR(makeKeyAndOrderFront:), id(nil));
  msg<void>(palette, SELECTOR(orderFront:), id(nil));
  std::vector<std::string> steps;
  post_action([&] { steps.push_back(key_title() + " | " + screen()); });
  post_click(doc);
  post_action([&] { steps.push_back(key_title() + " | " + screen()); });
  post_click(palette);
  post_action([&] { steps.push_back(key_title() + " | " + screen()); });
  post_click(find);
  post_action([&] {
    steps.push_back(key_title() + " | " + screen());
    msg<void>(NSApp, SELECTOR(stopModal));
  });
  msg<void>(NSApp, SELECTOR(runModalForWindow:), find);
  // The framework orders the panel front at its own level, so the floating
  // palette stays in front, and lets the palette take key status.
  EXPECT_EQ(steps,
            (std::vector<std::string>{"Find | Palette:3 Find:0 Doc:0", "Find | Palette:3 Find:0 Doc:0",
                                      "Palette | Palette:3 Find:0 Doc:0", "Find | Palette:3 Find:0 Doc:0"}));
  EXPECT_EQ(g_log, log_of({"mouseDown:Palette@1,2", "mouseDown:Find@1,2"}));  // Doc's click was dropped
  release(doc);
  release(find);
  release(palette);
}

TEST_F(AppKitTest, NestedSessionsAndEndingAnOuterSessionFirst) {
  app();
  id a = new_window("A"), b = new_window("B");
  NSInteger inner = 0;
  post_action([&] {
    post_action([&] {
      EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), b);
      msg<void>(NSApp, SELECTOR(stopModal));
    });
    inner = msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), b);
    EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), a);
    msg<void>(b, SELECTOR(orderOut:), id(nil));  // key goes back to A's session window
    EXPECT_EQ(key_title(), "A");
    msg<void>(NSApp, SELECTOR(stopModal));
  });
  EXPECT_EQ(msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), a), NSRunStoppedResponse);
  EXPECT_EQ(inner, NSRunStoppedResponse);

  // Sessions begun by hand may end in any order.
  NSModalSession sa = msg<NSModalSession>(NSApp, SELECTOR(beginModalSessionForWindow:), a);
  NSModalSession sb = msg<NSModalSession>(NSApp, SELECTOR(beginModalSessionForWindow:), b);
  msg<void>(NSApp, SELECTOR(endModalSession:), sa);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), b);
  msg<void>(NSApp, SELECTOR(endModalSession:), sb);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  release(a);
  release(b);
}

TEST_F(AppKitTest, BadSessionsAreRejected) {
  app();
  id a = new_window("A");
  NSModalSession s = msg<NSModalSession>(NSApp, SELECTOR(beginModalSessionForWindow:), a);
  msg<void>(NSApp, SELECTOR(endModalSession:), s);
  EXPECT_EQ(raised_name([&] { msg<void>(NSApp, SELECTOR(endModalSession:), s); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(test_support::raised_reason([&] { msg<NSInteger>(NSApp, SELECTOR(runModalSession:), s); }),
            "-[NSApplication runModalSession:]: not an open modal session");
  EXPECT_EQ(raised_name([&] { msg<NSInteger>(NSApp, SELECTOR(runModalSession:), s); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([] { msg<NSModalSession>(NSApp, SELECTOR(beginModalSessionForWindow:), id(nil)); }),
            "NSInvalidArgumentException");
  msg<void>(NSApp, SELECTOR(stopModal));  // no session: nothing happens
  release(a);
}

TEST_F(AppKitTest, ARaiseInsideTheModalLoopEndsTheSession) {
  app();
  id a = new_window("A");
  post_action([] { NSRaise("TestException", "from a handler"); });
  EXPECT_EQ(raised_name([&] { msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), a); }), "TestException");
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
  release(a);
}

// --- Raises that jump out of loops and dispatch --------------------------------

TEST_F(AppKitTest, ARaiseFromAnEventHandlerLeavesTheMainLoopWithItsPoolDrained) {
  app();
  id w = new_window("Doc");
  uint32_t pools = NSAutoreleasePoolDepth();
  post_action([&] {
    msg<id>(msg<id>(w, SELECTOR(retain)), SELECTOR(autorelease));  // held by this event's pool
    NSRaise("TestException", "from a handler");
  });
  int later = 0;
  post_action([&] { ++later; });
  EXPECT_EQ(raised_name([] { msg<void>(NSApp, SELECTOR(run)); }), "TestException");
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(isRunning)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
  EXPECT_EQ(NSAutoreleasePoolDepth(), pools);
  EXPECT_EQ(msg<NSUInteger>(w, SELECTOR(retainCount)), 1u);  // the event's pool let it go at the raise
  EXPECT_EQ(msg<NSUInteger>(NSApp, SELECTOR(pendingEventCount)), 1u);
  msg<void>(NSApp, SELECTOR(run));  // the loop runs again and finds the rest still queued
  EXPECT_EQ(later, 1);
  release(w);
}

TEST_F(AppKitTest, ARaiseInAModalLoopInsideTheMainLoopUnwindsBoth) {
  app();
  id find = new_window("Find");
  uint32_t pools = NSAutoreleasePoolDepth();
  BOOL modal_inside = NO, main_inside = NO;
  post_action([&] {
    post_action([&] {
      modal_inside = msg<BOOL>(NSApp, SELECTOR(_isRunningModal));
      main_inside = msg<BOOL>(NSApp, SELECTOR(isRunning));
      NSRaise("TestException", "from inside a modal loop");
    });
    msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find);
  });
  id raised = raised_object([] { msg<void>(NSApp, SELECTOR(run)); });
  ASSERT_NE(raised, nil);
  EXPECT_EQ(NSStringToStd(msg<id>(raised, SELECTOR(reason))), "from inside a modal loop");
  EXPECT_TRUE(modal_inside);
  EXPECT_TRUE(main_inside);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(isRunning)));
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
  EXPECT_EQ(NSAutoreleasePoolDepth(), pools);
  EXPECT_EQ(msg<NSUInteger>(find, SELECTOR(retainCount)), 1u);  // no session holds it
  // Key status stays with the panel its session made key.
  EXPECT_EQ(key_title(), "Find");

  // A modal loop inside the main loop works as before.
  NSInteger response = 0;
  post_action([&] {
    post_action([] { msg<void>(NSApp, SELECTOR(stopModal)); });
    response = msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find);
  });
  msg<void>(NSApp, SELECTOR(run));
  EXPECT_EQ(response, NSRunStoppedResponse);
  release(find);
}

TEST_F(AppKitTest, ARaiseFromADispatchPutsTheOuterCurrentEventBack) {
  app();
  id w = new_window("Doc");
  id click = mouse(NSLeftMouseDown, w);
  NSUInteger click_references = msg<NSUInteger>(click, SELECTOR(retainCount));
  g_on_mouse_down = [](id, id) { NSRaise("TestException", "the view refused the click"); };
  id outer = nil, after = nil;
  std::string name;
  post_action([&] {
    outer = msg<id>(NSApp, SELECTOR(currentEvent));
    name = raised_name([&] { msg<void>(NSApp, SELECTOR(sendEvent:), click); });
    after = msg<id>(NSApp, SELECTOR(currentEvent));
  });
  msg<void>(NSApp, SELECTOR(run));
  g_on_mouse_down = nullptr;
  EXPECT_EQ(name, "TestException");
  EXPECT_NE(outer, nil);
  EXPECT_EQ(after, outer);
  EXPECT_EQ(g_current_was_delivered, std::vector<bool>{true});  // it was current while delivered
  EXPECT_EQ(msg<NSUInteger>(click, SELECTOR(retainCount)), click_references);
  release(w);
}

// The session is ended once: a handler that ended it itself gets its own
// exception back, not one about a session that is no longer open.
TEST_F(AppKitTest, AHandlerThatEndsItsSessionAndRaisesGetsItsOwnException) {
  app();
  id find = new_window("Find");
  post_action([] {
    msg<void>(NSApp, SELECTOR(endModalSession:), static_cast<NSApplicationLayout*>(NSApp)->modal_session);
    NSRaise("TestException", "after ending the session");
  });
  EXPECT_EQ(raised_name([&] { msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find); }), "TestException");
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  EXPECT_EQ(msg<NSUInteger>(find, SELECTOR(retainCount)), 1u);
  release(find);
}

TEST_F(AppKitTest, OrderFrontModalWindowKeepsTheWindowLevel) {
  app();
  id panel = new_window("Find", 2, "TracingPanel");
  g_log.clear();
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(_orderFrontModalWindow:), panel), panel);
  EXPECT_EQ(g_log, log_of({"orderFront: Find level 2"}));
  release(panel);
}

TEST_F(AppKitTest, ARaiseWhileOrderingTheModalWindowFrontOpensNoSession) {
  app();
  id a = new_window("A");
  id panel = new_window("Find", NSNormalWindowLevel, "TracingPanel");
  NSModalSession sa = msg<NSModalSession>(NSApp, SELECTOR(beginModalSessionForWindow:), a);
  g_refused_by_panels = "orderFront:";
  id raised =
      raised_object([&] { msg<NSModalSession>(NSApp, SELECTOR(beginModalSessionForWindow:), panel); });
  g_refused_by_panels.clear();
  EXPECT_EQ(raised, g_refusal);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), a);  // A's session is innermost again
  EXPECT_EQ(msg<NSUInteger>(panel, SELECTOR(retainCount)), 1u);
  EXPECT_EQ(key_title(), "A");
  msg<void>(NSApp, SELECTOR(endModalSession:), sa);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  release(panel);
  release(a);
}
