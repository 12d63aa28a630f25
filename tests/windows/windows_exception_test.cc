// Framework exceptions across DLLs that each carry their own static C++
// run-time: a raise is a jump to the innermost handler frame, so an
// NSException raised in Foundation.dll passes through a relay DLL, which
// catches it in a frame of its own, restores its state and raises it again,
// and arrives in the program's handler as the very object that was raised.
// A frame the jump skips is abandoned: its C++ destructors do not run, in
// another DLL or in the program itself, as on POSIX.
#include <gtest/gtest.h>

#include <stdexcept>

#include "Foundation/Foundation.h"
#include "loader.h"
#include "raise_support.h"
#include "windows_test_support.h"

namespace {

void* relay_module() {
  return windows_test::load_library(loader::module_file_name("windows_exception_relay"));
}

using relay_fn = void (*)(void (*)(), int*, int*);
using holding_fn = void (*)(void (*)(), int*);

relay_fn relay() { return reinterpret_cast<relay_fn>(windows_test::symbol(relay_module(), "windows_relay")); }
holding_fn relay_holding() {
  return reinterpret_cast<holding_fn>(windows_test::symbol(relay_module(), "windows_relay_holding"));
}

id g_raised = nil;

// Raises from Foundation.dll: -raise makes the jump there.
void raise_from_foundation() {
  g_raised = msg<id>(reinterpret_cast<id>(objc_getClass("NSException")),
                     SELECTOR(exceptionWithName:reason:userInfo:), NSStringFromUTF8("WindowsTestException"),
                     NSStringFromUTF8("through the relay"), id(nil));
  msg<void>(g_raised, SELECTOR(raise));
}

void return_normally() {}

struct CountOnDestroy {
  int* destroyed;
  ~CountOnDestroy() { ++*destroyed; }
};

// The program's own frame with a destructor, skipped by the jump.
[[gnu::noinline]] void hold_in_program(void (*call)(), int* destroyed) {
  CountOnDestroy held{destroyed};
  call();
}

std::string name_of(id exception) { return NSStringToStd(msg<id>(exception, SELECTOR(name))); }

class WindowsExceptions : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), SELECTOR(alloc)),
                    SELECTOR(init));
  }
  void TearDown() override { msg<void>(pool_, SELECTOR(release)); }
  id pool_ = nil;
};

}  // namespace

TEST_F(WindowsExceptions, RaiseInFoundationCrossesTheRelayAndArrivesAsTheSameObject) {
  relay_fn call = relay();
  ASSERT_NE(call, nullptr) << windows_test::last_error();
  int depth = 0, caught = 0;
  id raised = test_support::raised_object([&] { call(&raise_from_foundation, &depth, &caught); });
  ASSERT_NE(raised, nil) << "the raise did not reach the program";
  EXPECT_EQ(raised, g_raised);
  EXPECT_EQ(name_of(raised), "WindowsTestException");
  EXPECT_EQ(NSStringToStd(msg<id>(raised, SELECTOR(reason))), "through the relay");
  EXPECT_EQ(depth, 0) << "the relay did not restore its counter";
  EXPECT_EQ(caught, 1);

  // Raised through two relays, each catches it once on the way out.
  static relay_fn outer;
  static int* inner_depth;
  static int* inner_caught;
  int depth2 = 0, caught2 = 0;
  outer = call;
  inner_depth = &depth2;
  inner_caught = &caught2;
  raised = test_support::raised_object(
      [&] { call([] { outer(&raise_from_foundation, inner_depth, inner_caught); }, &depth, &caught); });
  EXPECT_EQ(raised, g_raised);
  EXPECT_EQ(depth, 0);
  EXPECT_EQ(depth2, 0);
  EXPECT_EQ(caught, 2);
  EXPECT_EQ(caught2, 1);
}

// A relay that returns normally has taken its frame off the chain: the next
// raise goes straight to the program's handler, not into the dead frame.
TEST_F(WindowsExceptions, RelayThatReturnsLeavesTheChainAsItWas) {
  relay_fn call = relay();
  ASSERT_NE(call, nullptr) << windows_test::last_error();
  int depth = 0, caught = 0;
  EXPECT_EQ(test_support::raised_object([&] { call(&return_normally, &depth, &caught); }), nil);
  EXPECT_EQ(depth, 0);
  id raised = test_support::raised_object(&raise_from_foundation);
  EXPECT_EQ(raised, g_raised);
  EXPECT_EQ(caught, 0);
}

// The jump restores registers and the stack pointer without unwinding: the
// destructors of the frames it skips do not run, whether the frame belongs
// to another DLL or to the program. Afterwards the thread raises and
// catches as before, and C++ exceptions of its own still work.
TEST_F(WindowsExceptions, JumpSkipsFramesWithoutRunningTheirDestructors) {
  holding_fn hold_in_relay = relay_holding();
  ASSERT_NE(hold_in_relay, nullptr) << windows_test::last_error();
  int destroyed_in_relay = 0, destroyed_in_program = 0;
  id raised =
      test_support::raised_object([&] { hold_in_relay(&raise_from_foundation, &destroyed_in_relay); });
  EXPECT_EQ(raised, g_raised);
  raised =
      test_support::raised_object([&] { hold_in_program(&raise_from_foundation, &destroyed_in_program); });
  EXPECT_EQ(raised, g_raised);
  EXPECT_EQ(destroyed_in_relay, 0) << "the jump ran a destructor in the relay DLL";
  EXPECT_EQ(destroyed_in_program, 0) << "the jump ran a destructor in the program";

  // On the normal path the destructors run, once each.
  hold_in_relay(&return_normally, &destroyed_in_relay);
  hold_in_program(&return_normally, &destroyed_in_program);
  EXPECT_EQ(destroyed_in_relay, 1);
  EXPECT_EQ(destroyed_in_program, 1);

  EXPECT_EQ(name_of(test_support::raised_object(&raise_from_foundation)), "WindowsTestException");
  EXPECT_THROW(throw std::runtime_error("plain C++"), std::runtime_error);
}
