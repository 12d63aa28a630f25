// Sends initialize to a class before its first message: superclasses
// first, once per class. A class that does not implement initialize
// receives its superclass's, as any inherited class method.
#include <thread>

#include "runtime_internal.h"

namespace {

// Serialises initialisation. Recursive so that a class's initialize can
// message classes that are not initialised yet, and itself.
std::recursive_mutex& initialize_lock() {
  static auto* lock = new std::recursive_mutex;
  return *lock;
}

// Classes whose initialize is running on some thread. Guarded by
// initialize_lock.
std::vector<Class>& in_progress() {
  static auto* classes = new std::vector<Class>;
  return *classes;
}

bool is_initialized(Class cls) {
  return (cls->flags.load(std::memory_order_acquire) & OBJC_CLASS_INITIALIZED) != 0;
}

}  // namespace

namespace objc::rt {

void ensure_initialized(Class cls) {
  if (cls == nullptr || is_initialized(cls)) return;
  ensure_initialized(cls->superclass);

  std::lock_guard guard(initialize_lock());
  if (is_initialized(cls)) return;
  auto& running = in_progress();
  for (Class c : running)
    if (c == cls) return;  // a message sent from this class's own initialize
  running.push_back(cls);

  IMP imp;
  {
    std::lock_guard table_guard(runtime_lock());
    imp = find_method(cls->isa, selector_for_initialize());
  }
  if (imp != nullptr) {
    try {
      reinterpret_cast<void (*)(id, SEL)>(imp)(cls, selector_for_initialize());
    } catch (...) {
      std::erase(running, cls);
      throw;
    }
  }
  std::erase(running, cls);
  cls->flags.fetch_or(OBJC_CLASS_INITIALIZED, std::memory_order_release);
}

}  // namespace objc::rt
