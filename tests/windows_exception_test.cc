// C++ exceptions across DLLs that each carry their own static C++ run-time:
// an NSException raised in Foundation.dll passes through a relay DLL, which
// runs a destructor and a catch-and-rethrow on the way, and is caught by
// type in the program with the very object that was raised.
#include <gtest/gtest.h>

#include <stdexcept>

#include "Foundation/Foundation.h"
#include "windows_test_support.h"

namespace {

using relay_fn = void (*)(void (*)(), int*, int*);

relay_fn relay() {
  void* module = windows_test::load_library("windows_exception_relay.dll");
  return module != nullptr ? reinterpret_cast<relay_fn>(windows_test::symbol(module, "windows_relay"))
                           : nullptr;
}

id g_raised = nil;

void raise_from_foundation() {
  id name = NSStringFromUTF8("WindowsTestException");
  g_raised = msg<id>(reinterpret_cast<id>(objc_getClass("NSException")),
                     SELECTOR(exceptionWithName:reason:userInfo:), name,
                     NSStringFromUTF8("through the relay"), id(nil));
  msg<void>(g_raised, SELECTOR(raise));
}

void raise_standard() { throw std::runtime_error("plain C++"); }

}  // namespace

TEST(WindowsExceptions, RaiseInFoundationPassesThroughAnotherDllToTheProgram) {
  relay_fn call = relay();
  ASSERT_NE(call, nullptr) << windows_test::last_error();
  int entered = 0, caught = 0;
  id pool = msg<id>(msg<id>(reinterpret_cast<id>(objc_getClass("NSAutoreleasePool")), SELECTOR(alloc)),
                    SELECTOR(init));
  try {
    call(&raise_from_foundation, &entered, &caught);
    FAIL() << "the raise did not reach the program";
  } catch (const NSRaisedException& raised) {
    EXPECT_EQ(raised.exception, g_raised);
    EXPECT_EQ(NSStringToStd(msg<id>(raised.exception, SELECTOR(name))), "WindowsTestException");
  }
  EXPECT_EQ(entered, 0) << "the relay's destructor did not run";
  EXPECT_EQ(caught, 1);
  msg<void>(pool, SELECTOR(release));
}

TEST(WindowsExceptions, StandardExceptionsCrossTooAndKeepTheirType) {
  relay_fn call = relay();
  ASSERT_NE(call, nullptr);
  int entered = 0, caught = 0;
  EXPECT_THROW(call(&raise_standard, &entered, &caught), std::runtime_error);
  EXPECT_EQ(entered, 0);
  EXPECT_EQ(caught, 1);
}
