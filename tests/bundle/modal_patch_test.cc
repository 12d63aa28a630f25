// The modal session patch (CorvaneApplication unit) registered in-process
// over the stand-in AppKit: the modal window stack, turning the patch on,
// and how it keeps the newest modal window key and in front.
#include <gtest/gtest.h>

#include "Corvane.h"
#include "appkit/appkit_test_support.h"

using namespace appkit_test;

namespace {

class ModalPatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    register_test_classes();
    g_log.clear();
  }
  NSAutoreleaseScope pool_;
};

void enable() { msg<void>(cls("CorvaneApplication"), SELECTOR(enableCorvane)); }

NSModalSession begin_session(id window) {
  return msg<NSModalSession>(NSApp, SELECTOR(beginModalSessionForWindow:), window);
}
void end_session(NSModalSession session) { msg<void>(NSApp, SELECTOR(endModalSession:), session); }

NSUInteger stack_count() { return msg<NSUInteger>(_modalWindows, SELECTOR(count)); }
id stack_at(NSUInteger i) { return msg<id>(_modalWindows, SELECTOR(objectAtIndex:), i); }
NSUInteger retain_count(id obj) { return msg<NSUInteger>(obj, SELECTOR(retainCount)); }
std::vector<std::string> log_of(std::initializer_list<const char*> lines) {
  return {lines.begin(), lines.end()};
}

// Logs "key | screen" at this point of the script.
void post_snapshot(std::vector<std::string>& steps) {
  post_action([&steps] { steps.push_back(key_title() + " | " + screen()); });
}

// Runs find modally with the palette on screen, clicks the palette, and
// yields "key | screen" right after the click.
std::string key_after_palette_click(id find, id palette) {
  msg<void>(palette, SELECTOR(orderFront:), id(nil));
  std::vector<std::string> steps;
  post_click(palette);
  post_snapshot(steps);
  post_action([] { msg<void>(NSApp, SELECTOR(stopModal)); });
  msg<void>(NSApp, SELECTOR(runModalForWindow:), find);
  return steps.empty() ? "" : steps.front();
}

// Queues actions ahead of everything already queued, in the order given.
void post_first(std::vector<std::function<void()>> actions) {
  for (auto it = actions.rbegin(); it != actions.rend(); ++it)
    msg<void>(NSApp, SELECTOR(postEvent:atStart:), NSEventWithAction(*it), YES);
}

}  // namespace

// --- The modal window stack -------------------------------------------------

TEST_F(ModalPatchTest, StackPushesAndPopsInOrderAndHoldsNoMemoryWhenEmpty) {
  id a = new_window("A"), b = new_window("B");
  EXPECT_EQ(_modalWindows, nil);
  removeLastModalWindow();  // nothing to pop: no array appears
  EXPECT_EQ(_modalWindows, nil);

  addModalWindow(a);
  id first_array = _modalWindows;
  ASSERT_NE(first_array, nil);
  EXPECT_EQ(retain_count(a), 2u);  // the stack retains its windows
  addModalWindow(b);
  EXPECT_EQ(_modalWindows, first_array);
  EXPECT_EQ(stack_count(), 2u);
  EXPECT_EQ(msg<id>(_modalWindows, SELECTOR(lastObject)), b);
  removeLastModalWindow();
  EXPECT_EQ(stack_count(), 1u);
  EXPECT_EQ(msg<id>(_modalWindows, SELECTOR(lastObject)), a);
  EXPECT_EQ(retain_count(b), 1u);
  removeLastModalWindow();
  EXPECT_EQ(_modalWindows, nil);  // the emptying pop released the array
  EXPECT_EQ(retain_count(a), 1u);

  // The same window twice is held twice; each pop takes one.
  addModalWindow(a);
  addModalWindow(a);
  EXPECT_EQ(stack_count(), 2u);
  EXPECT_EQ(retain_count(a), 3u);
  removeLastModalWindow();
  EXPECT_EQ(stack_at(0), a);
  removeLastModalWindow();
  EXPECT_EQ(_modalWindows, nil);
  release(a);
  release(b);
}

TEST_F(ModalPatchTest, PopOfAPresentButEmptyArrayLeavesItInPlace) {
  id empty =
      msg<id>(msg<id>(cls("NSMutableArray"), SELECTOR(alloc)), SELECTOR(initWithCapacity:), NSUInteger(1));
  _modalWindows = empty;
  removeLastModalWindow();
  EXPECT_EQ(_modalWindows, empty);
  EXPECT_EQ(retain_count(empty), 1u);
  _modalWindows = nil;
  release(empty);
}

TEST_F(ModalPatchTest, ChangeClassOfInstanceToWritesTheClassReference) {
  id obj = msg<id>(msg<id>(cls("NSObject"), SELECTOR(alloc)), SELECTOR(init));
  changeClassOfInstanceTo(obj, objc_getClass("RecordingView"));
  EXPECT_EQ(object_getClass(obj), objc_getClass("RecordingView"));
  changeClassOfInstanceTo(nil, objc_getClass("RecordingView"));  // nil: nothing happens
  release(obj);
}

// --- Turning the patch on ---------------------------------------------------

TEST_F(ModalPatchTest, EnableTwicePosesOnceAndObservesOnce) {
  Class framework = objc_getClass("NSApplication");
  id existing = app();
  enable();
  enable();
  EXPECT_EQ(objc_getClass("NSApplication"), objc_getClass("CorvaneApplication"));
  EXPECT_EQ(class_getSuperclass(objc_getClass("CorvaneApplication")), framework);
  EXPECT_EQ(app(), existing);
  EXPECT_EQ(object_getClass(existing), objc_getClass("CorvaneApplication"));  // switched over

  // One registration: a stray key change during a modal loop brings the
  // panel back exactly once.
  id find = new_window("Find", NSNormalWindowLevel, "TracingPanel");
  id palette = new_palette("Palette");
  post_action([&] {
    g_log.clear();
    msg<void>(palette, SELECTOR(makeKeyWindow));
    msg<void>(NSApp, SELECTOR(stopModal));
  });
  msg<void>(NSApp, SELECTOR(runModalForWindow:), find);
  EXPECT_EQ(g_log, log_of({"makeKeyAndOrderFront: Find by NSApp", "orderFront: Find level 4"}));
  EXPECT_EQ(key_title(), "Find");
  release(find);
  release(palette);
}

TEST_F(ModalPatchTest, ApplicationCreatedAfterPosingIsOfThePatchClass) {
  EXPECT_EQ(NSApp, nil);
  enable();
  ASSERT_NE(NSApp, nil);
  EXPECT_EQ(object_getClass(NSApp), objc_getClass("CorvaneApplication"));
}

TEST_F(ModalPatchTest, HostSubclassKeepsItsClassAndStillObserves) {
  id host_app = msg<id>(cls("HostApplication"), SELECTOR(sharedApplication));
  enable();
  EXPECT_EQ(object_getClass(host_app), objc_getClass("HostApplication"));
  // Its class now inherits through the patch class.
  EXPECT_EQ(class_getSuperclass(objc_getClass("HostApplication")), objc_getClass("CorvaneApplication"));

  id find = new_window("Find", NSNormalWindowLevel, "NSPanel"), palette = new_palette("Palette");
  EXPECT_EQ(key_after_palette_click(find, palette), std::string("Find | Find:4 Palette:3"));
  release(find);
  release(palette);
}

// --- The patched behaviour --------------------------------------------------

TEST_F(ModalPatchTest, ClickedPaletteDuringAModalLoopHandsKeyBackToThePanel) {
  app();
  enable();
  observe_key_changes();
  id doc = new_window("Doc"), find = new_window("Find", NSNormalWindowLevel, "TracingPanel");
  id palette = new_palette("Palette");
  msg<void>(doc, SELECTOR(makeKeyAndOrderFront:), id(nil));
  msg<void>(palette, SELECTOR(orderFront:), id(nil));
  std::vector<std::string> steps;
  post_snapshot(steps);
  post_action([] { g_log.clear(); });
  post_click(palette);
  post_snapshot(steps);
  post_action([] { msg<void>(NSApp, SELECTOR(stopModal)); });
  g_log.clear();
  msg<void>(NSApp, SELECTOR(runModalForWindow:), find);
  EXPECT_EQ(steps,
            (std::vector<std::string>{"Find | Find:4 Palette:3 Doc:0", "Find | Find:4 Palette:3 Doc:0"}));
  // The palette became key, the panel was brought back once, and the
  // panel's own notification found it on top and did nothing more. The
  // patch observes first, so the test's observer hears of the palette
  // becoming key only after the panel is key again.
  EXPECT_EQ(g_log, log_of({"resign:Find", "makeKeyAndOrderFront: Find by NSApp", "orderFront: Find level 4",
                           "resign:Palette", "become:Find", "become:Palette", "mouseDown:Palette@1,2"}));
  EXPECT_EQ(_modalWindows, nil);  // the session's end emptied the stack
  release(doc);
  release(find);
  release(palette);
}

TEST_F(ModalPatchTest, KeyChangeWithoutARunningModalLoopIsLeftAlone) {
  app();
  enable();
  id find = new_window("Find", NSNormalWindowLevel, "TracingPanel"), palette = new_palette("Palette");
  NSModalSession session = begin_session(find);
  EXPECT_EQ(stack_count(), 1u);  // a session, but no loop dispatching
  g_log.clear();
  msg<void>(palette, SELECTOR(makeKeyAndOrderFront:), id(nil));
  EXPECT_EQ(key_title(), "Palette");
  EXPECT_TRUE(g_log.empty());
  end_session(session);
  EXPECT_EQ(_modalWindows, nil);
  release(find);
  release(palette);
}

TEST_F(ModalPatchTest, NestedSessionsBringBackTheNewestWindow) {
  app();
  enable();
  id a = new_window("A", NSNormalWindowLevel, "NSPanel"), b = new_window("B", NSNormalWindowLevel, "NSPanel");
  id palette = new_palette("Palette");
  std::vector<std::string> steps;
  post_action([&] {
    // B runs inside A's loop; making A key while it runs brings B back.
    post_first({[&] { msg<void>(a, SELECTOR(makeKeyAndOrderFront:), id(nil)); },
                [&] { steps.push_back(key_title() + " | " + screen()); },
                [&] {
                  EXPECT_EQ(stack_count(), 2u);
                  msg<void>(NSApp, SELECTOR(stopModal));
                }});
    msg<void>(NSApp, SELECTOR(runModalForWindow:), b);
    EXPECT_EQ(stack_count(), 1u);
    EXPECT_EQ(msg<id>(_modalWindows, SELECTOR(lastObject)), a);
    msg<void>(b, SELECTOR(orderOut:), id(nil));
  });
  post_snapshot(steps);
  post_click(palette);
  post_snapshot(steps);
  post_action([] { msg<void>(NSApp, SELECTOR(stopModal)); });
  msg<void>(palette, SELECTOR(orderFront:), id(nil));
  msg<void>(NSApp, SELECTOR(runModalForWindow:), a);
  EXPECT_EQ(steps,
            (std::vector<std::string>{"B | B:4 A:4 Palette:3", "A | A:4 Palette:3", "A | A:4 Palette:3"}));
  EXPECT_EQ(_modalWindows, nil);
  release(a);
  release(b);
  release(palette);
}

TEST_F(ModalPatchTest, EndingAnOlderSessionPopsTheNewestWindow) {
  app();
  enable();
  id a = new_window("A"), b = new_window("B");
  NSModalSession sa = begin_session(a);
  NSModalSession sb = begin_session(b);
  end_session(sa);
  EXPECT_EQ(stack_count(), 1u);
  EXPECT_EQ(stack_at(0), a);                            // B was popped, not A
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), b);  // the framework ended A's session
  end_session(sb);
  EXPECT_EQ(_modalWindows, nil);
  release(a);
  release(b);
}

TEST_F(ModalPatchTest, ModalWindowsGoToLevelFourBeforeTheFrameworkOrdersThemFront) {
  app();
  enable();
  for (NSInteger level : {NSInteger(0), NSInteger(4), NSInteger(9)}) {
    id panel = new_window("Find", level, "TracingPanel");
    g_log.clear();
    // The framework's result comes back unchanged.
    EXPECT_EQ(msg<id>(NSApp, SELECTOR(_orderFrontModalWindow:), panel), panel);
    EXPECT_EQ(g_log, log_of({"setLevel:4 Find", "orderFront: Find level 4"}));
    EXPECT_EQ(msg<NSInteger>(panel, SELECTOR(level)), 4);
    release(panel);
  }
}

TEST_F(ModalPatchTest, SuperSendsReachTheFrameworkAndReturnItsResults) {
  app();
  enable();
  id a = new_window("A");
  NSModalSession session = begin_session(a);
  ASSERT_NE(session, nullptr);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), a);
  EXPECT_EQ(key_title(), "A");
  post_action([] { msg<void>(NSApp, SELECTOR(stopModalWithCode:), NSInteger(42)); });
  EXPECT_EQ(msg<NSInteger>(NSApp, SELECTOR(runModalSession:), session), 42);
  end_session(session);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  // A session the framework does not know: its error passes through (the
  // pop has already happened, on an empty stack).
  EXPECT_NE(raised_object([&] { end_session(session); }), nil);
  EXPECT_EQ(_modalWindows, nil);
  release(a);
}

TEST_F(ModalPatchTest, DeallocatedApplicationStopsObservingFirst) {
  enable();
  id find = new_window("Find"), palette = new_palette("Palette");
  addModalWindow(find);
  release(NSApp);
  EXPECT_EQ(NSApp, nil);
  // A key change now reaches no freed application object.
  msg<void>(palette, SELECTOR(makeKeyAndOrderFront:), id(nil));
  EXPECT_TRUE(msg<BOOL>(palette, SELECTOR(isKeyWindow)));
  removeLastModalWindow();
  release(find);
  release(palette);
}

TEST_F(ModalPatchTest, PatchOffLeavesTheFrameworkAlone) {
  app();
  id find = new_window("Find", NSNormalWindowLevel, "TracingPanel"), palette = new_palette("Palette");
  EXPECT_EQ(key_after_palette_click(find, palette), std::string("Palette | Palette:3 Find:0"));
  EXPECT_EQ(_modalWindows, nil);
  EXPECT_EQ(objc_getClass("NSApplication"), class_getSuperclass(objc_getClass("CorvaneApplication")));
  release(find);
  release(palette);
}

// --- Exceptions from the framework ------------------------------------------
// Whatever the framework raises reaches the caller as the same object, and
// the stack still holds exactly the windows of the open sessions.

TEST_F(ModalPatchTest, ARaiseWhileABeginOrdersTheWindowFrontOpensNoSessionAndPushesNothing) {
  app();
  enable();
  id outer = new_window("Outer");
  id find = new_window("Find", NSNormalWindowLevel, "TracingPanel");
  NSModalSession outer_session = begin_session(outer);

  g_refused_by_panels = "orderFront:";
  id raised = raised_object([&] { begin_session(find); });
  g_refused_by_panels.clear();
  EXPECT_EQ(raised, g_refusal);
  EXPECT_EQ(stack_count(), 1u);
  EXPECT_EQ(stack_at(0), outer);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), outer);  // the framework closed the new session
  EXPECT_EQ(retain_count(find), 1u);                        // neither the stack nor a session holds it
  EXPECT_EQ(msg<NSInteger>(find, SELECTOR(level)), 4);      // raised on its way to the screen

  // A first push that fails leaves no array behind either.
  end_session(outer_session);
  g_refused_by_panels = "orderFront:";
  EXPECT_EQ(raised_object([&] { begin_session(find); }), g_refusal);
  g_refused_by_panels.clear();
  EXPECT_EQ(_modalWindows, nil);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);

  // And the same window can be run modally afterwards.
  post_action([] { msg<void>(NSApp, SELECTOR(stopModal)); });
  EXPECT_EQ(msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find), NSRunStoppedResponse);
  EXPECT_EQ(_modalWindows, nil);
  release(find);
  release(outer);
}

// A nil window is refused by the stack's array before the framework is
// asked: no session opens and no window is held. The first push may leave
// its empty array behind, which the next push uses.
TEST_F(ModalPatchTest, ANilWindowIsRefusedBeforeASessionBegins) {
  app();
  enable();
  EXPECT_EQ(raised_name([] { begin_session(id(nil)); }), "NSInvalidArgumentException");
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_EQ(msg<id>(_modalWindows, SELECTOR(lastObject)), nil);
  id a = new_window("A");
  NSModalSession sa = begin_session(a);
  EXPECT_EQ(stack_count(), 1u);
  end_session(sa);
  EXPECT_EQ(_modalWindows, nil);
  release(a);
}

TEST_F(ModalPatchTest, ARaiseFromTheFrameworksEndPutsTheWindowBackOnTop) {
  app();
  enable();
  id a = new_window("A"), b = new_window("B");
  NSModalSession sa = begin_session(a);
  NSModalSession sb = begin_session(b);
  end_session(sb);
  NSUInteger a_held = retain_count(a);

  // sb is no longer open: the framework refuses it and A's session goes on.
  EXPECT_EQ(raised_name([&] { end_session(sb); }), "NSInvalidArgumentException");
  ASSERT_NE(_modalWindows, nil);
  EXPECT_EQ(stack_count(), 1u);
  EXPECT_EQ(stack_at(0), a);
  EXPECT_EQ(retain_count(a), a_held);

  // While A's loop runs, a palette click still hands key status back to A.
  id palette = new_palette("Palette");
  std::vector<std::string> steps;
  msg<void>(palette, SELECTOR(orderFront:), id(nil));
  post_click(palette);
  post_snapshot(steps);
  post_action([] { msg<void>(NSApp, SELECTOR(stopModal)); });
  msg<NSInteger>(NSApp, SELECTOR(runModalSession:), sa);
  ASSERT_EQ(steps.size(), 1u);
  EXPECT_EQ(steps[0].substr(0, 4), "A | ");

  end_session(sa);
  EXPECT_EQ(_modalWindows, nil);
  // With nothing on the stack a refused end creates no array.
  EXPECT_NE(raised_object([&] { end_session(sa); }), nil);
  EXPECT_EQ(_modalWindows, nil);
  release(a);
  release(b);
  release(palette);
}

TEST_F(ModalPatchTest, ARaiseFromOrderingAModalWindowFrontPassesThroughAfterTheLevel) {
  app();
  enable();
  id panel = new_window("Find", 1, "TracingPanel");
  g_log.clear();
  g_refused_by_panels = "orderFront:";
  EXPECT_EQ(raised_object([&] { msg<id>(NSApp, SELECTOR(_orderFrontModalWindow:), panel); }), g_refusal);
  g_refused_by_panels.clear();
  EXPECT_EQ(g_log, log_of({"setLevel:4 Find"}));  // level 4, never set back
  EXPECT_EQ(msg<NSInteger>(panel, SELECTOR(level)), 4);
  EXPECT_EQ(screen().find("Find"), std::string::npos);
  EXPECT_EQ(_modalWindows, nil);

  // A window that refuses the level is not ordered front at all.
  g_refused_by_panels = "setLevel:";
  EXPECT_EQ(raised_object([&] { msg<id>(NSApp, SELECTOR(_orderFrontModalWindow:), panel); }), g_refusal);
  g_refused_by_panels.clear();
  EXPECT_EQ(screen().find("Find"), std::string::npos);
  release(panel);
}

// Bringing the modal window back is the framework's makeKeyAndOrderFront:;
// if it raises, the loop ends as after any raise in a handler and the
// stack is empty again.
TEST_F(ModalPatchTest, ARaiseWhileBringingTheModalWindowBackEndsTheLoopAndEmptiesTheStack) {
  app();
  enable();
  id find = new_window("Find", NSNormalWindowLevel, "TracingPanel"), palette = new_palette("Palette");
  msg<void>(palette, SELECTOR(orderFront:), id(nil));
  post_action([] { g_refused_by_panels = "makeKeyAndOrderFront:"; });
  post_click(palette);
  EXPECT_EQ(raised_object([&] { msg<NSInteger>(NSApp, SELECTOR(runModalForWindow:), find); }), g_refusal);
  g_refused_by_panels.clear();
  EXPECT_EQ(_modalWindows, nil);
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  EXPECT_EQ(retain_count(find), 1u);
  release(find);
  release(palette);
}
