// NSNotificationCenter: registrations of (observer, selector, name, sender)
// and synchronous delivery in registration order. A post works on a
// snapshot of the registrations taken when it starts, so an observer added
// during a post is not called for it; each registration carries an active
// flag that removal clears, so an observer removed during a post (say,
// deallocated by an earlier observer) is not called afterwards. Observers
// and senders are not retained; registered names are copied. An observer
// that raises ends the post: the raise goes on to the poster's handler,
// with the centre's lock free and the snapshot freed.
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

  // release cannot raise (a dealloc may not; objc/fault.h), so a
  // destructor may send it.
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
  id copied_name = msg<id>(name, SELECTOR(copy));  // may raise: nothing is made yet
  auto registration = std::make_shared<Registration>();
  registration->observer = observer;
  registration->selector = selector;
  registration->name = copied_name;
  registration->object = object;
  Observers& all = observers(self);
  std::lock_guard guard(all.lock);
  all.list.push_back(std::move(registration));
}

// Removes the observer's registrations that match name and object; nil
// for either matches every registration. The names are compared with
// -isEqual: outside the list lock, before anything changes, since that
// may raise; registrations added meanwhile are left alone.
void NSNotificationCenter_removeObserverNameObject(id self, SEL, id observer, id name, id object) {
  if (observer == nil) return;
  std::vector<std::shared_ptr<Registration>> removed;
  Observers& all = observers(self);
  {
    std::lock_guard guard(all.lock);
    for (const auto& r : all.list)
      if (r->observer == observer && (object == nil || r->object == object)) removed.push_back(r);
  }
  if (name != nil) {
    NSRunCleaningUpOnRaise(
        [&] {
          std::erase_if(removed, [name](const std::shared_ptr<Registration>& r) {
            return r->name == nil || msg<BOOL>(r->name, SELECTOR(isEqual:), name) == NO;
          });
        },
        [&] { discard(removed); });
  }
  if (removed.empty()) return;
  {
    std::lock_guard guard(all.lock);
    std::erase_if(all.list, [&](const std::shared_ptr<Registration>& r) {
      for (const auto& gone : removed)
        if (gone == r) return true;
      return false;
    });
    for (const auto& r : removed) r->active.store(false);
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
  NSRunCleaningUpOnRaise(
      [&] {
        for (const auto& r : snapshot) {
          if (r->active.load() && matches(*r, name, object))
            msg<void>(r->observer, r->selector, notification);
        }
      },
      [&] { discard(snapshot); });
}

// Posts a notification made here and releases it afterwards, also when an
// observer raises; needs no autorelease pool.
void post_new(id self, id name, id object, id user_info) {
  Class cls = objc_getClass("NSNotification");
  id notification = msg<id>(msg<id>(reinterpret_cast<id>(cls), SELECTOR(alloc)),
                            SELECTOR(initWithName:object:userInfo:), name, object, user_info);
  NSRunCleaningUpOnRaise([&] { msg<void>(self, SELECTOR(postNotification:), notification); },
                         [&] { msg<void>(notification, SELECTOR(release)); });
  msg<void>(notification, SELECTOR(release));
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
// Not a function-local static: its guard would stay taken if creating the
// centre raised. Threads that race both create one, and the loser's goes.
std::atomic<id> default_center{nil};
id NSNotificationCenter_defaultCenter(id, SEL) {
  if (id center = default_center.load(std::memory_order_acquire)) return center;
  id made =
      msg<id>(msg<id>(reinterpret_cast<id>(NSNotificationCenter_def.cls), SELECTOR(alloc)), SELECTOR(init));
  id expected = nil;
  if (default_center.compare_exchange_strong(expected, made, std::memory_order_acq_rel)) return made;
  msg<void>(made, SELECTOR(release));
  return expected;
}

objc_class_def* const classes[] = {&NSNotificationCenter_def};
objc_module_record NSNotificationCenter_record = objc_module("NSNotificationCenter", classes);
OBJC_MODULE_RECORD(NSNotificationCenter_record)

}  // namespace
}  // namespace foundation

id NSDefaultNotificationCenter() {
  return msg<id>(reinterpret_cast<id>(objc_getClass("NSNotificationCenter")), SELECTOR(defaultCenter));
}
