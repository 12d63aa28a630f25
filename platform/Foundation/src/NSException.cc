// NSException objects, raising them as NSRaisedException, and the standard
// exception name constants.
#include "Foundation/NSException.h"

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
void NSException_raise(id self, SEL) { throw NSRaisedException(self); }
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

NSRaisedException::NSRaisedException(id raised) : exception(msg<id>(raised, SELECTOR(retain))) {}
NSRaisedException::NSRaisedException(const NSRaisedException& other)
    : std::exception(other), exception(msg<id>(other.exception, SELECTOR(retain))) {}
NSRaisedException& NSRaisedException::operator=(const NSRaisedException& other) {
  id kept = msg<id>(other.exception, SELECTOR(retain));
  msg<void>(exception, SELECTOR(release));
  exception = kept;
  return *this;
}
NSRaisedException::~NSRaisedException() { msg<void>(exception, SELECTOR(release)); }
const char* NSRaisedException::what() const noexcept {
  id reason = msg<id>(exception, SELECTOR(reason));
  return reason != nil ? msg<const char*>(reason, SELECTOR(UTF8String)) : "NSException";
}

// Builds everything with owned references, so that raising needs no
// autorelease pool: the thrown NSRaisedException ends up holding the only
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
  NSRaisedException raised(e);
  msg<void>(e, SELECTOR(release));
  throw raised;
}
