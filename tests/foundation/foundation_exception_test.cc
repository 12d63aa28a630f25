// NSException and handler frames: a raise reaches the innermost frame with
// the very object raised, frames nest and re-raise outwards, early returns
// from a frame keep the chain balanced, a caught exception lives exactly as
// long as a handler can reach it, and the misuses that abort.
#include <gtest/gtest.h>

#include <cstdlib>
#include <thread>

#include "foundation_test_support.h"
#include "raise_support.h"

using namespace test_support;

namespace {

// CountedException counts its deallocations; its name can be made to raise.
int g_exception_deallocs = 0;
bool g_name_raises = false;
objc_class_def& counted_exception_def();
void CountedException_dealloc(id self, SEL) {
  ++g_exception_deallocs;
  msgSuper<void>(objc_super_of(self, counted_exception_def()), SELECTOR(dealloc));
}
id CountedException_name(id self, SEL) {
  if (g_name_raises) NSRaise("NameRaised", "from -name");
  return msgSuper<id>(objc_super_of(self, counted_exception_def()), SELECTOR(name));
}
void CountedException_setNameRaises(id, SEL, BOOL raises) { g_name_raises = raises != NO; }
const objc_method_def counted_methods[] = {{"dealloc", objc_imp(&CountedException_dealloc)},
                                           {"name", objc_imp(&CountedException_name)}};
const objc_method_def counted_class_methods[] = {
    {"setNameRaises:", objc_imp(&CountedException_setNameRaises)}};
objc_class_def counted_exception = {"CountedException",
                                    "NSException",
                                    0,
                                    objc_methods(counted_class_methods),
                                    objc_methods(counted_methods),
                                    Nil};
objc_class_def& counted_exception_def() { return counted_exception; }
objc_class_def* const exception_classes[] = {&counted_exception};
objc_module_record exception_record = {
    OBJC_MODULE_VERSION, "ExceptionTest", exception_classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(exception_record)

// A new CountedException, owned by the caller.
id new_counted(const char* name, const char* reason) {
  id e = msg<id>(cls("CountedException"), SELECTOR(alloc));
  return msg<id>(e, SELECTOR(initWithName:reason:userInfo:), str(name), str(reason), nil);
}

std::string name_of(id exception) { return NSStringToStd(msg<id>(exception, SELECTOR(name))); }

int value_returned_from_frame() {
  NS_DURING
  NS_VALUERETURN(42, int);
  NS_HANDLER
  NS_ENDHANDLER
  return 0;
}

void void_returned_from_frame(bool* reached) {
  NS_DURING
  *reached = true;
  NS_VOIDRETURN;
  NS_HANDLER
  NS_ENDHANDLER
}

}  // namespace

TEST(NSExceptionTest, RaiseThroughSeveralFramesCatchesTheSameObject) {
  NSAutoreleaseScope pool;
  id thrower = new_tracked(1);
  EXPECT_EQ(raised_name([&] { msg<void>(thrower, SELECTOR(raiseDeep:), int32_t(3)); }), "TestException");
  release(thrower);

  id e =
      msg<id>(cls("NSException"), SELECTOR(exceptionWithName:reason:userInfo:), str("Mine"), str("why"), nil);
  id caught = raised_object([&] { msg<void>(e, SELECTOR(raise)); });
  EXPECT_EQ(caught, e);
  EXPECT_EQ(NSStringToStd(msg<id>(caught, SELECTOR(reason))), "why");
  EXPECT_EQ(msg<id>(caught, SELECTOR(userInfo)), nil);
  EXPECT_EQ(retain_count(e), 2u);  // the pool's and raised_object's
}

// A handler never retains what it caught: the exception stays alive while
// the handler raises and catches others (in every way of catching), and is
// freed once no handler can reach it. NSRaise needs no pool.
TEST(NSExceptionTest, CaughtExceptionLivesWhileItsHandlerCanReachItAndNoLonger) {
  NSAutoreleaseScope pool;
  auto raise_and_catch_others = [] {
    NS_DURING
    NSRaise("Other", "caught inside the handler");
    NS_HANDLER
    NS_ENDHANDLER
    std::string other = raised_name([] { NSRaise("Another", "caught too"); });
    NSRunProtected([] { NSRaise("Third", "and this"); }, [](id) {});
  };
  id e = new_counted("Counted", "held by the handler");
  std::string seen_macro, seen_protected, seen_cleanup;
  NS_DURING
  msg<void>(e, SELECTOR(raise));
  NS_HANDLER
  release(e);  // the handler's hold is the only one left
  raise_and_catch_others();
  seen_macro = name_of(localException);
  NS_ENDHANDLER
  EXPECT_EQ(seen_macro, "Counted");
  EXPECT_EQ(g_exception_deallocs, 1);  // freed when the handler ended

  NSRunProtected([] { NSRaise("Protected", "held"); },
                 [&](id caught) {
                   raise_and_catch_others();
                   seen_protected = name_of(caught);
                 });
  EXPECT_EQ(seen_protected, "Protected");

  // A cleanup that raises and catches, then the re-raise: the caller's
  // handler gets the original, alive.
  e = new_counted("Cleaned", "raised again after the cleanup");
  id outer = raised_object([&] {
    NSRunCleaningUpOnRaise([&] { msg<void>(e, SELECTOR(raise)); },
                           [&] {
                             release(e);
                             raise_and_catch_others();
                           });
  });
  EXPECT_EQ(outer, e);
  EXPECT_EQ(name_of(outer), "Cleaned");
  EXPECT_EQ(g_exception_deallocs, 1);  // raised_object holds it
}

// Raise-and-catch cycles, flat and nested and in every way of catching,
// hold nothing once each handler is over: every exception is freed.
TEST(NSExceptionTest, RaiseAndCatchCyclesHoldNothing) {
  constexpr int kCycles = 100000;
  auto raise_counted = [] {
    id e = msg<id>(cls("CountedException"), SELECTOR(alloc));
    e = msg<id>(e, SELECTOR(initWithName:reason:userInfo:), NSGenericException, nil, nil);
    NSRunCleaningUpOnRaise([&] { msg<void>(e, SELECTOR(raise)); }, [&] { release(e); });
  };
  // Each handler frame in a function of its own: a loop counter in the
  // frame that calls setjmp could be clobbered by the jump back.
  auto caught_cycle = [&] {
    NS_DURING
    raise_counted();
    NS_HANDLER
    NS_ENDHANDLER
  };
  for (int i = 0; i < kCycles; ++i) caught_cycle();
  EXPECT_EQ(g_exception_deallocs, kCycles);
  for (int i = 0; i < kCycles; ++i) NSRunProtected(raise_counted, [](id) {});
  EXPECT_EQ(g_exception_deallocs, 2 * kCycles);
  // Nested: an inner handler that catches, inside one that re-raises.
  NS_DURING
  for (int i = 0; i < kCycles; ++i) {
    NSRunProtected([&] { NSRunCleaningUpOnRaise(raise_counted, [] {}); }, [](id) {});
  }
  NS_HANDLER
  NS_ENDHANDLER
  EXPECT_EQ(g_exception_deallocs, 3 * kCycles);
  // A frame of the caller's own that never says its handler is done: each
  // new frame in the same place ends the previous handler.
  auto unfinished_cycle = [&] {
    NSHandlerFrame frame;
    _NSAddHandler(&frame);
    if (NS_SETJMP(frame.jumpState) == 0) {
      raise_counted();
      _NSRemoveHandler(&frame);
    }
  };
  for (int i = 0; i < kCycles; ++i) unfinished_cycle();
  EXPECT_GE(g_exception_deallocs, 4 * kCycles - 1);
}

TEST(NSExceptionTest, NestedFramesAndReRaiseReachTheOuterFrameWithTheSameObject) {
  NSAutoreleaseScope pool;
  id e = new_counted("Inner", "raised twice");
  id seen_inner = nil;
  bool outer_saw_another = false;
  id seen_outer = raised_object([&] {
    NS_DURING
    NS_DURING
    msg<void>(e, SELECTOR(raise));
    NS_HANDLER
    seen_inner = localException;
    msg<void>(localException, SELECTOR(raise));  // on to the enclosing frame
    NS_ENDHANDLER
    NS_HANDLER
    outer_saw_another = localException != e;
    msg<void>(localException, SELECTOR(raise));
    NS_ENDHANDLER
  });
  EXPECT_EQ(seen_inner, e);
  EXPECT_EQ(seen_outer, e);
  EXPECT_FALSE(outer_saw_another);
  // Raising the same object again neither leaks nor frees a reference.
  EXPECT_EQ(retain_count(e), 2u);
  release(e);
  EXPECT_EQ(g_exception_deallocs, 0);

  // An inner frame that handles the raise hides it from the outer one.
  bool outer_ran = false;
  NS_DURING
  EXPECT_EQ(raised_name([] { NSRaise("Handled", "inside"); }), "Handled");
  NS_HANDLER
  outer_ran = true;
  NS_ENDHANDLER
  EXPECT_FALSE(outer_ran);
}

TEST(NSExceptionTest, EarlyReturnsFromAFrameLeaveTheChainBalanced) {
  // If either return left its frame on the chain, the raise below would
  // jump into a function that has already returned.
  bool reached = false;
  std::string raised = raised_name([&] {
    EXPECT_EQ(value_returned_from_frame(), 42);
    void_returned_from_frame(&reached);
    NSRaise("AfterReturns", "reaches the caller's frame");
  });
  EXPECT_EQ(raised, "AfterReturns");
  EXPECT_TRUE(reached);

  bool ran_handler = false;
  NS_DURING(void) 0;
  NS_HANDLER
  ran_handler = true;
  NS_ENDHANDLER
  EXPECT_FALSE(ran_handler);
}

TEST(NSExceptionTest, RunCleaningUpOnRaiseCleansOnlyOnARaiseAndPassesItOn) {
  NSAutoreleaseScope pool;
  int cleanups = 0;
  NSRunCleaningUpOnRaise([] {}, [&] { ++cleanups; });
  EXPECT_EQ(cleanups, 0);
  id e = new_counted("Passed", "on");
  EXPECT_EQ(raised_object(
                [&] { NSRunCleaningUpOnRaise([&] { msg<void>(e, SELECTOR(raise)); }, [&] { ++cleanups; }); }),
            e);
  EXPECT_EQ(cleanups, 1);
  release(e);
}

TEST(NSExceptionTest, NameConstantsAreConstantStrings) {
  EXPECT_EQ(object_getClass(NSInvalidArgumentException), objc_getClass("NSConstantString"));
  EXPECT_EQ(NSStringToStd(NSRangeException), "NSRangeException");
  EXPECT_EQ(NSStringToStd(NSInternalInconsistencyException), "NSInternalInconsistencyException");
}

TEST(NSExceptionDeathTest, UncaughtRaisePrintsNameAndReasonAndAborts) {
  EXPECT_DEATH(NSRaise("NSRangeException", "index 3 beyond bounds"),
               "\\*\\*\\* Uncaught exception NSRangeException: index 3 beyond bounds");
}

// The report asks the exception for its name and reason; one that raises
// instead is reported, not recursed into.
TEST(NSExceptionDeathTest, UncaughtExceptionWhoseNameRaisesIsStillReported) {
  EXPECT_DEATH(
      {
        id e = new_counted("Unnamed", "its name raises");
        msg<void>(cls("CountedException"), SELECTOR(setNameRaises:), YES);
        msg<void>(e, SELECTOR(raise));
      },
      "\\*\\*\\* Uncaught exception \\(raised while asked for its name\\): its name raises");
}

// A thread that ends with a frame still on its chain: the chain ends with
// it, so a raise from its exit-time cleanups is uncaught rather than a jump
// into a stack that is gone.
TEST(NSExceptionDeathTest, ThreadThatEndsWithFramesOnItsChainDropsThem) {
#if defined(_WIN32)
  // MinGW links the thread library into each module: the program's
  // std::thread destroys the program's thread-local objects in its own
  // wrapper, before the system tells Foundation that the thread ends (even
  // fibre-local storage callbacks come later), so the raise still jumps
  // into the stale frame there.
  GTEST_SKIP() << "a program's thread-local objects are destroyed before Foundation learns the thread ends";
#endif
  struct RaisesAtThreadExit {
    ~RaisesAtThreadExit() { NSRaise("AtThreadExit", "after the thread's frames"); }
  };
  EXPECT_DEATH(std::thread([] {
                 static thread_local RaisesAtThreadExit raises;
                 static_cast<void>(&raises);
                 static NSHandlerFrame frame;  // never taken off
                 _NSAddHandler(&frame);
                 if (NS_SETJMP(frame.jumpState) != 0) std::_Exit(3);  // a jump into it
               }).join(),
               "\\*\\*\\* Uncaught exception AtThreadExit");
}

void remove_outer_frame_first() {
  NSHandlerFrame outer;
  NSHandlerFrame inner;
  _NSAddHandler(&outer);
  _NSAddHandler(&inner);
  _NSRemoveHandler(&outer);
}

TEST(NSExceptionDeathTest, RemovingAFrameThatIsNotInnermostAborts) {
  EXPECT_DEATH(remove_outer_frame_first(), "is not this thread's innermost handler frame");
}
