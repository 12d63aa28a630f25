// Message sending. `msg<R>(receiver, SELECTOR(name:), args...)` sends a
// message and `msgSuper<R>(super, SELECTOR(name:), args...)` makes a super
// send. The cache probe is inline: a send whose method is cached compares
// pointers only, takes no lock and allocates nothing. A miss goes to the
// runtime's slow path, which fills the cache.
#pragma once

#include <type_traits>

#include "objc/runtime.h"

// The selector for a method name written as in source: SELECTOR(addObject:).
// Each call site keeps its selector in a constant-initialised slot, which
// is null until the site's first use interns the name. A send through
// msg or msgSuper probes the cache with the slot's value as it stands: a
// null selector matches no cache slot, so the first send misses, interns
// and looks up out of line, and every later one is a load with no test.
// Anywhere else the site converts to its SEL, interning on first use.
#define SELECTOR(name)                                              \
  ([]() noexcept -> objc::SelectorSite {                            \
    static constinit objc::SelectorSlot objc_selector_slot_{#name}; \
    return objc::SelectorSite{&objc_selector_slot_};                \
  }())

#if defined(__has_feature)
#  if __has_feature(thread_sanitizer)
#    define OBJC_THREAD_SANITIZER 1
#  endif
#endif
#if defined(__SANITIZE_THREAD__)
#  define OBJC_THREAD_SANITIZER 1
#endif
#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__)) && !defined(OBJC_THREAD_SANITIZER)
#  define OBJC_PROBE_ASM 1
#else
#  define OBJC_PROBE_ASM 0
#endif

namespace objc {

struct SelectorSlot {
  const char* name;
  std::atomic<SEL> sel{nullptr};
};

[[gnu::cold, gnu::noinline]] inline SEL intern_selector(SelectorSlot& slot) noexcept {
  SEL sel = sel_registerName(slot.name);
  slot.sel.store(sel, std::memory_order_release);
  return sel;
}

struct SelectorSite {
  SelectorSlot* slot;
  // The selector, interned if this is the site's first use.
  operator SEL() const noexcept {
    SEL sel = slot->sel.load(std::memory_order_acquire);
    return sel != nullptr ? sel : intern_selector(*slot);
  }
  // The slot's value as it stands: null before the first use.
  SEL unchecked() const noexcept { return slot->sel.load(std::memory_order_acquire); }
};

// A send's arguments as the implementation takes them: a selector site
// passed as an argument is passed as its SEL.
template <class T>
using send_type = std::conditional_t<std::is_same_v<T, SelectorSite>, SEL, T>;

// The slot where a probe for sel starts: its home slot.
inline objc_cache_entry* home_slot(objc_cache* cache, SEL sel) noexcept {
  uintptr_t offset = (reinterpret_cast<uintptr_t>(sel) >> OBJC_CACHE_SEL_SHIFT) & cache->header().offset_mask;
  return reinterpret_cast<objc_cache_entry*>(reinterpret_cast<char*>(cache) + offset);
}

// sel's home slot of cache if it holds sel, else nullptr: every inline
// probe, in straight-line code. A slot holding sel always holds an
// implementation, so a hit is used without a further test. sel may be
// null (a call site's first send), which no slot holds.
//
// On x86 with GCC or Clang the selector is compared in place (cmp with a
// memory operand, then the jump): the C++ atomic load it stands for is
// one the compiler will not fold into the compare, which costs a send an
// instruction. An aligned pointer load is atomic on x86 and ordered
// before later loads by the processor; the signal fence keeps the
// compiler from moving the implementation's load above it. ThreadSanitizer
// builds take the atomic load, so that the probe stays checked.
inline objc_cache_entry* home_hit(objc_cache* cache, SEL sel) {
  objc_cache_entry* slot = home_slot(cache, sel);
#if OBJC_PROBE_ASM
  asm goto("cmp %0, %1\n\tjne %l[miss]" : : "r"(sel), "m"(slot->sel) : "cc" : miss);
  std::atomic_signal_fence(std::memory_order_acquire);
  return slot;
miss:
  return nullptr;
#else
  return slot->sel.load(std::memory_order_acquire) == sel ? slot : nullptr;
#endif
}

// A selector that is not in its home slot, or not cached, goes out of line
// through miss.
template <class Miss>
inline IMP probe_home(objc_cache* cache, SEL sel, Miss miss) {
  if (objc_cache_entry* slot = home_hit(cache, sel)) [[likely]]
    return slot->imp.load(std::memory_order_relaxed);
  return miss();
}

inline IMP lookup(id receiver, SEL sel) {
  return probe_home(receiver->isa->cache.load(std::memory_order_acquire), sel,
                    [&] { return objc_msg_lookup_slow(receiver, sel); });
}

inline IMP lookup_super(const objc_super& sup, SEL sel) {
  return probe_home(sup.super_class->cache.load(std::memory_order_acquire), sel,
                    [&] { return objc_msg_lookup_super(&sup, sel); });
}

// The rest of a send through a site whose selector was not in its home
// slot: out of line, one copy per signature rather than per call site, so
// that the inline part keeps nothing live across a call.
template <class R, class... A>
[[gnu::noinline]] R send_missed(id receiver, SelectorSite site, A... args) {
  using Fn = R (*)(id, SEL, send_type<A>...);
  SEL sel = site;
  return reinterpret_cast<Fn>(objc_msg_lookup_slow(receiver, sel))(receiver, sel, args...);
}

template <class R, class... A>
[[gnu::noinline]] R super_send_missed(const objc_super& sup, SelectorSite site, A... args) {
  using Fn = R (*)(id, SEL, send_type<A>...);
  SEL sel = site;
  return reinterpret_cast<Fn>(objc_msg_lookup_super(&sup, sel))(sup.receiver, sel, args...);
}

// Whether instances of cls respond to sel: from the home slot of cls's
// cache when it holds sel (a "no" is cached as the unrecognized-selector
// path), otherwise by class_respondsToSelector.
inline BOOL responds_to(Class cls, SEL sel) {
  if (objc_cache_entry* slot = home_hit(cls->cache.load(std::memory_order_acquire), sel)) [[likely]]
    return slot->imp.load(std::memory_order_relaxed) != reinterpret_cast<IMP>(&objc_unrecognized_selector)
               ? YES
               : NO;
  return class_respondsToSelector(cls, sel);
}

}  // namespace objc

// Raise injection, compiled in only by a fault-capable build
// (CORVANE_FAULT_INJECTION, objc/fault.h): every send to a receiver that is
// not nil first counts down, and the send that reaches zero raises instead
// of running. Normal builds have no hook here.
#if CORVANE_FAULT_INJECTION
OBJC_EXPORT void objc_fault_send(id receiver, SEL sel);
#  define OBJC_FAULT_POINT(receiver, sel) objc_fault_send((receiver), (sel))
#else
#  define OBJC_FAULT_POINT(receiver, sel) static_cast<void>(0)
#endif

// Sends sel to receiver. A message to nil does nothing and yields R{}:
// nil, 0 or false.
template <class R = id, class... A>
inline R msg(id receiver, SEL sel, A... args) {
  if (receiver == nil) return R();
  OBJC_FAULT_POINT(receiver, sel);
  using Fn = R (*)(id, SEL, objc::send_type<A>...);
  return reinterpret_cast<Fn>(objc::lookup(receiver, sel))(receiver, sel, args...);
}

template <class R = id, class... A>
inline R msg(id receiver, objc::SelectorSite site, A... args) {
  if (receiver == nil) return R();
  OBJC_FAULT_POINT(receiver, site);
  using Fn = R (*)(id, SEL, objc::send_type<A>...);
  SEL sel = site.unchecked();
  objc_cache_entry* slot = objc::home_hit(receiver->isa->cache.load(std::memory_order_acquire), sel);
  if (slot == nullptr) [[unlikely]]
    return objc::send_missed<R, A...>(receiver, site, args...);
  return reinterpret_cast<Fn>(slot->imp.load(std::memory_order_relaxed))(receiver, sel, args...);
}

// Runs the implementation found from sup.super_class upwards, with
// sup.receiver as self.
template <class R = id, class... A>
inline R msgSuper(const objc_super& sup, SEL sel, A... args) {
  if (sup.receiver == nil) return R();
  OBJC_FAULT_POINT(sup.receiver, sel);
  using Fn = R (*)(id, SEL, objc::send_type<A>...);
  return reinterpret_cast<Fn>(objc::lookup_super(sup, sel))(sup.receiver, sel, args...);
}

template <class R = id, class... A>
inline R msgSuper(const objc_super& sup, objc::SelectorSite site, A... args) {
  if (sup.receiver == nil) return R();
  OBJC_FAULT_POINT(sup.receiver, site);
  using Fn = R (*)(id, SEL, objc::send_type<A>...);
  SEL sel = site.unchecked();
  objc_cache_entry* slot = objc::home_hit(sup.super_class->cache.load(std::memory_order_acquire), sel);
  if (slot == nullptr) [[unlikely]]
    return objc::super_send_missed<R, A...>(sup, site, args...);
  return reinterpret_cast<Fn>(slot->imp.load(std::memory_order_relaxed))(sup.receiver, sel, args...);
}
