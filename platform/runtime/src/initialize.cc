// Sends initialize to a class before its first message: superclasses
// first, once per class. A class that does not implement initialize
// receives its superclass's, as any inherited class method.
#include <algorithm>
#include <condition_variable>
#include <thread>

#include "objc/unwind.h"
#include "runtime_internal.h"

namespace {

// A class whose initialize is running, and the thread running it.
struct Running {
  Class cls;
  std::thread::id thread;
};

// Guards in_progress and the wake-up below. Held only to claim a class or
// to mark it done, never while initialize runs: initialize is arbitrary
// code that may take locks of its own, and a caller may send a class its
// first message while holding one of those. Nothing under it sends a
// message, so no raise can leave it held, and it stays a plain mutex that
// the condition variable can wait on. Classes are initialised in
// parallel on different threads; a thread waits only for the very class it
// is about to message.
std::mutex& initialize_lock() {
  static auto* lock = new std::mutex;
  return *lock;
}

// Signalled, under initialize_lock, whenever a class leaves in_progress.
std::condition_variable& initialize_done() {
  static auto* done = new std::condition_variable;
  return *done;
}

// Guarded by initialize_lock.
std::vector<Running>& in_progress() {
  static auto* running = new std::vector<Running>;
  return *running;
}

// Removes cls from in_progress, marking it initialised if its initialize
// returned, and wakes the threads waiting for it. Expects initialize_lock
// held.
void finish(Class cls, bool initialized) {
  std::erase_if(in_progress(), [cls](const Running& r) { return r.cls == cls; });
  if (initialized) cls->flags.fetch_or(OBJC_CLASS_INITIALIZED, std::memory_order_release);
  initialize_done().notify_all();
}

}  // namespace

namespace objc::rt {

void ensure_initialized(Class cls) {
  if (cls == nullptr || is_initialized(cls)) return;
  ensure_initialized(cls->superclass);

  std::unique_lock lock(initialize_lock());
  for (;;) {
    if (is_initialized(cls)) return;
    auto& running = in_progress();
    auto it = std::find_if(running.begin(), running.end(), [cls](const Running& r) { return r.cls == cls; });
    if (it == running.end()) break;
    // A message sent from this class's own initialize, directly or through
    // other classes' initialize on this thread, goes ahead.
    if (it->thread == std::this_thread::get_id()) return;
    initialize_done().wait(lock);
  }
  in_progress().push_back({cls, std::this_thread::get_id()});
  lock.unlock();

  IMP imp;
  {
    std::lock_guard table_guard(runtime_lock());
    imp = find_method(cls->isa, selector_for_initialize());
  }
  if (imp != nullptr) {
    // A raise out of initialize jumps over this frame. The class then stays
    // uninitialised and leaves in_progress, so that the next message to it
    // tries again, and the threads waiting for it wake up to claim it.
    objc::OnRaise unclaim([cls] {
      std::lock_guard guard(initialize_lock());
      finish(cls, false);
    });
    reinterpret_cast<void (*)(id, SEL)>(imp)(cls, selector_for_initialize());
  }
  {
    std::lock_guard guard(initialize_lock());
    finish(cls, true);
  }
  // Its metaclass now caches what initialize resolves to, so that a
  // subclass's look-up of initialize stops here instead of walking to the
  // root: posing again and again as one name stays linear.
  std::lock_guard table_guard(runtime_lock());
  remember_lookup(cls->isa, selector_for_initialize());
}

}  // namespace objc::rt
