// The runtime's side of a raise: what the jump does to the frames it skips
// (their destructors do not run, their cleanups and tracked locks do), and
// a raise out of +initialize and out of +load leaving the runtime usable.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "Foundation/Foundation.h"
#include "objc/unwind.h"
#include "raise_support.h"

using test_support::raised_name;
using test_support::raised_object;

namespace {

id cls(const char* name) { return reinterpret_cast<id>(objc_getClass(name)); }

int g_cleanups = 0;
int g_outer_cleanups = 0;
bool g_destructor_ran = false;

struct SetsFlagWhenDestroyed {
  ~SetsFlagWhenDestroyed() { g_destructor_ran = true; }
};

// --- Test classes ------------------------------------------------------------

// +[UnwindRaiser raiseAfter:] raises through a few message frames.
void UnwindRaiser_raiseAfter(id self, SEL, int32_t depth) {
  if (depth == 0) NSRaise("UnwindTest", "raised deep down");
  msg<void>(self, SELECTOR(raiseAfter:), int32_t(depth - 1));
}

// UnwindFlaky's initialize raises while g_flaky_raises is set; it stays set
// until a test clears it. initialize is inherited, so only the class's own
// counts.
std::atomic<int> g_flaky_initializes{0};
std::atomic<bool> g_flaky_raises{true};
std::atomic<bool> g_flaky_started{false};
int g_flaky_delay_ms = 0;
void UnwindFlaky_initialize(id self, SEL) {
  if (self != cls("UnwindFlaky")) return;
  ++g_flaky_initializes;
  g_flaky_started = true;
  if (g_flaky_delay_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(g_flaky_delay_ms));
  if (g_flaky_raises.exchange(false)) NSRaise("InitializeFailed", "first initialize");
}
int32_t UnwindFlaky_answer(id, SEL) { return 7; }

const objc_method_def raiser_methods[] = {{"raiseAfter:", objc_imp(&UnwindRaiser_raiseAfter)}};
const objc_method_def flaky_class_methods[] = {
    {"initialize", objc_imp(&UnwindFlaky_initialize)},
    {"answer", objc_imp(&UnwindFlaky_answer)},
};
objc_class_def raiser_def = {"UnwindRaiser",  "NSObject", 0, objc_methods(raiser_methods),
                             objc_no_methods, Nil};
objc_class_def flaky_def = {"UnwindFlaky",   "NSObject", 0, objc_methods(flaky_class_methods),
                            objc_no_methods, Nil};
objc_class_def* const test_classes[] = {&raiser_def, &flaky_def};
objc_module_record test_record = {OBJC_MODULE_VERSION, "UnwindTest", test_classes, 2, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(test_record)

void raise_through_messages() { msg<void>(cls("UnwindRaiser"), SELECTOR(raiseAfter:), int32_t(3)); }

}  // namespace

TEST(UnwindTest, ASkippedFrameLosesItsDestructorsButRunsItsCleanupOnce) {
  // The same on every target: a raise is a jump, not an unwind, so a C++
  // destructor in a skipped frame never runs. Cleanups pushed on the chain
  // are what runs.
  id raised = raised_object([] {
    SetsFlagWhenDestroyed skipped;
    objc::OnRaise cleanup([] { ++g_cleanups; });
    raise_through_messages();
  });
  ASSERT_NE(raised, nil);
  EXPECT_EQ(NSStringToStd(msg<id>(raised, SELECTOR(name))), "UnwindTest");
  EXPECT_FALSE(g_destructor_ran);
  EXPECT_EQ(g_cleanups, 1);
  EXPECT_EQ(objc_cleanup_top(), nullptr);

  // A scope left normally pops its cleanup without running it.
  {
    objc::OnRaise unused([] { ++g_cleanups; });
  }
  EXPECT_EQ(g_cleanups, 1);
  EXPECT_EQ(objc_cleanup_top(), nullptr);
}

TEST(UnwindTest, OnlyCleanupsInsideTheCatchingFrameRun) {
  objc::OnRaise outer([] { ++g_outer_cleanups; });
  objc_cleanup* mark = objc_cleanup_top();
  EXPECT_EQ(raised_name([] {
              objc::OnRaise first([] { g_cleanups = g_cleanups * 10 + 1; });
              objc::OnRaise second([] { g_cleanups = g_cleanups * 10 + 2; });
              raise_through_messages();
            }),
            "UnwindTest");
  EXPECT_EQ(g_cleanups, 21);  // innermost first
  EXPECT_EQ(g_outer_cleanups, 0);
  EXPECT_EQ(objc_cleanup_top(), mark);
}

TEST(UnwindTest, TrackedLockInASkippedFrameIsReleased) {
  static std::mutex lock;
  EXPECT_EQ(objc_thread_locks_held(), 0);
  int held_inside = -1;
  EXPECT_EQ(raised_name([&] {
              objc::TrackedLock hold(lock);
              held_inside = objc_thread_locks_held();
              raise_through_messages();
            }),
            "UnwindTest");
  EXPECT_EQ(held_inside, 1);
  EXPECT_EQ(objc_thread_locks_held(), 0);
  ASSERT_TRUE(lock.try_lock());
  lock.unlock();
  std::thread([] { std::lock_guard other_thread(lock); }).join();
}

TEST(UnwindTest, TrackedLockHeldOutsideTheFrameStaysHeld) {
  static std::mutex outer_lock;
  static std::mutex inner_lock;
  objc::TrackedLock outer(outer_lock);
  EXPECT_EQ(raised_name([] {
              objc::TrackedLock inner(inner_lock);
              raise_through_messages();
            }),
            "UnwindTest");
  EXPECT_EQ(objc_thread_locks_held(), 1);
  EXPECT_FALSE(outer_lock.try_lock());
  ASSERT_TRUE(inner_lock.try_lock());
  inner_lock.unlock();
}

TEST(UnwindDeathTest, RaiseOverACountedLockWithoutCleanupAborts) {
  // A lock counted as held but with nothing to release it: the raise must
  // refuse to jump rather than leave it held.
  EXPECT_DEATH(raised_object([] {
                 objc_thread_note_lock(+1);
                 NSRaise("Stuck", "lock left behind");
               }),
               "raise of Stuck would leave 1 lock\\(s\\) held");
}

void pop_out_of_order() {
  objc_cleanup first{nullptr, [](objc_cleanup*) {}};
  objc_cleanup second{nullptr, [](objc_cleanup*) {}};
  objc_cleanup_push(&first);
  objc_cleanup_push(&second);
  objc_cleanup_pop(&first);
}

TEST(UnwindDeathTest, PoppingACleanupThatIsNotInnermostAborts) {
  EXPECT_DEATH(pop_out_of_order(), "is not this thread's innermost cleanup");
}

TEST(UnwindTest, RaiseInInitializeLeavesClassUninitialisedAndTheNextMessageRetries) {
  id e = raised_object([] { msg<int32_t>(cls("UnwindFlaky"), SELECTOR(answer)); });
  ASSERT_NE(e, nil);
  EXPECT_EQ(NSStringToStd(msg<id>(e, SELECTOR(name))), "InitializeFailed");
  EXPECT_EQ(g_flaky_initializes, 1);
  EXPECT_EQ(objc_thread_locks_held(), 0);
  EXPECT_EQ(objc_cleanup_top(), nullptr);
  // Not marked initialised: the next message runs initialize again.
  EXPECT_EQ(msg<int32_t>(cls("UnwindFlaky"), SELECTOR(answer)), 7);
  EXPECT_EQ(g_flaky_initializes, 2);
  EXPECT_EQ(msg<int32_t>(cls("UnwindFlaky"), SELECTOR(answer)), 7);
  EXPECT_EQ(g_flaky_initializes, 2);
}

TEST(UnwindTest, ThreadWaitingForAnInitializeThatRaisesClaimsTheClass) {
  // The first thread's initialize is slow and raises; a second thread that
  // messages the class meanwhile waits, then runs initialize itself.
  g_flaky_delay_ms = 100;
  std::string first_raised;
  std::thread first(
      [&] { first_raised = raised_name([] { msg<int32_t>(cls("UnwindFlaky"), SELECTOR(answer)); }); });
  while (!g_flaky_started) std::this_thread::yield();
  int32_t second_answer = 0;
  std::string second_raised;
  std::thread second([&] {
    second_raised = raised_name([&] { second_answer = msg<int32_t>(cls("UnwindFlaky"), SELECTOR(answer)); });
  });
  first.join();
  second.join();
  EXPECT_EQ(first_raised, "InitializeFailed");
  EXPECT_EQ(second_raised, "");
  EXPECT_EQ(second_answer, 7);
  EXPECT_EQ(g_flaky_initializes, 2);
}

// --- A raise out of +load ------------------------------------------------------

namespace {

int g_loads_sent = 0;
int g_skipped_loads = 0;
int g_later_loads = 0;
void LoadRaiser_load(id, SEL) {
  ++g_loads_sent;
  NSRaise("LoadFailed", "raised from load");
}
void LoadSkipped_load(id, SEL) { ++g_skipped_loads; }
void LoadLater_load(id, SEL) { ++g_later_loads; }

const objc_method_def raiser_load[] = {{"load", objc_imp(&LoadRaiser_load)}};
const objc_method_def skipped_load[] = {{"load", objc_imp(&LoadSkipped_load)}};
const objc_method_def later_load[] = {{"load", objc_imp(&LoadLater_load)}};
objc_class_def load_raiser = {"UnwindLoadRaiser",        "NSObject",      0,
                              objc_methods(raiser_load), objc_no_methods, Nil};
objc_class_def load_skipped = {"UnwindLoadSkipped",        "NSObject",      0,
                               objc_methods(skipped_load), objc_no_methods, Nil};
objc_class_def load_later = {"UnwindLoadLater",        "NSObject",      0,
                             objc_methods(later_load), objc_no_methods, Nil};
objc_class_def* const failing_classes[] = {&load_raiser, &load_skipped};
objc_class_def* const later_classes[] = {&load_later};
objc_module_record failing_record = {
    OBJC_MODULE_VERSION, "UnwindFailing", failing_classes, 2, nullptr, 0, nullptr, 0};
objc_module_record later_record = {
    OBJC_MODULE_VERSION, "UnwindLater", later_classes, 1, nullptr, 0, nullptr, 0};

}  // namespace

TEST(UnwindTest, RaiseInLoadDropsTheRestAndLeavesRegistrationUsable) {
  __objc_execClass(&failing_record);
  objc_register_header("unwind-test-failing");
  EXPECT_EQ(raised_name([] { objc_finish_header(); }), "LoadFailed");
  EXPECT_EQ(g_loads_sent, 1);
  EXPECT_EQ(g_skipped_loads, 0);  // dropped with the rest of that module's loads
  EXPECT_EQ(objc_thread_locks_held(), 0);
  EXPECT_EQ(objc_cleanup_top(), nullptr);
  EXPECT_NE(objc_getClass("UnwindLoadRaiser"), Nil);  // registered all the same

  // The runtime's tables are not left locked: the next module registers and
  // receives its own load, and only that.
  __objc_execClass(&later_record);
  objc_register_header("unwind-test-later");
  objc_finish_header();
  EXPECT_EQ(g_later_loads, 1);
  EXPECT_EQ(g_skipped_loads, 0);
  EXPECT_EQ(g_loads_sent, 1);
}
