// This thread's cleanup chain and its count of tracked locks held. Both
// are thread-local, so nothing here takes a lock.
#include "objc/unwind.h"

#include "runtime_internal.h"

namespace {
OBJC_FAST_TLS thread_local objc_cleanup* chain_top = nullptr;
OBJC_FAST_TLS thread_local int locks_held = 0;
}  // namespace

void objc_cleanup_push(objc_cleanup* cleanup) {
  cleanup->next = chain_top;
  chain_top = cleanup;
}

void objc_cleanup_pop(objc_cleanup* cleanup) {
  if (chain_top != cleanup)
    objc::rt::fatal("objc_cleanup_pop: %p is not this thread's innermost cleanup", cleanup);
  chain_top = cleanup->next;
}

objc_cleanup* objc_cleanup_top() { return chain_top; }

void objc_cleanup_unwind_to(objc_cleanup* mark) {
  while (chain_top != nullptr && chain_top != mark) {
    objc_cleanup* cleanup = chain_top;
    chain_top = cleanup->next;  // popped before it runs: a cleanup runs once
    cleanup->run(cleanup);
  }
  if (chain_top != mark) objc::rt::fatal("objc_cleanup_unwind_to: %p is not on this thread's chain", mark);
}

int objc_thread_locks_held() { return locks_held; }

void objc_thread_note_lock(int delta) {
  locks_held += delta;
  if (locks_held < 0) objc::rt::fatal("objc_thread_note_lock: more locks released than taken");
}
