// The stand-in AppKit's print side: print settings and their shared slot,
// the page-layout panel and its modal run, and the framework's own
// -runPageLayout:, which lets a cancelled panel change the shared settings.
#include <gtest/gtest.h>

#include "print_test_support.h"

using namespace appkit_test;
using namespace print_test;

namespace {

class PrintTest : public PrintFixture {};

id new_print_info() { return msg<id>(msg<id>(cls("NSPrintInfo"), SELECTOR(alloc)), SELECTOR(init)); }

NSInteger run_panel(id settings, std::function<void(id)> user) {
  NSPageLayoutSetScriptedUser(std::move(user));
  return msg<NSInteger>(panel(), SELECTOR(runModalWithPrintInfo:), settings);
}

}  // namespace

// --- Print settings ---------------------------------------------------------

TEST_F(PrintTest, NewSettingsAndKnownPapers) {
  id p = new_print_info();
  EXPECT_EQ(describe(p), "Letter 612x792 portrait, margins 72/72/90/90");
  msg<void>(p, SELECTOR(setPaperName:), NSStringFromUTF8("A5"));
  EXPECT_EQ(msg<NSInteger>(p, SELECTOR(paperWidth)), 420);
  EXPECT_EQ(msg<NSInteger>(p, SELECTOR(paperHeight)), 595);
  msg<void>(p, SELECTOR(setPaperName:), NSStringFromUTF8("Legal"));
  msg<void>(p, SELECTOR(setOrientation:), NSInteger(NSLandscapeOrientation));
  msg<void>(p, SELECTOR(setLeftMargin:), NSInteger(10));
  msg<void>(p, SELECTOR(setRightMargin:), NSInteger(0));
  msg<void>(p, SELECTOR(setTopMargin:), NSInteger(30));
  msg<void>(p, SELECTOR(setBottomMargin:), NSInteger(40));
  EXPECT_EQ(describe(p), "Legal 612x1008 landscape, margins 10/0/30/40");
  // A name the class does not know is a custom paper of the current size.
  msg<void>(p, SELECTOR(setPaperName:), NSStringFromUTF8("Poster"));
  msg<void>(p, SELECTOR(setPaperWidth:height:), NSInteger(1000), NSInteger(1400));
  EXPECT_EQ(describe(p), "Poster 1000x1400 landscape, margins 10/0/30/40");
  release(p);
}

TEST_F(PrintTest, BadValuesRaiseAndChangeNothing) {
  id p = new_print_info();
  std::string before = describe(p);
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(setPaperName:), id(nil)); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(setPaperName:), NSStringFromUTF8("")); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(setPaperName:), p); }), "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(setPaperWidth:height:), NSInteger(0), NSInteger(10)); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(setPaperWidth:height:), NSInteger(10), NSInteger(-1)); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(setOrientation:), NSInteger(2)); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(setBottomMargin:), NSInteger(-1)); }),
            "NSInvalidArgumentException");
  // The reasons name the method and the value refused.
  EXPECT_EQ(test_support::raised_reason([&] { msg<void>(p, SELECTOR(setLeftMargin:), NSInteger(-7)); }),
            "-[NSPrintInfo setLeftMargin:]: negative margin -7");
  EXPECT_EQ(test_support::raised_reason(
                [&] { msg<void>(p, SELECTOR(setPaperWidth:height:), NSInteger(5), NSInteger(0)); }),
            "-[NSPrintInfo setPaperWidth:height:]: paper size 5x0 is empty");
  EXPECT_EQ(test_support::raised_reason([&] { msg<void>(p, SELECTOR(setOrientation:), NSInteger(9)); }),
            "-[NSPrintInfo setOrientation:]: no orientation 9");
  EXPECT_EQ(describe(p), before);
  release(p);
}

TEST_F(PrintTest, CopyIsOwnedIndependentAndOfTheSameClass) {
  id original = msg<id>(msg<id>(cls("TracingPrintInfo"), SELECTOR(alloc)), SELECTOR(init));
  msg<void>(original, SELECTOR(setPaperName:), NSStringFromUTF8("A4"));
  id copy = msg<id>(original, SELECTOR(copy));
  ASSERT_NE(copy, original);
  EXPECT_EQ(object_getClass(copy), objc_getClass("TracingPrintInfo"));
  EXPECT_EQ(msg<NSUInteger>(copy, SELECTOR(retainCount)), 1u);
  EXPECT_EQ(describe(copy), describe(original));

  msg<void>(copy, SELECTOR(setPaperName:), NSStringFromUTF8("A5"));
  msg<void>(original, SELECTOR(setTopMargin:), NSInteger(5));
  EXPECT_EQ(describe(original), "A4 595x842 portrait, margins 72/72/5/90");
  EXPECT_EQ(describe(copy), "A5 420x595 portrait, margins 72/72/90/90");

  release(copy);
  EXPECT_TRUE(was_freed(copy));
  EXPECT_FALSE(was_freed(original));
  release(original);
}

TEST_F(PrintTest, SharedSlotMakesOneLazilyAndRetainsWhatItIsGiven) {
  id first = shared_print_info();
  EXPECT_EQ(object_getClass(first), objc_getClass("NSPrintInfo"));
  EXPECT_EQ(shared_print_info(), first);

  id a = make_tracing_shared();
  EXPECT_EQ(shared_print_info(), a);
  EXPECT_EQ(msg<NSUInteger>(a, SELECTOR(retainCount)), 2u);
  msg<void>(cls("NSPrintInfo"), SELECTOR(setSharedPrintInfo:), a);  // the same again is harmless
  EXPECT_EQ(msg<NSUInteger>(a, SELECTOR(retainCount)), 2u);

  id b = make_tracing_shared();
  EXPECT_EQ(msg<NSUInteger>(a, SELECTOR(retainCount)), 1u);  // the slot let go of a
  release(a);
  EXPECT_TRUE(was_freed(a));

  EXPECT_EQ(raised_name([] { msg<void>(cls("NSPrintInfo"), SELECTOR(setSharedPrintInfo:), id(nil)); }),
            "NSInvalidArgumentException");
  EXPECT_EQ(shared_print_info(), b);
  release(b);
  EXPECT_FALSE(was_freed(b));
}

// --- The page-layout panel --------------------------------------------------

TEST_F(PrintTest, PanelIsOneSharedPanel) {
  id p = panel();
  EXPECT_EQ(panel(), p);
  EXPECT_TRUE(msg<BOOL>(p, SELECTOR(isKindOfClass:), objc_getClass("NSPanel")));
  EXPECT_EQ(title_of(p), "Page Layout");
  EXPECT_EQ(msg<id>(p, SELECTOR(printInfo)), nil);
  EXPECT_FALSE(msg<BOOL>(p, SELECTOR(isVisible)));
}

TEST_F(PrintTest, OkRunsAModalSessionAndEditsTheSettingsInPlace) {
  id settings = new_print_info();
  bool checked = false;
  NSInteger response = run_panel(settings, [&](id p) {
    EXPECT_TRUE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
    EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), p);
    EXPECT_EQ(msg<id>(NSApp, SELECTOR(keyWindow)), p);
    EXPECT_EQ(msg<id>(p, SELECTOR(printInfo)), settings);
    msg<void>(p, SELECTOR(choosePaperName:), NSStringFromUTF8("A5"));
    msg<void>(p, SELECTOR(chooseOrientation:), NSInteger(NSLandscapeOrientation));
    msg<void>(p, SELECTOR(chooseMarginsLeft:right:top:bottom:), NSInteger(1), NSInteger(2), NSInteger(3),
              NSInteger(4));
    EXPECT_EQ(describe(settings), "A5 420x595 landscape, margins 1/2/3/4");  // at once, not at OK
    msg<void>(p, SELECTOR(ok:), id(nil));
    checked = true;
  });
  EXPECT_TRUE(checked);
  EXPECT_EQ(response, NSOKButton);
  EXPECT_EQ(describe(settings), "A5 420x595 landscape, margins 1/2/3/4");
  EXPECT_EQ(msg<id>(panel(), SELECTOR(printInfo)), nil);
  EXPECT_FALSE(msg<BOOL>(panel(), SELECTOR(isVisible)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_EQ(msg<NSUInteger>(settings, SELECTOR(retainCount)), 1u);
  release(settings);
}

TEST_F(PrintTest, CancelAndOtherEndingsStillKeepTheEdits) {
  id settings = new_print_info();
  EXPECT_EQ(run_panel(settings, choose_then("A5", "cancel:")), NSCancelButton);
  EXPECT_EQ(describe(settings), "A5 420x595 portrait, margins 72/72/90/90");
  EXPECT_EQ(run_panel(settings, choose_then_stop("A4", 7)), 7);
  EXPECT_EQ(describe(settings), "A4 595x842 portrait, margins 72/72/90/90");
  // A user who leaves the panel open: the session runs out of events.
  EXPECT_EQ(
      run_panel(settings, [](id p) { msg<void>(p, SELECTOR(choosePaperName:), NSStringFromUTF8("B5")); }),
      NSRunAbortedResponse);
  EXPECT_EQ(describe(settings), "B5 499x709 portrait, margins 72/72/90/90");
  release(settings);
}

TEST_F(PrintTest, EachScriptServesOneRun) {
  id settings = new_print_info();
  int runs = 0;
  EXPECT_EQ(run_panel(settings,
                      [&](id p) {
                        ++runs;
                        msg<void>(p, SELECTOR(ok:), id(nil));
                      }),
            NSOKButton);
  EXPECT_EQ(msg<NSInteger>(panel(), SELECTOR(runModalWithPrintInfo:), settings), NSRunAbortedResponse);
  EXPECT_EQ(runs, 1);
  // An empty script clears one that has not run.
  NSPageLayoutSetScriptedUser([&](id) { ++runs; });
  NSPageLayoutSetScriptedUser(nullptr);
  EXPECT_EQ(msg<NSInteger>(panel(), SELECTOR(runModalWithPrintInfo:), settings), NSRunAbortedResponse);
  EXPECT_EQ(runs, 1);
  release(settings);
}

TEST_F(PrintTest, RefusedRunsAndControlsRaiseAndChangeNothing) {
  id settings = new_print_info();
  id p = panel();
  EXPECT_EQ(raised_name([&] { msg<NSInteger>(p, SELECTOR(runModalWithPrintInfo:), id(nil)); }),
            "NSInvalidArgumentException");
  // Outside a run the controls have nothing to edit and no session to stop.
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(ok:), id(nil)); }), "NSInternalInconsistencyException");
  EXPECT_EQ(raised_name([&] { msg<void>(p, SELECTOR(choosePaperName:), NSStringFromUTF8("A5")); }),
            "NSInternalInconsistencyException");

  std::string nested, margins;
  EXPECT_EQ(run_panel(settings,
                      [&](id q) {
                        nested = raised_name(
                            [&] { msg<NSInteger>(q, SELECTOR(runModalWithPrintInfo:), settings); });
                        margins = raised_name([&] {
                          msg<void>(q, SELECTOR(chooseMarginsLeft:right:top:bottom:), NSInteger(1),
                                    NSInteger(2), NSInteger(-3), NSInteger(4));
                        });
                        msg<void>(q, SELECTOR(ok:), id(nil));
                      }),
            NSOKButton);
  EXPECT_EQ(nested, "NSInternalInconsistencyException");
  EXPECT_EQ(margins, "NSInvalidArgumentException");
  EXPECT_EQ(describe(settings), "Letter 612x792 portrait, margins 72/72/90/90");  // no margin half-set
  release(settings);
}

TEST_F(PrintTest, ARaiseInsideThePanelPassesOutAndEndsTheRun) {
  id settings = new_print_info();
  id thrown = nil;
  uint32_t pools = NSAutoreleasePoolDepth();
  NSPageLayoutSetScriptedUser([&](id) {
    NS_DURING
    NSRaise("NSGenericException", "the user's printer caught fire");
    NS_HANDLER
    thrown = localException;
    msg<void>(localException, SELECTOR(raise));
    NS_ENDHANDLER
  });
  id caught = raised_object([&] { msg<NSInteger>(panel(), SELECTOR(runModalWithPrintInfo:), settings); });
  EXPECT_NE(caught, nil);
  EXPECT_EQ(caught, thrown);
  EXPECT_EQ(msg<id>(panel(), SELECTOR(printInfo)), nil);
  EXPECT_FALSE(msg<BOOL>(panel(), SELECTOR(isVisible)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
  EXPECT_EQ(NSAutoreleasePoolDepth(), pools);  // the loop's per-event pool was drained
  EXPECT_EQ(msg<NSUInteger>(settings, SELECTOR(retainCount)), 1u);
  // The panel runs again afterwards.
  EXPECT_EQ(run_panel(settings, choose_then("A4", "ok:")), NSOKButton);
  release(settings);
}

// --- The application's page-layout action -----------------------------------

// The framework runs the panel on the shared settings themselves: even a
// cancelled panel changes them. This is what the page layout patch corrects.
TEST_F(PrintTest, RunPageLayoutEditsTheSharedSettingsEvenWhenCancelled) {
  id shared = make_tracing_shared();
  NSPageLayoutSetScriptedUser(choose_then("A5", "cancel:"));
  msg<void>(NSApp, SELECTOR(runPageLayout:), id(nil));
  EXPECT_EQ(shared_print_info(), shared);
  EXPECT_EQ(describe(shared), "A5 420x595 portrait, margins 72/72/90/90");

  NSPageLayoutSetScriptedUser(choose_then("A4", "ok:"));
  msg<void>(NSApp, SELECTOR(runPageLayout:), id(nil));
  EXPECT_EQ(shared_print_info(), shared);
  EXPECT_EQ(describe(shared), "A4 595x842 portrait, margins 72/72/90/90");
  EXPECT_TRUE(g_freed.empty());
  release(shared);
}

// A control the scripted user works raises inside the panel's modal loop,
// which runs inside the application's main loop: the exception reaches the
// caller of -run, and the panel, both loops and their pools are all closed.
TEST_F(PrintTest, ARefusedChoiceUnderTheMainLoopClosesThePanelAndEveryLoop) {
  id shared = make_tracing_shared();
  std::string before = describe(shared);
  uint32_t pools = NSAutoreleasePoolDepth();
  NSPageLayoutSetScriptedUser(choose_then("", "ok:"));
  post_action([] { msg<void>(NSApp, SELECTOR(runPageLayout:), id(nil)); });
  EXPECT_EQ(test_support::raised_reason([] { msg<void>(NSApp, SELECTOR(run)); }),
            "-[NSPrintInfo setPaperName:]: empty paper name");
  EXPECT_EQ(msg<id>(panel(), SELECTOR(printInfo)), nil);
  EXPECT_FALSE(msg<BOOL>(panel(), SELECTOR(isVisible)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(modalWindow)), nil);
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(_isRunningModal)));
  EXPECT_FALSE(msg<BOOL>(NSApp, SELECTOR(isRunning)));
  EXPECT_EQ(msg<id>(NSApp, SELECTOR(currentEvent)), nil);
  EXPECT_EQ(NSAutoreleasePoolDepth(), pools);
  EXPECT_EQ(shared_print_info(), shared);
  EXPECT_EQ(describe(shared), before);
  EXPECT_EQ(msg<NSUInteger>(shared, SELECTOR(retainCount)), 2u);  // ours and the shared slot's

  NSPageLayoutSetScriptedUser(choose_then("A5", "ok:"));
  post_action([] { msg<void>(NSApp, SELECTOR(runPageLayout:), id(nil)); });
  msg<void>(NSApp, SELECTOR(run));
  EXPECT_EQ(describe(shared), "A5 420x595 portrait, margins 72/72/90/90");
  release(shared);
}
