// NSException and handler frames: a raise reaches the innermost frame with
// the very object raised, frames nest and re-raise outwards, early returns
// from a frame keep the chain balanced, the thread keeps the last raised
// exception alive exactly until the next raise, and the misuses that abort.
#include <gtest/gtest.h>

#include "foundation_test_support.h"
#include "raise_support.h"

using namespace test_support;

namespace {

// CountedException counts its deallocations.
int g_exception_deallocs = 0;
objc_class_def& counted_exception_def();
void CountedException_dealloc(id self, SEL) {
  ++g_exception_deallocs;
  msgSuper<void>(objc_super_of(self, counted_exception_def()), SELECTOR(dealloc));
}
const objc_method_def counted_methods[] = {{"dealloc", objc_imp(&CountedException_dealloc)}};
objc_class_def counted_exception = {
    "CountedException", "NSException", 0, objc_no_methods, objc_methods(counted_methods), Nil};
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
  EXPECT_EQ(retain_count(e), 2u);  // the pool's and the thread's last-raised slot
}

TEST(NSExceptionTest, LastRaisedExceptionLivesUntilTheNextRaise) {
  // No pool: NSRaise needs none, and the thread's slot alone keeps the
  // exception alive while its handler runs.
  testing::internal::CaptureStderr();
  id raised = raised_object([] { NSRaise("NSInternalInconsistencyException", "broken"); });
  ASSERT_NE(raised, nil);
  EXPECT_EQ(NSStringToStd(msg<id>(raised, SELECTOR(reason))), "broken");
  EXPECT_TRUE(
      msg<BOOL>(msg<id>(raised, SELECTOR(name)), SELECTOR(isEqual:), NSInternalInconsistencyException));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  NSAutoreleaseScope pool;
  id e = new_counted("Counted", "kept by the slot");
  EXPECT_EQ(raised_object([&] { msg<void>(e, SELECTOR(raise)); }), e);
  EXPECT_EQ(retain_count(e), 2u);
  release(e);  // ours: the slot still holds it
  EXPECT_EQ(g_exception_deallocs, 0);
  EXPECT_EQ(name_of(e), "Counted");
  EXPECT_EQ(raised_name([] { NSRaise("Next", "replaces it"); }), "Next");
  EXPECT_EQ(g_exception_deallocs, 1);
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
