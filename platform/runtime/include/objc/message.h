// Message sending. `msg<R>(receiver, SELECTOR(name:), args...)` sends a
// message and `msgSuper<R>(super, SELECTOR(name:), args...)` makes a super
// send. The cache probe is inline: a send whose method is cached compares
// pointers only, takes no lock and allocates nothing. A miss goes to the
// runtime's slow path, which fills the cache.
#pragma once

#include "objc/runtime.h"

// The selector for a method name written as in source: SELECTOR(addObject:).
// Each call site interns its name on first use and keeps the result in a
// constant-initialised slot, so later uses are one load and a test.
#define SELECTOR(name)                                                                      \
  ([]() noexcept -> SEL {                                                                   \
    static constinit std::atomic<SEL> objc_selector_{nullptr};                              \
    SEL objc_sel_ = objc_selector_.load(std::memory_order_acquire);                         \
    return objc_sel_ != nullptr ? objc_sel_ : objc::intern_selector(objc_selector_, #name); \
  }())

namespace objc {

[[gnu::cold, gnu::noinline]] inline SEL intern_selector(std::atomic<SEL>& slot, const char* name) noexcept {
  SEL sel = sel_registerName(name);
  slot.store(sel, std::memory_order_release);
  return sel;
}

// The slot where a probe for sel starts: its home slot.
inline objc_cache_entry* home_slot(objc_cache* cache, SEL sel) noexcept {
  uintptr_t offset = (reinterpret_cast<uintptr_t>(sel) >> OBJC_CACHE_SEL_SHIFT) & cache->offset_mask;
  return reinterpret_cast<objc_cache_entry*>(reinterpret_cast<char*>(cache->slots()) + offset);
}

// The inline probe checks the home slot only, in straight-line code; a
// selector that is elsewhere in the cache, or not cached, goes out of line.
// A slot holding sel always holds an implementation, so a hit is called
// without a further test.
inline IMP lookup(id receiver, SEL sel) {
  objc_cache_entry* slot = home_slot(receiver->isa->cache.load(std::memory_order_acquire), sel);
  if (slot->sel.load(std::memory_order_acquire) == sel) [[likely]]
    return slot->imp.load(std::memory_order_relaxed);
  return objc_msg_lookup_slow(receiver, sel);
}

inline IMP lookup_super(const objc_super& sup, SEL sel) {
  objc_cache_entry* slot = home_slot(sup.super_class->cache.load(std::memory_order_acquire), sel);
  if (slot->sel.load(std::memory_order_acquire) == sel) [[likely]]
    return slot->imp.load(std::memory_order_relaxed);
  return objc_msg_lookup_super(&sup, sel);
}

// Whether instances of cls respond to sel: from the home slot of cls's
// cache when it holds sel (a "no" is cached as the unrecognized-selector
// path), otherwise by class_respondsToSelector.
inline BOOL responds_to(Class cls, SEL sel) {
  objc_cache_entry* slot = home_slot(cls->cache.load(std::memory_order_acquire), sel);
  if (sel != nullptr && slot->sel.load(std::memory_order_acquire) == sel) [[likely]]
    return slot->imp.load(std::memory_order_relaxed) != reinterpret_cast<IMP>(&objc_unrecognized_selector)
               ? YES
               : NO;
  return class_respondsToSelector(cls, sel);
}

}  // namespace objc

// Sends sel to receiver. A message to nil does nothing and yields R{}:
// nil, 0 or false.
template <class R = id, class... A>
inline R msg(id receiver, SEL sel, A... args) {
  if (receiver == nil) return R();
  using Fn = R (*)(id, SEL, A...);
  return reinterpret_cast<Fn>(objc::lookup(receiver, sel))(receiver, sel, args...);
}

// Runs the implementation found from sup.super_class upwards, with
// sup.receiver as self.
template <class R = id, class... A>
inline R msgSuper(const objc_super& sup, SEL sel, A... args) {
  if (sup.receiver == nil) return R();
  using Fn = R (*)(id, SEL, A...);
  return reinterpret_cast<Fn>(objc::lookup_super(sup, sel))(sup.receiver, sel, args...);
}
