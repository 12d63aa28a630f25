// NSNotification: an immutable name, sender and details dictionary.
#include "Foundation/NSNotification.h"

#include "Foundation/NSException.h"
#include "foundation_internal.h"

namespace foundation {
namespace {

NSNotificationLayout* layout(id self) { return static_cast<NSNotificationLayout*>(self); }

id NSNotification_notificationWithNameObjectUserInfo(id self, SEL, id name, id object, id user_info) {
  id n = msg<id>(self, SELECTOR(alloc));
  n = msg<id>(n, SELECTOR(initWithName:object:userInfo:), name, object, user_info);
  return msg<id>(n, SELECTOR(autorelease));
}
id NSNotification_notificationWithNameObject(id self, SEL, id name, id object) {
  return NSNotification_notificationWithNameObjectUserInfo(self, nullptr, name, object, nil);
}
id NSNotification_initWithNameObjectUserInfo(id self, SEL, id name, id object, id user_info) {
  if (name == nil) {
    msg<void>(self, SELECTOR(release));
    NSRaise("NSInvalidArgumentException", "-[NSNotification initWithName:object:userInfo:]: nil name");
  }
  NSRunReleasingOnRaise(self, [&] { layout(self)->name = msg<id>(name, SELECTOR(copy)); });
  layout(self)->object = msg<id>(object, SELECTOR(retain));
  layout(self)->user_info = msg<id>(user_info, SELECTOR(retain));
  return self;
}
void NSNotification_dealloc(id self, SEL);
id NSNotification_name(id self, SEL) { return layout(self)->name; }
id NSNotification_object(id self, SEL) { return layout(self)->object; }
id NSNotification_userInfo(id self, SEL) { return layout(self)->user_info; }

const objc_method_def class_methods[] = {
    {"notificationWithName:object:userInfo:", objc_imp(&NSNotification_notificationWithNameObjectUserInfo)},
    {"notificationWithName:object:", objc_imp(&NSNotification_notificationWithNameObject)},
};
const objc_method_def instance_methods[] = {
    {"initWithName:object:userInfo:", objc_imp(&NSNotification_initWithNameObjectUserInfo)},
    {"dealloc", objc_imp(&NSNotification_dealloc)},
    {"name", objc_imp(&NSNotification_name)},
    {"object", objc_imp(&NSNotification_object)},
    {"userInfo", objc_imp(&NSNotification_userInfo)},
};

objc_class_def NSNotification_def = {"NSNotification",
                                     "NSObject",
                                     sizeof(NSNotificationLayout),
                                     objc_methods(class_methods),
                                     objc_methods(instance_methods),
                                     Nil};

void NSNotification_dealloc(id self, SEL) {
  msg<void>(layout(self)->name, SELECTOR(release));
  msg<void>(layout(self)->object, SELECTOR(release));
  msg<void>(layout(self)->user_info, SELECTOR(release));
  msgSuper<void>(objc_super_of(self, NSNotification_def), SELECTOR(dealloc));
}

objc_class_def* const classes[] = {&NSNotification_def};
objc_module_record NSNotification_record = objc_module("NSNotification", classes);
OBJC_MODULE_RECORD(NSNotification_record)

}  // namespace
}  // namespace foundation
