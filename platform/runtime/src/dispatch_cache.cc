// Method look-up and the per-class dispatch caches: the slow path behind
// a cache miss, super look-ups, cache fills and refreshes, and what runs
// for a selector that no class in the hierarchy implements.
//
// Cache memory and lock-free readers. Sends read caches without a lock
// and announce nothing: the inline probe is a handful of loads, and any
// per-send bookkeeping (an epoch or an in-flight mark per thread, with
// the fence it needs) would cost more than the probe itself. A cache that
// a reader may hold is therefore never freed while one may (see
// reclaim.cc), and never refilled with other selectors: a reader that
// loaded a class's cache pointer can always finish its probe on it, and
// every slot it reads pairs a selector with an implementation of that
// selector for that class.
//
// - When methods change (a category, posing), the caches of the affected
//   family are refreshed, not replaced: taken out of use for the step
//   (see refresh_family_caches), then each occupied slot keeps its
//   selector and gets the implementation a look-up finds now. A reader
//   still on a cache it loaded before gets the old implementation or the
//   new one, as it would racing any change. Nothing is retired, so
//   attaching a category or posing allocates no cache memory.
// - A cache that fills up is copied into one twice its size, and the old
//   one is retired: kept, still readable, until a quiescent point frees
//   it (reclaim.cc). Until then the retired caches of a class are the
//   smaller ones it outgrew, 8 + 16 + ... + n/2 slots for a live cache of
//   n, so the retired memory of the process stays below its live cache
//   memory, whatever the number of refreshes, and a class that stops
//   growing retires nothing more.
// objc_getCacheStatistics reports both totals.
#include <cassert>
#include <cstddef>
#include <new>

#include "runtime_internal.h"

namespace {

// What a slot holds for a selector no class in the hierarchy implements:
// a negative answer, cached by class_respondsToSelector.
const IMP kUnrecognized = reinterpret_cast<IMP>(&objc_unrecognized_selector);

// What an empty slot holds: a selector no name interns to. A null selector,
// which a call site sends before its first use has interned it, matches no
// slot and so always takes the slow path.
constinit const objc_selector g_empty_marker{"(empty slot)"};
constexpr SEL kEmpty = &g_empty_marker;

// The shared cache of a class that has not cached anything yet. Its one
// slot stays empty, so every probe misses.
struct {
  objc_cache_header header{0, 0, 0};
  objc_cache_entry slot{{kEmpty}, {kUnrecognized}};
} g_empty_cache;
static_assert(offsetof(decltype(g_empty_cache), slot) == sizeof(objc_cache_header));

std::atomic<objc_unrecognized_handler> g_unrecognized{nullptr};

size_t cache_bytes(objc_cache* cache) {
  return sizeof(objc_cache_header) + (cache->header().mask + 1) * sizeof(objc_cache_entry);
}

objc_cache* new_cache(uint32_t capacity) {
  void* memory = ::operator new(sizeof(objc_cache_header) + capacity * sizeof(objc_cache_entry));
  auto* header = new (memory) objc_cache_header{(capacity - 1) * sizeof(objc_cache_entry), capacity - 1, 0};
  auto* slots = reinterpret_cast<objc_cache_entry*>(header + 1);
  for (uint32_t i = 0; i < capacity; ++i) new (&slots[i]) objc_cache_entry{{kEmpty}, {kUnrecognized}};
  return reinterpret_cast<objc_cache*>(slots);
}

uint32_t home_index(objc_cache* cache, SEL sel) {
  return static_cast<uint32_t>(objc::home_slot(cache, sel) - cache->slots());
}

// Expects runtime_lock held; the cache has a free slot and no slot for sel.
void insert(objc_cache* cache, SEL sel, IMP imp) {
  objc::rt::expect_runtime_lock();
  uint32_t i = home_index(cache, sel);
  assert(sel != nullptr && sel != kEmpty);
  while (cache->slots()[i].sel.load(std::memory_order_relaxed) != kEmpty) i = (i + 1) & cache->header().mask;
  cache->slots()[i].imp.store(imp, std::memory_order_relaxed);
  cache->slots()[i].sel.store(sel, std::memory_order_release);
  ++cache->header().occupied;
}

// The whole probe, lock-free: the implementation cached for sel, the
// negative answer, or nullptr if sel is not cached.
IMP probe(objc_cache* cache, SEL sel) {
  uint32_t i = home_index(cache, sel);
  for (;;) {
    objc_cache_entry& slot = cache->slots()[i];
    SEL s = slot.sel.load(std::memory_order_acquire);
    if (s == sel) return slot.imp.load(std::memory_order_relaxed);
    if (s == kEmpty) return nullptr;
    i = (i + 1) & cache->header().mask;
  }
}

// The class whose initialize must have run before cls's cache is used:
// cls itself, or for a metaclass the class it describes.
Class cache_owner(Class cls) { return objc::rt::is_meta(cls) ? cls->rt->counterpart : cls; }

// Expects runtime_lock held.
IMP lookup_and_fill(Class start, SEL sel) {
  objc::rt::expect_runtime_lock();
  // Another thread may have filled it while this one waited for the lock.
  if (IMP cached = probe(start->cache.load(std::memory_order_relaxed), sel)) return cached;
  IMP imp = objc::rt::find_method(start, sel);
  if (imp == nullptr) return kUnrecognized;
  // A class still running initialize is not cached, so that other threads
  // keep taking the slow path until it has finished.
  if (objc::rt::is_initialized(cache_owner(start))) objc::rt::cache_fill(start, sel, imp);
  return imp;
}

// Gives every occupied slot of cache, which cls had in use, the
// implementation a look-up finds now. Expects runtime_lock held.
void refresh(Class cls, objc_cache* cache) {
  objc::rt::expect_runtime_lock();
  for (uint32_t i = 0; i <= cache->header().mask; ++i) {
    objc_cache_entry& slot = cache->slots()[i];
    SEL sel = slot.sel.load(std::memory_order_relaxed);
    if (sel == kEmpty) continue;
    IMP now = objc::rt::find_method(cls, sel);
    if (now == nullptr) now = kUnrecognized;
    if (slot.imp.load(std::memory_order_relaxed) != now) slot.imp.store(now, std::memory_order_release);
  }
}

}  // namespace

namespace objc::rt {

objc_cache* empty_cache() { return reinterpret_cast<objc_cache*>(&g_empty_cache.slot); }

void cache_fill(Class cls, SEL sel, IMP imp) {
  expect_runtime_lock();
  objc_cache* cache = cls->cache.load(std::memory_order_relaxed);
  uint32_t capacity = cache->header().mask + 1;
  if (cache == empty_cache() || (cache->header().occupied + 1) * 4 > capacity * 3) {
    objc_cache* grown = new_cache(cache == empty_cache() ? 8 : capacity * 2);
    for (uint32_t i = 0; cache != empty_cache() && i < capacity; ++i) {
      objc_cache_entry& e = cache->slots()[i];
      if (SEL s = e.sel.load(std::memory_order_relaxed); s != kEmpty)
        insert(grown, s, e.imp.load(std::memory_order_relaxed));
    }
    insert(grown, sel, imp);
    cls->cache.store(grown, std::memory_order_release);
    cls->rt->cache_block = &grown->header();
    if (cache != empty_cache())
      retire(
          &cache->header(), cache_bytes(cache), [](void* block) { ::operator delete(block); }, kRetiredCache);
    return;
  }
  insert(cache, sel, imp);
}

void refresh_family_caches(std::vector<Class> pending) {
  expect_runtime_lock();
  // The family's caches are taken out of use first (every class of it
  // then probes the empty cache and waits for this lock), refreshed, and
  // put back. A sender that sees a new implementation on one class of the
  // family therefore sees it on every other, as it would if the change
  // were one step; and no cache is replaced, so none is retired.
  std::vector<std::pair<Class, objc_cache*>> detached;
  while (!pending.empty()) {
    Class c = pending.back();
    pending.pop_back();
    for (Class k : {c, c->isa}) {
      objc_cache* cache = k->cache.exchange(empty_cache(), std::memory_order_acq_rel);
      if (cache != empty_cache()) detached.emplace_back(k, cache);
    }
    pending.insert(pending.end(), c->rt->subclasses.begin(), c->rt->subclasses.end());
  }
  // While detached, the family's own caches cannot answer for find_method,
  // which walks its method tables instead.
  for (auto [cls, cache] : detached) refresh(cls, cache);
  for (auto [cls, cache] : detached) cls->cache.store(cache, std::memory_order_release);
}

IMP remember_lookup(Class cls, SEL sel) {
  expect_runtime_lock();
  if (IMP cached = probe(cls->cache.load(std::memory_order_relaxed), sel))
    return cached != kUnrecognized ? cached : nullptr;
  IMP imp = find_method(cls, sel);
  // Negative answers are cached as well: a send of sel then runs the
  // unrecognized-selector path straight from the cache, as the slow path
  // would, and a method added later replaces the answer (refresh).
  if (is_initialized(cache_owner(cls))) cache_fill(cls, sel, imp != nullptr ? imp : kUnrecognized);
  return imp;
}

IMP find_method(Class cls, SEL sel) {
  expect_runtime_lock();
  for (Class c = cls; c != nullptr; c = c->superclass) {
    auto it = c->rt->methods.find(sel);
    if (it != c->rt->methods.end()) return it->second;
    // A superclass's cache holds the answer of this same walk from there
    // on, so a deep hierarchy is walked once per selector, not per class.
    if (c->superclass != nullptr) {
      if (IMP cached = probe(c->superclass->cache.load(std::memory_order_relaxed), sel))
        return cached != kUnrecognized ? cached : nullptr;
    }
  }
  return nullptr;
}

}  // namespace objc::rt

using namespace objc::rt;

void objc_unrecognized_selector(id receiver, SEL sel) {
  if (objc_unrecognized_handler handler = g_unrecognized.load()) handler(receiver, sel);
  Class cls = receiver->isa;
  fatal("%c[%s %s]: unrecognized selector", is_meta(cls) ? '+' : '-', class_getName(receiver->isa),
        sel_getName(sel));
}

IMP objc_msg_lookup_slow(id receiver, SEL sel) {
  Class cls = receiver->isa;
  if (IMP cached = probe(cls->cache.load(std::memory_order_acquire), sel)) return cached;
  ensure_initialized(is_meta(cls) ? static_cast<Class>(receiver) : cls);
  std::lock_guard guard(runtime_lock());
  return lookup_and_fill(cls, sel);
}

IMP objc_msg_lookup_super(const objc_super* sup, SEL sel) {
  if (IMP cached = probe(sup->super_class->cache.load(std::memory_order_acquire), sel)) return cached;
  std::lock_guard guard(runtime_lock());
  return lookup_and_fill(sup->super_class, sel);
}

BOOL class_respondsToSelector(Class cls, SEL sel) {
  if (cls == nullptr || sel == nullptr) return NO;
  if (IMP cached = probe(cls->cache.load(std::memory_order_acquire), sel))
    return cached != kUnrecognized ? YES : NO;
  std::lock_guard guard(runtime_lock());
  return remember_lookup(cls, sel) != nullptr ? YES : NO;
}

void objc_setUnrecognizedSelectorHandler(objc_unrecognized_handler handler) { g_unrecognized.store(handler); }

objc_cache_statistics objc_getCacheStatistics() {
  std::lock_guard guard(runtime_lock());
  objc_cache_statistics stats{0, retired_bytes(kRetiredCache)};
  for (Class cls : all_classes()) {
    for (Class c : {cls, cls->isa}) {
      objc_cache* cache = c->cache.load(std::memory_order_relaxed);
      if (cache != empty_cache()) stats.live_bytes += cache_bytes(cache);
    }
  }
  return stats;
}
