// NSException, the C++ exception that carries a raised NSException across
// frames and libraries, the standard exception names, and the handler-frame
// macros for C++ callers.
#pragma once

#include <exception>

#include "Foundation/NSObject.h"

// Instance layout of NSException.
struct NSExceptionLayout : NSObjectLayout {
  id name;       // NSString, copied
  id reason;     // NSString, copied; may be nil
  id user_info;  // NSDictionary, retained; may be nil
};

// What -raise throws: the raised NSException itself. The thrown object
// holds a reference of its own, taken before the throw and given up when
// the last copy of the C++ exception is destroyed, so the exception stays
// alive while it is being caught and handled. A catcher owns nothing and
// releases nothing; to keep the exception beyond its handler, retain it.
struct FOUNDATION_EXPORT NSRaisedException : std::exception {
  id exception;

  explicit NSRaisedException(id raised);
  NSRaisedException(const NSRaisedException& other);
  NSRaisedException& operator=(const NSRaisedException& other);
  ~NSRaisedException() override;
  // The exception's reason, for diagnostics.
  const char* what() const noexcept override;
};

// The standard exception names (NSConstantString objects).
FOUNDATION_EXPORT extern id const NSInvalidArgumentException;
FOUNDATION_EXPORT extern id const NSRangeException;
FOUNDATION_EXPORT extern id const NSInternalInconsistencyException;
FOUNDATION_EXPORT extern id const NSGenericException;

// Creates an NSException with the given name and reason and raises it.
[[noreturn]] FOUNDATION_EXPORT void NSRaise(const char* name, const char* reason);

// Handler frames for C++ callers:
//   NS_DURING  ...code that may raise...
//   NS_HANDLER ...localException is the raised NSException...
//   NS_ENDHANDLER
// The handler is left by falling through, returning, or raising again
// (msg<void>(localException, SELECTOR(raise))). Only NSExceptions are
// caught; other C++ exceptions pass through.
#define NS_DURING try {
#define NS_HANDLER                                        \
  }                                                       \
  catch (const NSRaisedException& ns_raised_exception_) { \
    [[maybe_unused]] id localException = ns_raised_exception_.exception;
#define NS_ENDHANDLER }
// Leaving an NS_DURING block early needs no bookkeeping with C++ frames.
#define NS_VALUERETURN(value, type) return (value)
#define NS_VOIDRETURN return
