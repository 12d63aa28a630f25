// Memory that lock-free readers may still hold: dispatch caches and class
// name tables replaced by bigger ones, and name records left behind by
// posing. Such a block is retired when the last pointer to it has been
// replaced, and freed at a quiescent point.
//
// Sends and name look-ups read without a lock and announce nothing: any
// per-send bookkeeping (an epoch or an in-flight mark per thread, with the
// fence it needs) would cost more than the probe itself. So the runtime
// cannot tell which blocks a reader holds. It can tell a moment when no
// reader holds any: when the process has one thread, the retiring thread
// itself, which holds the runtime lock and so is not inside a probe. A
// retired block is unreachable (every pointer to it was replaced, with
// release order, before it was retired), so a thread started after that
// moment cannot find it either. At such a moment every retired block is
// freed.
//
// Asking the operating system for the thread count costs a system call or
// more, so a check runs only when the retired bytes have reached twice
// what they were after the last check, and at least kFirstCheckBytes: its
// cost is amortised over the memory retired. In a process with several
// threads nothing is freed; there the retired memory stays bounded by how
// it is made (see dispatch_cache.cc and class_table.cc).
#include <cassert>

#include "runtime_internal.h"
#include "threads.h"

namespace {

constexpr size_t kFirstCheckBytes = size_t{64} * 1024;

struct Retired {
  void* block;
  size_t bytes;
  void (*free_block)(void*);
  objc::rt::RetiredKind kind;
};

// Guarded by runtime_lock.
std::vector<Retired>* g_retired = new std::vector<Retired>;
size_t g_bytes[2] = {0, 0};
size_t g_next_check = kFirstCheckBytes;

size_t total_bytes() { return g_bytes[0] + g_bytes[1]; }

// Expects runtime_lock held.
void reclaim_if_quiescent() {
  objc::rt::expect_runtime_lock();
  if (objc::os::only_thread()) {
    for (const Retired& r : *g_retired) r.free_block(r.block);
    g_retired->clear();
    g_bytes[0] = g_bytes[1] = 0;
  }
  g_next_check = std::max(kFirstCheckBytes, 2 * total_bytes());
}

}  // namespace

namespace objc::rt {

void retire(void* block, size_t bytes, void (*free_block)(void*), RetiredKind kind) {
  expect_runtime_lock();
  assert(block != nullptr);
  g_retired->push_back({block, bytes, free_block, kind});
  g_bytes[kind] += bytes;
  if (total_bytes() >= g_next_check) reclaim_if_quiescent();
}

size_t retired_bytes(RetiredKind kind) {
  expect_runtime_lock();
  return g_bytes[kind];
}

}  // namespace objc::rt
