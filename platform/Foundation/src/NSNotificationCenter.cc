// NSNotificationCenter: registrations of (observer, selector, name, sender)
// and synchronous delivery in registration order. A post works on a
// snapshot of the registrations taken when it starts, so an observer added
// during a post is not called for it; each registration carries an active
// flag that removal clears, so an observer removed during a post (say,
// deallocated by an earlier observer) is not called afterwards. Observers
// and senders are not retained; registered names are copied.
#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "Foundation/NSException.h"
#include "Foundation/NSNotification.h"
#include "foundation_internal.h"

namespace foundation {
namespace {

struct Registration {
  id observer;
  SEL selector;
  id name;    // owned copy; nil matches every name
  id object;  // not retained; nil matches every sender
  std::atomic<bool> active{true};

  ~Registration() { msg<void>(name, SELECTOR(release)); }
};

struct Observers {
  std::mutex lock;  // guards list; never held while delivering
  std::vector<std::shared_ptr<Registration>> list;
};

Observers& observers(id self) {
  return *static_cast<Observers*>(static_cast<NSNotificationCenterLayout*>(self)->observers);
}

id NSNotificationCenter_init(id self, SEL) {
  static_cast<NSNotificationCenterLayout*>(self)->observers = new Observers;
  return self;
}

void NSNotificationCenter_dealloc(id self, SEL);

id NSNotificationCenter_defaultCenter(id, SEL);

void NSNotificationCenter_addObserverSelectorNameObject(id self, SEL, id observer, SEL selector, id name,
                                                        id object) {
  if (observer == nil || selector == nullptr) {
    NSRaise("NSInvalidArgumentException",
            "-[NSNotificationCenter addObserver:selector:name:object:]: nil observer or selector");
  }
  auto registration = std::make_shared<Registration>();
  registration->observer = observer;
  registration->selector = selector;
  registration->name = msg<id>(name, SELECTOR(copy));
  registration->object = object;
  Observers& all = observers(self);
  std::lock_guard guard(all.lock);
  all.list.push_back(std::move(registration));
}

// Removes the observer's registrations that match name and object; nil
// for either matches every registration. Takes the list lock; the matching
// sends -isEqual: to registered names only.
void NSNotificationCenter_removeObserverNameObject(id self, SEL, id observer, id name, id object) {
  if (observer == nil) return;
  std::vector<std::shared_ptr<Registration>> removed;
  Observers& all = observers(self);
  {
    std::lock_guard guard(all.lock);
    std::vector<std::shared_ptr<Registration>> kept;
    for (auto& r : all.list) {
      bool match = r->observer == observer && (object == nil || r->object == object) &&
                   (name == nil || (r->name != nil && msg<BOOL>(r->name, SELECTOR(isEqual:), name) != NO));
      if (match) r->active.store(false);
      (match ? removed : kept).push_back(std::move(r));
    }
    all.list.swap(kept);
  }
  // removed goes out of scope here, outside the lock: dropping the last
  // reference releases the registered name.
}
void NSNotificationCenter_removeObserver(id self, SEL, id observer) {
  NSNotificationCenter_removeObserverNameObject(self, nullptr, observer, nil, nil);
}

bool matches(const Registration& r, id name, id object) {
  if (r.object != nil && r.object != object) return false;
  return r.name == nil || msg<BOOL>(r.name, SELECTOR(isEqual:), name) != NO;
}

void NSNotificationCenter_postNotification(id self, SEL, id notification) {
  if (notification == nil)
    NSRaise("NSInvalidArgumentException", "-[NSNotificationCenter postNotification:]: nil notification");
  id name = msg<id>(notification, SELECTOR(name));
  id object = msg<id>(notification, SELECTOR(object));
  std::vector<std::shared_ptr<Registration>> snapshot;
  {
    Observers& all = observers(self);
    std::lock_guard guard(all.lock);
    snapshot = all.list;
  }
  for (const auto& r : snapshot) {
    if (r->active.load() && matches(*r, name, object)) msg<void>(r->observer, r->selector, notification);
  }
}

// Posts a notification made here and releases it afterwards, also when an
// observer raises; needs no autorelease pool.
void post_new(id self, id name, id object, id user_info) {
  Class cls = objc_getClass("NSNotification");
  id notification = msg<id>(msg<id>(reinterpret_cast<id>(cls), SELECTOR(alloc)),
                            SELECTOR(initWithName:object:userInfo:), name, object, user_info);
  struct Release {
    id obj;
    ~Release() { msg<void>(obj, SELECTOR(release)); }
  } release{notification};
  msg<void>(self, SELECTOR(postNotification:), notification);
}
void NSNotificationCenter_postNotificationNameObject(id self, SEL, id name, id object) {
  post_new(self, name, object, nil);
}
void NSNotificationCenter_postNotificationNameObjectUserInfo(id self, SEL, id name, id object, id user_info) {
  post_new(self, name, object, user_info);
}

const objc_method_def class_methods[] = {
    {"defaultCenter", objc_imp(&NSNotificationCenter_defaultCenter)},
};
const objc_method_def instance_methods[] = {
    {"init", objc_imp(&NSNotificationCenter_init)},
    {"dealloc", objc_imp(&NSNotificationCenter_dealloc)},
    {"addObserver:selector:name:object:", objc_imp(&NSNotificationCenter_addObserverSelectorNameObject)},
    {"removeObserver:", objc_imp(&NSNotificationCenter_removeObserver)},
    {"removeObserver:name:object:", objc_imp(&NSNotificationCenter_removeObserverNameObject)},
    {"postNotification:", objc_imp(&NSNotificationCenter_postNotification)},
    {"postNotificationName:object:", objc_imp(&NSNotificationCenter_postNotificationNameObject)},
    {"postNotificationName:object:userInfo:",
     objc_imp(&NSNotificationCenter_postNotificationNameObjectUserInfo)},
};

objc_class_def NSNotificationCenter_def = {"NSNotificationCenter",
                                           "NSObject",
                                           sizeof(NSNotificationCenterLayout),
                                           objc_methods(class_methods),
                                           objc_methods(instance_methods),
                                           Nil};

void NSNotificationCenter_dealloc(id self, SEL) {
  auto* layout = static_cast<NSNotificationCenterLayout*>(self);
  delete static_cast<Observers*>(layout->observers);
  layout->observers = nullptr;
  msgSuper<void>(objc_super_of(self, NSNotificationCenter_def), SELECTOR(dealloc));
}

// One centre per process, created on first use and never deallocated.
id NSNotificationCenter_defaultCenter(id, SEL) {
  static id center =
      msg<id>(msg<id>(reinterpret_cast<id>(NSNotificationCenter_def.cls), SELECTOR(alloc)), SELECTOR(init));
  return center;
}

objc_class_def* const classes[] = {&NSNotificationCenter_def};
objc_module_record NSNotificationCenter_record = {
    OBJC_MODULE_VERSION, "NSNotificationCenter", classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(NSNotificationCenter_record)

}  // namespace
}  // namespace foundation

id NSDefaultNotificationCenter() {
  return msg<id>(reinterpret_cast<id>(objc_getClass("NSNotificationCenter")), SELECTOR(defaultCenter));
}
