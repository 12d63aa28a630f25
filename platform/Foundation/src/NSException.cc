// NSException objects, this thread's chain of handler frames, raising (a
// jump to the innermost frame), the uncaught-exception handler, and the
// standard exception name constants.
#include "Foundation/NSException.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Foundation/NSString.h"
#include "foundation_internal.h"

namespace foundation {
namespace {

objc_constant_string invalid_argument = objc_string("NSInvalidArgumentException");
objc_constant_string range = objc_string("NSRangeException");
objc_constant_string internal_inconsistency = objc_string("NSInternalInconsistencyException");
objc_constant_string generic = objc_string("NSGenericException");

NSExceptionLayout* layout(id self) { return static_cast<NSExceptionLayout*>(self); }

id NSException_exceptionWithNameReasonUserInfo(id self, SEL, id name, id reason, id user_info) {
  id e = msg<id>(self, SELECTOR(alloc));
  e = msg<id>(e, SELECTOR(initWithName:reason:userInfo:), name, reason, user_info);
  return msg<id>(e, SELECTOR(autorelease));
}
id NSException_initWithNameReasonUserInfo(id self, SEL, id name, id reason, id user_info) {
  NSRunReleasingOnRaise(self, [&] {
    layout(self)->name = msg<id>(name, SELECTOR(copy));
    layout(self)->reason = msg<id>(reason, SELECTOR(copy));
  });
  layout(self)->user_info = msg<id>(user_info, SELECTOR(retain));
  return self;
}
void NSException_dealloc(id self, SEL) {
  msg<void>(layout(self)->name, SELECTOR(release));
  msg<void>(layout(self)->reason, SELECTOR(release));
  msg<void>(layout(self)->user_info, SELECTOR(release));
  msgSuper<void>(objc_super_of(self, NSException_def), SELECTOR(dealloc));
}
id NSException_name(id self, SEL) { return layout(self)->name; }
id NSException_reason(id self, SEL) { return layout(self)->reason; }
id NSException_userInfo(id self, SEL) { return layout(self)->user_info; }
void NSException_raise(id self, SEL);
id NSException_description(id self, SEL) {
  return layout(self)->reason != nil ? layout(self)->reason : layout(self)->name;
}

const objc_method_def class_methods[] = {
    {"exceptionWithName:reason:userInfo:", objc_imp(&NSException_exceptionWithNameReasonUserInfo)},
};
const objc_method_def instance_methods[] = {
    {"initWithName:reason:userInfo:", objc_imp(&NSException_initWithNameReasonUserInfo)},
    {"dealloc", objc_imp(&NSException_dealloc)},
    {"name", objc_imp(&NSException_name)},
    {"reason", objc_imp(&NSException_reason)},
    {"userInfo", objc_imp(&NSException_userInfo)},
    {"raise", objc_imp(&NSException_raise)},
    {"description", objc_imp(&NSException_description)},
};

}  // namespace

objc_class_def NSException_def = {"NSException",
                                  "NSObject",
                                  sizeof(NSExceptionLayout),
                                  objc_methods(class_methods),
                                  objc_methods(instance_methods),
                                  Nil};

namespace {
objc_class_def* const classes[] = {&NSException_def};
objc_constant_string* const strings[] = {&invalid_argument, &range, &internal_inconsistency, &generic};
objc_module_record NSException_record = objc_module("NSException", classes, nullptr, strings);
OBJC_MODULE_RECORD(NSException_record)
}  // namespace

}  // namespace foundation

id const NSInvalidArgumentException = reinterpret_cast<id>(&foundation::invalid_argument);
id const NSRangeException = reinterpret_cast<id>(&foundation::range);
id const NSInternalInconsistencyException = reinterpret_cast<id>(&foundation::internal_inconsistency);
id const NSGenericException = reinterpret_cast<id>(&foundation::generic);

namespace foundation {
namespace {

// This thread's innermost handler frame. Touched only by its thread.
OBJC_FAST_TLS thread_local NSHandlerFrame* handler_top = nullptr;

// An exception a handler caught, held while that handler can reach it
// (NSException.h, "Lifetime of a caught exception").
struct Caught {
  id exception;           // retained
  NSHandlerFrame* frame;  // the frame the raise jumped to
  unsigned depth;         // depth of its enclosing frame: the handler's region
};

// This thread's caught exceptions, ordered by depth. Plain data, so that
// the checks on the normal path (count != 0) cost one load; the
// exit-time work is registered by arm_thread_end the first time the
// thread adds an outermost frame.
struct CaughtStack {
  Caught* entries;
  uint32_t count;
  uint32_t capacity;
  bool end_armed;
};
OBJC_FAST_TLS thread_local CaughtStack caught = {nullptr, 0, 0, false};

// Pops and releases the entries from index on, newest first. Each is off
// the stack before its release, so a dealloc that runs finds the stack
// consistent.
void release_from(uint32_t index) {
  while (caught.count > index) {
    id exception = caught.entries[--caught.count].exception;
    msg<void>(exception, SELECTOR(release));
  }
}

// Rule (a): the chain is down to depth frames.
inline void chain_popped_to(unsigned depth) {
  if (caught.count == 0) [[likely]]
    return;
  uint32_t keep = caught.count;
  while (keep > 0 && caught.entries[keep - 1].depth > depth) --keep;
  release_from(keep);
}

// Rules (b) and (c): frame's handler is over.
void handler_over(NSHandlerFrame* frame) {
  for (uint32_t i = caught.count; i > 0; --i) {
    if (caught.entries[i - 1].frame == frame) {
      release_from(i - 1);
      return;
    }
  }
}

// Takes over one reference to exception, caught by frame.
void push_caught(id exception, NSHandlerFrame* frame) {
  if (caught.count == caught.capacity) {
    uint32_t capacity = caught.capacity == 0 ? 8 : caught.capacity * 2;
    void* grown = std::realloc(caught.entries, capacity * sizeof(Caught));
    if (grown == nullptr) objc_out_of_memory();
    caught.entries = static_cast<Caught*>(grown);
    caught.capacity = capacity;
  }
  caught.entries[caught.count++] = {exception, frame, frame->depth - 1};
}

// Rule (d): when the thread ends, its chain is dropped first (the frames
// on it, if any, lie in a stack that is gone), then what it held is
// released; a raise from a dealloc there is uncaught.
struct ThreadEnd {
  ~ThreadEnd() {
    handler_top = nullptr;
    release_from(0);
    std::free(caught.entries);
    caught = {nullptr, 0, 0, true};
  }
};
thread_local ThreadEnd thread_end;

[[gnu::noinline]] void arm_thread_end() {
  caught.end_armed = true;
  static_cast<void>(&thread_end);  // constructs it, registering its destructor
}

// The text an NSString-valued accessor of exception answers, or what went
// wrong: the accessor runs in a frame of its own, so a raise from it
// cannot reach the caller's handlers or recurse into the report.
std::string text_of(id exception, SEL accessor) {
  std::string text;
  bool returned = NSRunProtected(
      [&] {
        id string = msg<id>(exception, accessor);
        const char* bytes = string != nil ? msg<const char*>(string, SELECTOR(UTF8String)) : nullptr;
        text = bytes != nullptr ? bytes : "";
      },
      [](id) {});
  return returned ? text : std::string("(raised while asked for its ") + sel_getName(accessor) + ")";
}

// No frame to catch it: say what it was and stop the process.
[[noreturn]] void uncaught(id exception) {
  std::string name = text_of(exception, SELECTOR(name)), reason = text_of(exception, SELECTOR(reason));
  std::fprintf(stderr, "*** Uncaught exception %s: %s\n", name.c_str(), reason.c_str());
  std::fflush(stderr);
  std::abort();
}

// Runs the cleanups of the frames being skipped, checks that no tracked
// lock stays held across the jump, holds the exception for frame's handler
// and jumps to frame. owned: the caller's reference to exception is
// handed over.
[[noreturn]] void raise_to_innermost(id exception, bool owned) {
  NSHandlerFrame* frame = handler_top;
  if (frame == nullptr) uncaught(exception);
  handler_top = frame->next;
  objc_cleanup_unwind_to(frame->cleanups);
  int held = objc_thread_locks_held();
  if (held != frame->locks) {
    std::fprintf(stderr, "*** raise of %s would leave %d lock(s) held: aborting\n",
                 text_of(exception, SELECTOR(name)).c_str(), held - frame->locks);
    std::abort();
  }
  if (!owned) msg<id>(exception, SELECTOR(retain));  // before the entries that may hold it go
  chain_popped_to(frame->depth - 1);
  push_caught(exception, frame);
  frame->exception = exception;
  longjmp(frame->jumpState, 1);
}

void NSException_raise(id self, SEL) { raise_to_innermost(self, false); }

}  // namespace

}  // namespace foundation

void _NSAddHandler(NSHandlerFrame* frame) {
  using namespace foundation;
  NSHandlerFrame* next = handler_top;
  frame->next = next;
  frame->exception = nil;
  frame->cleanups = objc_cleanup_top();
  frame->locks = objc_thread_locks_held();
  frame->depth = next != nullptr ? next->depth + 1 : 1;
  if (caught.count != 0) [[unlikely]]
    handler_over(frame);  // rule (c): frame's storage held an earlier frame
  if (!caught.end_armed) [[unlikely]]
    arm_thread_end();
  handler_top = frame;
}

void _NSRemoveHandler(NSHandlerFrame* frame) {
  using namespace foundation;
  if (handler_top != frame) {
    std::fprintf(stderr, "*** _NSRemoveHandler: %p is not this thread's innermost handler frame\n",
                 static_cast<void*>(frame));
    std::abort();
  }
  handler_top = frame->next;
  chain_popped_to(frame->depth - 1);
}

id _NSExceptionObjectFromHandler(NSHandlerFrame* frame) { return frame->exception; }

void _NSHandlerDone(NSHandlerFrame* frame) {
  if (foundation::caught.count != 0) foundation::handler_over(frame);
}

BOOL _NSRunProtected(void (*body)(void*), void (*handler)(void*, id), void* context) {
  NSHandlerFrame frame;
  _NSAddHandler(&frame);
  if (NS_SETJMP(frame.jumpState) == 0) {
    body(context);
    _NSRemoveHandler(&frame);
    return YES;
  }
  // body, handler and context are not changed after the jump state was
  // saved, so they keep their values across the jump.
  handler(context, frame.exception);
  _NSHandlerDone(&frame);
  // Only a raise jumps to the handler, and it took frame off the chain first.
  return NO;  // NOLINT(clang-analyzer-core.StackAddressEscape)
}

// Builds everything with owned references, so that raising needs no
// autorelease pool: the caught-exception stack takes over the only
// reference to the exception.
void NSRaise(const char* name, const char* reason) {
  auto owned_string = [](const char* text) -> id {
    if (text == nullptr) return nil;
    id s = msg<id>(reinterpret_cast<id>(foundation::NSString_def.cls), SELECTOR(alloc));
    return msg<id>(s, SELECTOR(initWithUTF8String:), text);
  };
  id name_string = owned_string(name != nullptr ? name : "NSGenericException");
  id reason_string = owned_string(reason);
  id e = msg<id>(reinterpret_cast<id>(foundation::NSException_def.cls), SELECTOR(alloc));
  e = msg<id>(e, SELECTOR(initWithName:reason:userInfo:), name_string, reason_string, nil);
  msg<void>(name_string, SELECTOR(release));
  msg<void>(reason_string, SELECTOR(release));
  foundation::raise_to_innermost(e, true);
}
