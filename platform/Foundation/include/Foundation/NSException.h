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
  unsigned depth;          // frames on the chain with this one; 1 for the outermost
};

// Pushes frame on this thread's chain. Call the jump-state save (NS_SETJMP)
// right after it, in the same function.
FOUNDATION_EXPORT void _NSAddHandler(NSHandlerFrame* frame);
// Pops frame on the normal path. It must be this thread's innermost frame.
FOUNDATION_EXPORT void _NSRemoveHandler(NSHandlerFrame* frame);
// After a raise jumped to frame: the exception it raised.
FOUNDATION_EXPORT id _NSExceptionObjectFromHandler(NSHandlerFrame* frame);
// The handler of frame is done with its exception: the thread stops
// holding it (see "Lifetime of a caught exception" below). NS_HANDLER and
// NSRunProtected call it; code that catches with its own frame may.
FOUNDATION_EXPORT void _NSHandlerDone(NSHandlerFrame* frame);

// Runs body(context) in a handler frame of its own and answers YES. If body
// raises, runs handler(context, exception) instead of returning there, and
// answers NO once handler returns; handler may raise, the same exception or
// another. The one place where framework code saves the jump state:
// NSRunProtected, NSRunCleaningUpOnRaise and NSExceptionRaisedBy are built
// on it. Neither callback may let a C++ exception out.
FOUNDATION_EXPORT BOOL _NSRunProtected(void (*body)(void*), void (*handler)(void*, id), void* context);

// Saves the jump state: 0 on entry, non-zero when a raise jumps back. On
// Windows no frame address is given, so msvcrt's longjmp restores the
// registers without unwinding and skipped frames fare as they do on POSIX.
#if defined(_WIN32)
#  define NS_SETJMP(state) _setjmp((state), nullptr)
#else
#  define NS_SETJMP(state) _setjmp(state)
#endif

// Lifetime of a caught exception. A handler never has to retain what it
// caught: each thread keeps a stack of the exceptions its handlers caught,
// each held (retained) for as long as its handler can still reach it, even
// while the handler runs code that raises and catches others. The raise
// that jumps to frame F pushes {exception, F, depth of F's enclosing frame
// P}; the handler runs in P's protected region. An entry is released when
//   (a) the chain is popped below P, by _NSRemoveHandler or by a raise
//       that jumps to P or further out: the handler was inside P's region,
//       which is over. A handler that raises again ends this way;
//   (b) its handler says it is done (_NSHandlerDone(F)): NS_HANDLER's
//       block when it is left by falling through or by return, and
//       NSRunProtected when the handler callback returns. Entries pushed
//       after it, by handlers nested inside it, go with it;
//   (c) a frame is added at F's address: F's storage is in use again, so
//       its handler is over (a top-level loop that catches with a frame
//       of its own and never calls _NSHandlerDone holds one entry);
//   (d) the thread ends.
// Entries are ordered by depth, so (a) pops from the back. A raise retains
// the new exception before it releases old entries, so raising the caught
// object again is safe. An exception's dealloc must not raise.
//
// Code that catches with a frame of its own and keeps the exception past
// its handler's end (past its frame's scope, or after _NSHandlerDone)
// retains it. A thread that ends with frames still on its chain drops
// them: a raise from the thread's exit-time cleanups is uncaught.

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
// volatile. Framework code uses NSRunProtected instead.
#ifdef __cplusplus
// Ends a handler (rule (b) above) when its block is left normally.
struct _NSHandlerScope {
  NSHandlerFrame* frame;
  ~_NSHandlerScope() { _NSHandlerDone(frame); }
};
#endif
#define NS_DURING                  \
  {                                \
    NSHandlerFrame _localHandler;  \
    _NSAddHandler(&_localHandler); \
    if (NS_SETJMP(_localHandler.jumpState) == 0) {
#define NS_HANDLER                                      \
  _NSRemoveHandler(&_localHandler);                     \
  }                                                     \
  else {                                                \
    _NSHandlerScope _localHandlerScope{&_localHandler}; \
    [[maybe_unused]] id const localException = _NSExceptionObjectFromHandler(&_localHandler);
#define NS_ENDHANDLER \
  }                   \
  }
#define NS_VALUERETURN(value, type)    \
  do {                                 \
    type _ns_returned_value = (value); \
    _NSRemoveHandler(&_localHandler);  \
    return _ns_returned_value;         \
  } while (0)
#define NS_VOIDRETURN                 \
  do {                                \
    _NSRemoveHandler(&_localHandler); \
    return;                           \
  } while (0)

#ifdef __cplusplus
// Runs body() in a handler frame; if it raises, runs handler(exception)
// with the exception held until handler returns (or raises). Answers
// whether body returned normally. body's and handler's frames are
// separate calls, so locals they share by reference need not be volatile.
template <class Body, class Handler>
bool NSRunProtected(Body&& body, Handler&& handler) {
  struct Context {
    Body& body;
    Handler& handler;
  } context{body, handler};
  return _NSRunProtected([](void* c) noexcept { static_cast<Context*>(c)->body(); },
                         [](void* c, id e) noexcept { static_cast<Context*>(c)->handler(e); },
                         &context) != NO;
}

// Runs body in a handler frame. If it raises, runs cleanup and raises the
// same exception again; cleanup may raise and catch exceptions of its own.
// For framework code that holds something across a send that may raise.
template <class Body, class Cleanup>
void NSRunCleaningUpOnRaise(Body&& body, Cleanup&& cleanup) {
  NSRunProtected(body, [&](id exception) {
    cleanup();
    msg<void>(exception, SELECTOR(raise));
  });
}

// An initializer that raises has released its receiver, so that the
// object its caller allocated is not left behind. Runs an initializer's
// own steps (those after its inherited init returned): if they raise,
// self is released and the raise goes on.
template <class Body>
void NSRunReleasingOnRaise(id self, Body&& body) {
  NSRunCleaningUpOnRaise(body, [&] { msg<void>(self, SELECTOR(release)); });
}

// Runs body in a handler frame; the exception it raised, retained for the
// caller, who releases it; nil if it returned.
template <class Body>
id NSExceptionRaisedBy(Body&& body) {
  id raised = nil;
  NSRunProtected(body, [&](id exception) { raised = msg<id>(exception, SELECTOR(retain)); });
  return raised;
}
#endif
