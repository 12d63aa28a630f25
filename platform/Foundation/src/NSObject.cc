// The root class NSObject: allocation, reference counting, introspection,
// identity equality and the handler that turns an unrecognised selector
// into an NSInvalidArgumentException.
#include <atomic>
#include <cinttypes>
#include <climits>
#include <cstdio>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "foundation_internal.h"
#include "objc/fault.h"

namespace foundation {
namespace {

std::atomic_ref<int32_t> refs(id self) {
  return std::atomic_ref<int32_t>(static_cast<NSObjectLayout*>(self)->extra_refs);
}

// --- Class methods -------------------------------------------------------

id NSObject_alloc(id self, SEL) { return class_createInstance(reinterpret_cast<Class>(self), 0); }
id NSObject_allocWithZone(id self, SEL, void*) { return msg<id>(self, SELECTOR(alloc)); }
id NSObject_new(id self, SEL) { return msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init)); }
id NSObject_classClass(id self, SEL) { return self; }
Class NSObject_classSuperclass(id self, SEL) { return class_getSuperclass(reinterpret_cast<Class>(self)); }
void NSObject_poseAsClass(id self, SEL, Class replaced) {
  class_poseAs(reinterpret_cast<Class>(self), replaced);
}
void NSObject_initialize(id, SEL) {}
BOOL NSObject_instancesRespondToSelector(id self, SEL, SEL sel) {
  return class_respondsToSelector(reinterpret_cast<Class>(self), sel);
}
// Class objects live for the process: counting them would write into the
// class structure, so these do nothing.
id NSObject_classRetain(id self, SEL) { return self; }
void NSObject_classRelease(id, SEL) {}
id NSObject_classAutorelease(id self, SEL) { return self; }
NSUInteger NSObject_classRetainCount(id, SEL) { return UINT32_MAX; }
id NSObject_classCopyWithZone(id self, SEL, void*) { return self; }
id NSObject_classDescription(id self, SEL) {
  return make_string(class_getName(reinterpret_cast<Class>(self)));
}

// --- Instance methods ----------------------------------------------------

id NSObject_init(id self, SEL) { return self; }
id NSObject_retain(id self, SEL) {
  refs(self).fetch_add(1, std::memory_order_relaxed);
  return self;
}
void NSObject_release(id self, SEL) {
  if (refs(self).fetch_sub(1, std::memory_order_acq_rel) != 0) return;
#if CORVANE_FAULT_INJECTION
  // Deallocation cannot raise (objc/fault.h): the countdown waits.
  long held = objc_fault_hold();
  NSRunCleaningUpOnRaise([&] { msg<void>(self, SELECTOR(dealloc)); }, [&] { objc_fault_resume(held); });
  objc_fault_resume(held);
#else
  msg<void>(self, SELECTOR(dealloc));
#endif
}
NSUInteger NSObject_retainCount(id self, SEL) {
  return static_cast<NSUInteger>(refs(self).load(std::memory_order_relaxed)) + 1;
}
id NSObject_autorelease(id self, SEL) {
  autorelease_add(self);
  return self;
}
void NSObject_dealloc(id self, SEL) { object_dispose(self); }
Class NSObject_class(id self, SEL) { return object_getClass(self); }
Class NSObject_superclass(id self, SEL) { return class_getSuperclass(object_getClass(self)); }
id NSObject_copy(id self, SEL) { return msg<id>(self, SELECTOR(copyWithZone:), static_cast<void*>(nullptr)); }
id NSObject_mutableCopy(id self, SEL) {
  return msg<id>(self, SELECTOR(mutableCopyWithZone:), static_cast<void*>(nullptr));
}
BOOL NSObject_isKindOfClass(id self, SEL, Class cls) { return NSObjectIsKindOf(self, cls) ? YES : NO; }
BOOL NSObject_isMemberOfClass(id self, SEL, Class cls) { return object_getClass(self) == cls ? YES : NO; }
BOOL NSObject_respondsToSelector(id self, SEL, SEL sel) { return objc::responds_to(self->isa, sel); }
BOOL NSObject_isEqual(id self, SEL, id other) { return self == other ? YES : NO; }
NSUInteger NSObject_hash(id self, SEL) {
  auto bits = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(self));  // 32 bits wide on i686
  return static_cast<NSUInteger>(bits ^ (bits >> 32));
}
id NSObject_self(id self, SEL) { return self; }
id NSObject_description(id self, SEL) {
  char text[256];
  // Written out rather than %p, whose form differs between C run-times.
  std::snprintf(text, sizeof text, "<%s: 0x%" PRIxPTR ">", class_getName(object_getClass(self)),
                reinterpret_cast<uintptr_t>(self));
  return make_string(text);
}
id NSObject_performSelector(id self, SEL, SEL sel) { return msg<id>(self, sel); }
id NSObject_performSelectorWithObject(id self, SEL, SEL sel, id object) { return msg<id>(self, sel, object); }

// Raises for a message nothing implements. Never returns.
void raise_unrecognized(id receiver, SEL sel) {
  Class cls = object_getClass(receiver);
  bool is_class = class_isMetaClass(cls);
  char reason[512];
  std::snprintf(reason, sizeof reason, "%c[%s %s]: unrecognized selector sent to %s", is_class ? '+' : '-',
                class_getName(cls), sel_getName(sel), is_class ? "class" : "instance");
  NSRaise("NSInvalidArgumentException", reason);
}

// Installed while the library initialises, before anyone can send to it.
[[maybe_unused]] const bool unrecognized_handler_installed =
    (objc_setUnrecognizedSelectorHandler(&raise_unrecognized), true);

const objc_method_def class_methods[] = {
    {"alloc", objc_imp(&NSObject_alloc)},
    {"allocWithZone:", objc_imp(&NSObject_allocWithZone)},
    {"new", objc_imp(&NSObject_new)},
    {"class", objc_imp(&NSObject_classClass)},
    {"superclass", objc_imp(&NSObject_classSuperclass)},
    {"poseAsClass:", objc_imp(&NSObject_poseAsClass)},
    {"initialize", objc_imp(&NSObject_initialize)},
    {"instancesRespondToSelector:", objc_imp(&NSObject_instancesRespondToSelector)},
    {"retain", objc_imp(&NSObject_classRetain)},
    {"release", objc_imp(&NSObject_classRelease)},
    {"autorelease", objc_imp(&NSObject_classAutorelease)},
    {"retainCount", objc_imp(&NSObject_classRetainCount)},
    {"copyWithZone:", objc_imp(&NSObject_classCopyWithZone)},
    {"description", objc_imp(&NSObject_classDescription)},
};

const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSObject_init)},
    {"retain", objc_imp(&NSObject_retain)},
    {"release", objc_imp(&NSObject_release)},
    {"retainCount", objc_imp(&NSObject_retainCount)},
    {"autorelease", objc_imp(&NSObject_autorelease)},
    {"dealloc", objc_imp(&NSObject_dealloc)},
    {"class", objc_imp(&NSObject_class)},
    {"superclass", objc_imp(&NSObject_superclass)},
    {"copy", objc_imp(&NSObject_copy)},
    {"mutableCopy", objc_imp(&NSObject_mutableCopy)},
    {"isKindOfClass:", objc_imp(&NSObject_isKindOfClass)},
    {"isMemberOfClass:", objc_imp(&NSObject_isMemberOfClass)},
    {"respondsToSelector:", objc_imp(&NSObject_respondsToSelector)},
    {"isEqual:", objc_imp(&NSObject_isEqual)},
    {"hash", objc_imp(&NSObject_hash)},
    {"self", objc_imp(&NSObject_self)},
    {"description", objc_imp(&NSObject_description)},
    {"performSelector:", objc_imp(&NSObject_performSelector)},
    {"performSelector:withObject:", objc_imp(&NSObject_performSelectorWithObject)},
};

}  // namespace

objc_class_def NSObject_def = {
    "NSObject", nullptr, sizeof(NSObjectLayout), objc_methods(class_methods), objc_methods(instance_methods),
    Nil};

namespace {
objc_class_def* const classes[] = {&NSObject_def};
objc_module_record NSObject_record = objc_module("NSObject", classes);
OBJC_MODULE_RECORD(NSObject_record)
}  // namespace

}  // namespace foundation

bool NSObjectIsKindOf(id obj, Class cls) {
  if (obj == nil || cls == Nil) return false;
  for (Class c = object_getClass(obj); c != Nil; c = class_getSuperclass(c))
    if (c == cls) return true;
  return false;
}
