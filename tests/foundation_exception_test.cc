// NSException: raising through message frames, the identity and lifetime
// of the caught exception, and the NS_DURING handler frames.
#include <gtest/gtest.h>

#include "foundation_test_support.h"

using namespace test_support;

TEST(NSExceptionTest, RaiseThroughSeveralFramesCatchesTheSameObject) {
  NSAutoreleaseScope pool;
  id e =
      msg<id>(cls("NSException"), SELECTOR(exceptionWithName:reason:userInfo:), str("Mine"), str("why"), nil);
  id thrower = new_tracked(1);
  try {
    msg<void>(thrower, SELECTOR(raiseDeep:), int32_t(3));
    FAIL() << "no exception";
  } catch (const NSRaisedException& caught) {
    EXPECT_EQ(NSStringToStd(msg<id>(caught.exception, SELECTOR(name))), "TestException");
  }
  try {
    msg<void>(e, SELECTOR(raise));
    FAIL() << "no exception";
  } catch (const NSRaisedException& caught) {
    EXPECT_EQ(caught.exception, e);
    EXPECT_EQ(NSStringToStd(msg<id>(caught.exception, SELECTOR(reason))), "why");
    EXPECT_EQ(msg<id>(caught.exception, SELECTOR(userInfo)), nil);
  }
  EXPECT_EQ(retain_count(e), 1u);  // the thrower's reference is gone again
  release(thrower);
}

TEST(NSExceptionTest, RaisedExceptionLivesUntilHandlerEnds) {
  // No pool: NSRaise must not need one, and the exception must survive the
  // unwinding on the strength of the thrown object's reference alone.
  testing::internal::CaptureStderr();
  std::string reason;
  try {
    NSRaise("NSInternalInconsistencyException", "broken");
  } catch (const NSRaisedException& caught) {
    NSRaisedException kept = caught;  // copies keep their own reference
    reason = NSStringToStd(msg<id>(kept.exception, SELECTOR(reason)));
    EXPECT_TRUE(msg<BOOL>(msg<id>(caught.exception, SELECTOR(name)), SELECTOR(isEqual:),
                          NSInternalInconsistencyException));
  }
  EXPECT_EQ(reason, "broken");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(NSExceptionTest, HandlerFramesCatchAndReRaise) {
  NSAutoreleaseScope pool;
  id seen = nil;
  id reraised = nil;
  try {
    NS_DURING
    NSRaise("NSRangeException", "inner");
    NS_HANDLER
    seen = localException;
    msg<void>(localException, SELECTOR(raise));
    NS_ENDHANDLER
  } catch (const NSRaisedException& outer) {
    reraised = outer.exception;
  }
  ASSERT_NE(seen, nil);
  EXPECT_EQ(seen, reraised);

  bool ran_handler = false;
  NS_DURING(void) 0;
  NS_HANDLER
  ran_handler = true;
  NS_ENDHANDLER
  EXPECT_FALSE(ran_handler);
}

TEST(NSExceptionTest, NameConstantsAreConstantStrings) {
  EXPECT_EQ(object_getClass(NSInvalidArgumentException), objc_getClass("NSConstantString"));
  EXPECT_EQ(NSStringToStd(NSRangeException), "NSRangeException");
  EXPECT_EQ(NSStringToStd(NSInternalInconsistencyException), "NSInternalInconsistencyException");
}
