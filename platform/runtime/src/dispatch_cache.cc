// Method look-up and the per-class dispatch caches: the slow path behind
// a cache miss, super look-ups, cache fills and flushes, and what runs for
// a selector that no class in the hierarchy implements.
#include <new>

#include "runtime_internal.h"

namespace {

// The shared cache of a class that has not cached anything yet. Its one
// slot stays empty, so every probe misses.
struct {
  objc_cache header{0, 0};
  objc_cache_entry slot{{nullptr}, {nullptr}};
} g_empty_cache;

std::vector<objc_cache*>* g_retired_caches = new std::vector<objc_cache*>;
std::atomic<objc_unrecognized_handler> g_unrecognized{nullptr};

objc_cache* new_cache(uint32_t capacity) {
  void* memory = ::operator new(sizeof(objc_cache) + capacity * sizeof(objc_cache_entry));
  auto* cache = new (memory) objc_cache{capacity - 1, 0};
  for (uint32_t i = 0; i < capacity; ++i) new (&cache->slots()[i]) objc_cache_entry{{nullptr}, {nullptr}};
  return cache;
}

// Expects runtime_lock held; the cache has a free slot.
void insert(objc_cache* cache, SEL sel, IMP imp) {
  uint32_t i = objc::cache_hash(sel) & cache->mask;
  while (cache->slots()[i].sel.load(std::memory_order_relaxed) != nullptr) i = (i + 1) & cache->mask;
  cache->slots()[i].imp.store(imp, std::memory_order_relaxed);
  cache->slots()[i].sel.store(sel, std::memory_order_release);
  ++cache->occupied;
}

void retire(objc_cache* cache) {
  if (cache != &g_empty_cache.header) g_retired_caches->push_back(cache);
}

void unrecognized_selector(id receiver, SEL sel) {
  if (objc_unrecognized_handler handler = g_unrecognized.load()) handler(receiver, sel);
  Class cls = receiver->isa;
  objc::rt::fatal("%c[%s %s]: unrecognized selector", objc::rt::is_meta(cls) ? '+' : '-',
                  class_getName(receiver->isa), sel_getName(sel));
}

// The class whose initialize must have run before cls's cache is used:
// cls itself, or for a metaclass the class it describes.
Class cache_owner(Class cls) { return objc::rt::is_meta(cls) ? cls->rt->counterpart : cls; }

bool initialized(Class cls) {
  return (cls->flags.load(std::memory_order_acquire) & OBJC_CLASS_INITIALIZED) != 0;
}

// Expects runtime_lock held.
IMP lookup_and_fill(Class start, SEL sel) {
  IMP imp = objc::rt::find_method(start, sel);
  if (imp == nullptr) return reinterpret_cast<IMP>(&unrecognized_selector);
  // A class still running initialize is not cached, so that other threads
  // keep taking the slow path until it has finished.
  if (initialized(cache_owner(start))) objc::rt::cache_fill(start, sel, imp);
  return imp;
}

}  // namespace

namespace objc::rt {

objc_cache* empty_cache() { return &g_empty_cache.header; }

void cache_fill(Class cls, SEL sel, IMP imp) {
  objc_cache* cache = cls->cache.load(std::memory_order_relaxed);
  uint32_t capacity = cache->mask + 1;
  if (cache == empty_cache() || (cache->occupied + 1) * 4 > capacity * 3) {
    objc_cache* grown = new_cache(cache == empty_cache() ? 8 : capacity * 2);
    for (uint32_t i = 0; cache != empty_cache() && i < capacity; ++i) {
      objc_cache_entry& e = cache->slots()[i];
      if (SEL s = e.sel.load(std::memory_order_relaxed))
        insert(grown, s, e.imp.load(std::memory_order_relaxed));
    }
    insert(grown, sel, imp);
    cls->cache.store(grown, std::memory_order_release);
    retire(cache);
    return;
  }
  insert(cache, sel, imp);
}

void flush_all_caches() {
  for (Class cls : all_classes()) {
    for (Class c : {cls, cls->isa}) retire(c->cache.exchange(empty_cache(), std::memory_order_acq_rel));
  }
}

void flush_family_caches(Class cls) {
  for (Class c : {cls, cls->isa}) retire(c->cache.exchange(empty_cache(), std::memory_order_acq_rel));
  for (Class sub : cls->rt->subclasses) flush_family_caches(sub);
}

IMP find_method(Class cls, SEL sel) {
  for (Class c = cls; c != nullptr; c = c->superclass) {
    auto it = c->rt->methods.find(sel);
    if (it != c->rt->methods.end()) return it->second;
  }
  return nullptr;
}

}  // namespace objc::rt

using namespace objc::rt;

IMP objc_msg_lookup_slow(id receiver, SEL sel) {
  Class cls = receiver->isa;
  ensure_initialized(is_meta(cls) ? static_cast<Class>(receiver) : cls);
  std::lock_guard guard(runtime_lock());
  return lookup_and_fill(cls, sel);
}

IMP objc_msg_lookup_super(const objc_super* sup, SEL sel) {
  std::lock_guard guard(runtime_lock());
  return lookup_and_fill(sup->super_class, sel);
}

BOOL class_respondsToSelector(Class cls, SEL sel) {
  if (cls == nullptr || sel == nullptr) return NO;
  std::lock_guard guard(runtime_lock());
  return find_method(cls, sel) != nullptr ? YES : NO;
}

void objc_setUnrecognizedSelectorHandler(objc_unrecognized_handler handler) { g_unrecognized.store(handler); }
