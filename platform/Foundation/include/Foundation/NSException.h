// NSException, the standard exception names, and exception handler frames.
//
// A raise is a non-local jump, never a C++ exception: -raise hands the
// exception to this thread's innermost handler frame, takes that frame off
// the chain and jumps back into it with the C run-time's longjmp (the
// msvcrt one on Windows). Frames skipped by the jump are abandoned: their
// C++ destructors do not run. Code that holds anything with a destructor
// (a lock guard, a container, a string, an autorelease pool) across a send
// that may raise catches with a frame of its own, cleans up, and raises the
// same exception again; code below Foundation uses objc/unwind.h instead.
#pragma once

#include <setjmp.h>

#include "Foundation/NSObject.h"
#include "objc/message.h"
#include "objc/unwind.h"

// Instance layout of NSException.
struct NSExceptionLayout : NSObjectLayout {
  id name;       // NSString, copied
  id reason;     // NSString, copied; may be nil
  id user_info;  // NSDictionary, retained; may be nil
};

// A handler frame: a record on the stack of the code that catches. Its
// first member is the saved jump state; the raise that jumps to it stores
// the exception object in it.
struct NSHandlerFrame {
  jmp_buf jumpState;
  NSHandlerFrame* next;    // the enclosing frame on this thread's chain
  id exception;            // set by the raise that jumped here
  objc_cleanup* cleanups;  // this thread's cleanup chain when the frame was added
  int locks;               // tracked locks this thread held when the frame was added
};

// Pushes frame on this thread's chain. Call the jump-state save (NS_SETJMP)
// right after it, in the same function.
FOUNDATION_EXPORT void _NSAddHandler(NSHandlerFrame* frame);
// Pops frame on the normal path. It must be this thread's innermost frame.
FOUNDATION_EXPORT void _NSRemoveHandler(NSHandlerFrame* frame);
// After a raise jumped to frame: the exception it raised.
FOUNDATION_EXPORT id _NSExceptionObjectFromHandler(NSHandlerFrame* frame);

// Saves the jump state: 0 on entry, non-zero when a raise jumps back. On
// Windows no frame address is given, so msvcrt's longjmp restores the
// registers without unwinding and skipped frames fare as they do on POSIX.
#if defined(_WIN32)
  #define NS_SETJMP(state) _setjmp((state), nullptr)
#else
  #define NS_SETJMP(state) _setjmp(state)
#endif

// The thread keeps the exception it raised last alive until it raises
// another (or ends). A handler that lets other exceptions be raised before
// it is done with its own, even ones caught further in, retains it first.

// The standard exception names (NSConstantString objects).
FOUNDATION_EXPORT extern id const NSInvalidArgumentException;
FOUNDATION_EXPORT extern id const NSRangeException;
FOUNDATION_EXPORT extern id const NSInternalInconsistencyException;
FOUNDATION_EXPORT extern id const NSGenericException;

// Creates an NSException with the given name and reason and raises it.
// Needs no autorelease pool.
[[noreturn]] FOUNDATION_EXPORT void NSRaise(const char* name, const char* reason);

// Handler frames for C++ callers:
//   NS_DURING  ...code that may raise...
//   NS_HANDLER ...localException is the raised NSException...
//   NS_ENDHANDLER
// The handler is left by falling through, returning, or raising again
// (msg<void>(localException, SELECTOR(raise))). The code between NS_DURING
// and NS_HANDLER leaves early only through NS_VALUERETURN or NS_VOIDRETURN,
// which take the frame off the chain first. Locals that this function
// changes between NS_DURING and a raise and reads in the handler must be
// volatile.
#define NS_DURING                          \
  {                                        \
    NSHandlerFrame _localHandler;          \
    _NSAddHandler(&_localHandler);         \
    if (NS_SETJMP(_localHandler.jumpState) == 0) {
#define NS_HANDLER                     \
  _NSRemoveHandler(&_localHandler);    \
  }                                    \
  else {                               \
    [[maybe_unused]] id const localException = _NSExceptionObjectFromHandler(&_localHandler);
#define NS_ENDHANDLER \
  }                   \
  }
#define NS_VALUERETURN(value, type)             \
  do {                                          \
    type _ns_returned_value = (value);          \
    _NSRemoveHandler(&_localHandler);           \
    return _ns_returned_value;                  \
  } while (0)
#define NS_VOIDRETURN                 \
  do {                                \
    _NSRemoveHandler(&_localHandler); \
    return;                           \
  } while (0)

#ifdef __cplusplus
// Runs body in a handler frame. If it raises, runs cleanup and raises the
// same exception again; cleanup must not raise. For framework code that
// holds something across a send that may raise.
template <class Body, class Cleanup>
void NSRunCleaningUpOnRaise(Body&& body, Cleanup&& cleanup) {
  NS_DURING
  body();
  NS_HANDLER
  cleanup();
  msg<void>(localException, SELECTOR(raise));
  NS_ENDHANDLER
}

// Runs body in a handler frame; the exception it raised, or nil. The
// exception stays alive until this thread raises again.
template <class Body>
id NSExceptionRaisedBy(Body&& body) {
  id raised = nil;
  NS_DURING
  body();
  NS_HANDLER
  raised = localException;
  NS_ENDHANDLER
  return raised;
}
#endif
