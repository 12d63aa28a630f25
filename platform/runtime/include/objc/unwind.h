// Cleanups for frames that a raise jumps over. A framework exception is a
// non-local jump (the C run-time's longjmp) to the innermost handler
// frame; the frames in between are abandoned and their C++ destructors do
// not run. Code below the framework, which cannot open handler frames of
// its own, pushes a cleanup instead: the raiser runs every cleanup pushed
// since the target handler frame was opened, innermost first, just before
// it jumps. The runtime also counts the locks each thread holds, so that a
// raiser can refuse to jump over one.
#pragma once

#include "objc/objc.h"

struct objc_cleanup {
  objc_cleanup* next;
  void (*run)(objc_cleanup* self);  // called at most once, on the raising thread
};

// Pushes and pops a cleanup on this thread's chain. Pops must match pushes.
OBJC_EXPORT void objc_cleanup_push(objc_cleanup* cleanup);
OBJC_EXPORT void objc_cleanup_pop(objc_cleanup* cleanup);
// This thread's innermost cleanup; nullptr if none.
OBJC_EXPORT objc_cleanup* objc_cleanup_top(void);
// Pops and runs, innermost first, every cleanup above mark (a value of
// objc_cleanup_top() taken earlier on this thread).
OBJC_EXPORT void objc_cleanup_unwind_to(objc_cleanup* mark);

// The number of tracked locks this thread holds (objc::TrackedLock).
OBJC_EXPORT int objc_thread_locks_held(void);
OBJC_EXPORT void objc_thread_note_lock(int delta);

#ifdef __cplusplus
#  include <mutex>
#  include <utility>

namespace objc {

// Runs fn if a raise jumps over the scope that holds this object; does
// nothing when the scope is left normally.
template <class Fn>
class OnRaise : objc_cleanup {
 public:
  explicit OnRaise(Fn fn) : objc_cleanup{nullptr, &OnRaise::run_it}, fn_(std::move(fn)) {
    objc_cleanup_push(this);
  }
  ~OnRaise() { objc_cleanup_pop(this); }
  OnRaise(const OnRaise&) = delete;
  OnRaise& operator=(const OnRaise&) = delete;

 private:
  static void run_it(objc_cleanup* self) { static_cast<OnRaise*>(self)->fn_(); }
  Fn fn_;
};

// A lock guard that a raise cannot leave locked: held for the scope, and
// released by the raiser if the scope is jumped over. While held it counts
// towards objc_thread_locks_held().
template <class Mutex = std::mutex>
class TrackedLock : objc_cleanup {
 public:
  explicit TrackedLock(Mutex& mutex) : objc_cleanup{nullptr, &TrackedLock::run_it}, mutex_(mutex) {
    mutex_.lock();
    objc_thread_note_lock(+1);
    objc_cleanup_push(this);
  }
  ~TrackedLock() {
    objc_cleanup_pop(this);
    release();
  }
  TrackedLock(const TrackedLock&) = delete;
  TrackedLock& operator=(const TrackedLock&) = delete;

 private:
  void release() {
    objc_thread_note_lock(-1);
    mutex_.unlock();
  }
  static void run_it(objc_cleanup* self) { static_cast<TrackedLock*>(self)->release(); }
  Mutex& mutex_;
};

}  // namespace objc
#endif
