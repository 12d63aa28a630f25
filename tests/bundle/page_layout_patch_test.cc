// The page layout patch (the category PageLayoutPatch on CorvaneApplication)
// registered in-process with both of the bundle's units, over the stand-in
// AppKit; and end to end, the sample host loading the built bundle, whose
// Corvane unit hands the category to the runtime before its class.
#include <gtest/gtest.h>

#include <cstdlib>

#include "Corvane.h"
#include "appkit/print_test_support.h"
#include "host_process.h"
#include "raise_support.h"

using namespace appkit_test;
using namespace print_test;

namespace {

class PageLayoutPatchTest : public PrintFixture {};

void enable() { msg<void>(cls("Corvane"), SELECTOR(enableCorvane)); }

NSUInteger retain_count(id obj) { return msg<NSUInteger>(obj, SELECTOR(retainCount)); }

// The user works the panel with user; the copy the panel ran on is
// recorded in *ran_on.
void run_page_layout(const std::function<void(id)>& user, id* ran_on = nullptr) {
  NSPageLayoutSetScriptedUser([user, ran_on](id p) {
    if (ran_on != nullptr) *ran_on = msg<id>(p, SELECTOR(printInfo));
    user(p);
  });
  msg<void>(NSApp, SELECTOR(runPageLayout:), id(nil));
}

const char* const kLetter = "Letter 612x792 portrait, margins 72/72/90/90";

}  // namespace

TEST_F(PageLayoutPatchTest, OkMakesTheEditedCopyTheSharedSettings) {
  enable();
  id original = make_tracing_shared();
  id ran_on = nil;
  std::string shared_while_open;
  run_page_layout(
      [&](id p) {
        msg<void>(p, SELECTOR(choosePaperName:), NSStringFromUTF8("A5"));
        shared_while_open = describe(shared_print_info());
        msg<void>(p, SELECTOR(ok:), id(nil));
      },
      &ran_on);
  EXPECT_EQ(shared_while_open, kLetter);  // the panel edits the copy only
  EXPECT_NE(ran_on, original);
  EXPECT_EQ(shared_print_info(), ran_on);
  EXPECT_FALSE(was_freed(ran_on));
  EXPECT_EQ(retain_count(ran_on), 1u);  // the shared slot's reference only
  EXPECT_EQ(describe(ran_on), "A5 420x595 portrait, margins 72/72/90/90");
  EXPECT_EQ(describe(original), kLetter);
  EXPECT_EQ(retain_count(original), 1u);  // the slot let go of it
  release(original);
  EXPECT_TRUE(was_freed(original));
}

TEST_F(PageLayoutPatchTest, AnyResultButOkLeavesTheSharedSettingsAndFreesTheCopy) {
  enable();
  id original = make_tracing_shared();
  const std::function<void(id)> users[] = {
      choose_then("A5", "cancel:"), choose_then_stop("A5", 2), choose_then_stop("A5", -1),
      [](id p) { msg<void>(p, SELECTOR(choosePaperName:), NSStringFromUTF8("A5")); },  // left open: aborted
  };
  for (const auto& user : users) {
    id ran_on = nil;
    run_page_layout(user, &ran_on);
    EXPECT_NE(ran_on, nil);
    EXPECT_NE(ran_on, original);
    EXPECT_TRUE(was_freed(ran_on));
    EXPECT_EQ(shared_print_info(), original);
    EXPECT_EQ(describe(original), kLetter);
    EXPECT_EQ(retain_count(original), 2u);
  }
  release(original);
}

TEST_F(PageLayoutPatchTest, EachCallWorksOnAFreshCopySoCancelledEditsNeverReachTheNext) {
  enable();
  id original = make_tracing_shared();
  id first = nil, second = nil;
  std::string second_saw;
  run_page_layout(
      [](id p) {
        msg<void>(p, SELECTOR(choosePaperName:), NSStringFromUTF8("A5"));
        msg<void>(p, SELECTOR(chooseOrientation:), NSInteger(NSLandscapeOrientation));
        msg<void>(p, SELECTOR(cancel:), id(nil));
      },
      &first);
  run_page_layout(
      [&](id p) {
        second_saw = describe(msg<id>(p, SELECTOR(printInfo)));
        msg<void>(p, SELECTOR(chooseMarginsLeft:right:top:bottom:), NSInteger(10), NSInteger(10),
                  NSInteger(20), NSInteger(20));
        msg<void>(p, SELECTOR(ok:), id(nil));
      },
      &second);
  EXPECT_EQ(second_saw, kLetter);
  EXPECT_TRUE(was_freed(first));
  EXPECT_EQ(shared_print_info(), second);
  EXPECT_EQ(describe(second), "Letter 612x792 portrait, margins 10/10/20/20");
  release(original);
}

// The panel raising must not leak the copy or touch the shared settings;
// the caller gets the very exception the panel raised.
TEST_F(PageLayoutPatchTest, ARaiseInThePanelFreesTheCopyAndPassesTheSameException) {
  enable();
  id original = make_tracing_shared();
  id ran_on = nil, thrown = nil;
  id caught = test_support::raised_object([&] {
    run_page_layout(
        [&](id p) {
          msg<void>(p, SELECTOR(choosePaperName:), NSStringFromUTF8("A5"));
          thrown = test_support::raised_object([] { NSRaise("NSGenericException", "no printer"); });
          msg<void>(thrown, SELECTOR(raise));
        },
        &ran_on);
  });
  ASSERT_NE(caught, nil);
  EXPECT_EQ(caught, thrown);
  EXPECT_TRUE(was_freed(ran_on));
  EXPECT_EQ(shared_print_info(), original);
  EXPECT_EQ(describe(original), kLetter);
  EXPECT_EQ(retain_count(original), 2u);
  release(original);
}

// The copy's dealloc, which the patch's cleanup runs, raises and catches an
// exception of its own: the panel's exception must still be alive when the
// patch raises it again.
TEST_F(PageLayoutPatchTest, ACleanupThatRaisesAndCatchesKeepsThePanelsExceptionAlive) {
  enable();
  id original = make_tracing_shared();
  g_dealloc_raises_and_catches = true;
  id caught = test_support::raised_object(
      [&] { run_page_layout([&](id) { NSRaise("NSGenericException", "no printer"); }); });
  g_dealloc_raises_and_catches = false;
  ASSERT_NE(caught, nil);
  EXPECT_EQ(NSStringToStd(msg<id>(caught, SELECTOR(reason))), "no printer");
  EXPECT_EQ(shared_print_info(), original);
  release(original);
}

// With the application patch on, the panel's modal session goes through the
// patched session methods too.
TEST_F(PageLayoutPatchTest, PanelRunsThroughThePatchedModalSession) {
  enable();
  id top = nil;
  NSInteger level = -1;
  run_page_layout([&](id p) {
    top = msg<id>(_modalWindows, SELECTOR(lastObject));
    level = msg<NSInteger>(p, SELECTOR(level));
    msg<void>(p, SELECTOR(ok:), id(nil));
  });
  EXPECT_EQ(top, panel());
  EXPECT_EQ(level, 4);
  EXPECT_EQ(_modalWindows, nil);
}

TEST_F(PageLayoutPatchTest, PatchOffLeavesTheFrameworkMethod) {
  EXPECT_EQ(object_getClass(NSApp), objc_getClass("NSApplication"));
  id original = make_tracing_shared();
  id ran_on = nil;
  run_page_layout(choose_then("A5", "cancel:"), &ran_on);
  EXPECT_EQ(ran_on, original);  // the shared settings themselves, no copy
  EXPECT_EQ(shared_print_info(), original);
  EXPECT_EQ(describe(original), "A5 420x595 portrait, margins 72/72/90/90");
  EXPECT_TRUE(g_freed.empty());
  release(original);
}

// --- The built bundle in the sample host ------------------------------------

namespace {

using test_support::has_line;

test_support::ProcessResult host(std::vector<std::string> arguments) {
  test_support::use_fresh_defaults("page-layout-defaults");
  return test_support::run_host(std::move(arguments));
}

// What the page layout scenario prints with the application patch on or off.
std::string play_page_layout(const char* corvane_enable) {
  auto run = host({"-scenario", "pagelayout", "-CorvaneEnable", corvane_enable});
  EXPECT_EQ(run.exit_code, 0) << run.err;
  return run.out;
}

}  // namespace

// The Corvane unit, which holds the category, registers its classes before
// CorvaneApplication arrives; the patched page layout still runs, so the
// runtime held the category until its class came.
TEST(PageLayoutPatchBundle, CategoryArrivesBeforeItsClassAndStillTakesEffect) {
  auto report = host({"-CorvaneEnable", "YES"});
  ASSERT_EQ(report.exit_code, 0) << report.err;
  EXPECT_TRUE(has_line(report.out, test_support::kBundleClassesLine)) << report.out;
  EXPECT_EQ(play_page_layout("YES"),
            "start            Letter 612x792 portrait  #1\n"
            "A5, Cancel       Letter 612x792 portrait  #1\n"
            "A5, OK           A5 420x595 portrait  #2\n");
}

TEST(PageLayoutPatchBundle, PatchOffTheCancelledPanelChangesTheSharedSettings) {
  EXPECT_EQ(play_page_layout("NO"),
            "start            Letter 612x792 portrait  #1\n"
            "A5, Cancel       A5 420x595 portrait  #1\n"
            "A5, OK           A5 420x595 portrait  #1\n");
}
