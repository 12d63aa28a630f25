// Message sending. `msg<R>(receiver, SELECTOR(name:), args...)` sends a
// message and `msgSuper<R>(super, SELECTOR(name:), args...)` makes a super
// send. The cache probe is inline: a send whose method is cached compares
// pointers only, takes no lock and allocates nothing. A miss goes to the
// runtime's slow path, which fills the cache.
#pragma once

#include "objc/runtime.h"

// The selector for a method name written as in source: SELECTOR(addObject:).
// Each call site interns its name once and keeps the result.
#define SELECTOR(name)                                         \
  ([]() noexcept -> SEL {                                      \
    static const SEL objc_selector_ = sel_registerName(#name); \
    return objc_selector_;                                     \
  }())

namespace objc {

// Slot index for a selector. Selectors are interned, so their addresses are
// unique; the low bits are alignment and carry no information.
inline uint32_t cache_hash(SEL sel) noexcept {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(sel) >> 4);
}

inline IMP cache_probe(Class cls, SEL sel) noexcept {
  objc_cache* cache = cls->cache.load(std::memory_order_acquire);
  objc_cache_entry* slots = cache->slots();
  uint32_t i = cache_hash(sel) & cache->mask;
  for (;;) {
    SEL s = slots[i].sel.load(std::memory_order_acquire);
    if (s == sel) return slots[i].imp.load(std::memory_order_relaxed);
    if (s == nullptr) return nullptr;
    i = (i + 1) & cache->mask;
  }
}

inline IMP lookup(id receiver, SEL sel) {
  IMP imp = cache_probe(receiver->isa, sel);
  return imp != nullptr ? imp : objc_msg_lookup_slow(receiver, sel);
}

inline IMP lookup_super(const objc_super& sup, SEL sel) {
  IMP imp = cache_probe(sup.super_class, sel);
  return imp != nullptr ? imp : objc_msg_lookup_super(&sup, sel);
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
