// NSException objects, this thread's chain of handler frames, raising (a
// jump to the innermost frame), the uncaught-exception handler, and the
// standard exception name constants.
#include "Foundation/NSException.h"

#include <cstdio>
#include <cstdlib>

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
  layout(self)->name = msg<id>(name, SELECTOR(copy));
  layout(self)->reason = msg<id>(reason, SELECTOR(copy));
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
objc_module_record NSException_record = {
    OBJC_MODULE_VERSION, "NSException", classes, 1, nullptr, 0, strings, 4};
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

// Keeps the exception this thread raised last alive after the jump, while
// its handler runs, and gives it up at the next raise or when the thread
// ends.
struct LastRaised {
  id exception = nil;
  void keep(id raised) {
    msg<id>(raised, SELECTOR(retain));
    id previous = exception;
    exception = raised;
    msg<void>(previous, SELECTOR(release));
  }
  // Takes over the caller's reference.
  void adopt(id raised) {
    id previous = exception;
    exception = raised;
    msg<void>(previous, SELECTOR(release));
  }
  ~LastRaised() { adopt(nil); }
};
thread_local LastRaised last_raised;

std::string text_of(id string) {
  const char* text = string != nil ? msg<const char*>(string, SELECTOR(UTF8String)) : nullptr;
  return text != nullptr ? text : "";
}

// No frame to catch it: say what it was and stop the process.
[[noreturn]] void uncaught(id exception) {
  std::fprintf(stderr, "*** Uncaught exception %s: %s\n", text_of(msg<id>(exception, SELECTOR(name))).c_str(),
               text_of(msg<id>(exception, SELECTOR(reason))).c_str());
  std::fflush(stderr);
  std::abort();
}

// Runs the cleanups of the frames being skipped, checks that no tracked
// lock stays held across the jump, and jumps to frame.
[[noreturn]] void jump_to(NSHandlerFrame* frame, id exception) {
  handler_top = frame->next;
  objc_cleanup_unwind_to(frame->cleanups);
  int held = objc_thread_locks_held();
  if (held != frame->locks) {
    std::fprintf(stderr, "*** raise of %s would leave %d lock(s) held: aborting\n",
                 text_of(msg<id>(exception, SELECTOR(name))).c_str(), held - frame->locks);
    std::abort();
  }
  frame->exception = exception;
  longjmp(frame->jumpState, 1);
}

[[noreturn]] void raise_kept(id exception) {
  NSHandlerFrame* frame = handler_top;
  if (frame == nullptr) uncaught(exception);
  jump_to(frame, exception);
}

void NSException_raise(id self, SEL) {
  last_raised.keep(self);
  raise_kept(self);
}

}  // namespace

}  // namespace foundation

void _NSAddHandler(NSHandlerFrame* frame) {
  frame->next = foundation::handler_top;
  frame->exception = nil;
  frame->cleanups = objc_cleanup_top();
  frame->locks = objc_thread_locks_held();
  foundation::handler_top = frame;
}

void _NSRemoveHandler(NSHandlerFrame* frame) {
  if (foundation::handler_top != frame) {
    std::fprintf(stderr, "*** _NSRemoveHandler: %p is not this thread's innermost handler frame\n",
                 static_cast<void*>(frame));
    std::abort();
  }
  foundation::handler_top = frame->next;
}

id _NSExceptionObjectFromHandler(NSHandlerFrame* frame) { return frame->exception; }

// Builds everything with owned references, so that raising needs no
// autorelease pool: the thread's last-raised slot takes over the only
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
  foundation::last_raised.adopt(e);
  foundation::raise_kept(e);
}
