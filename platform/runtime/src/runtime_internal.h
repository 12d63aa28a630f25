// Shared internals of the runtime: the per-class bookkeeping, the lock
// that guards the tables, and the functions the runtime's files call on
// each other. Each function says which lock it expects.
#pragma once

#include <atomic>
#include <cassert>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "objc/module.h"
#include "objc/runtime.h"

struct objc_module_info {
  std::string path;
  std::vector<Class> classes;
};

// What the class table's names lead to. Every name that yields one class
// shares one record, so that posing re-points a single record rather than
// every name the replaced class has gathered. A record left without names
// is retired, not freed (reclaim.cc): a lock-free reader may hold it.
struct objc_name_owner {
  std::atomic<Class> cls;
  std::vector<const char*> names;  // guarded by runtime_lock
};

struct objc_class_private {
  std::unordered_map<SEL, IMP> methods;  // own methods and those of categories
  Class counterpart = nullptr;           // metaclass <-> class
  const objc_module_info* module = nullptr;
  IMP own_load = nullptr;  // +load defined by the class itself
  // The names that yield this class: its own, and those of the classes it
  // has posed as; nullptr once it has been posed as. Posing hands the
  // record to the poser.
  objc_name_owner* names = nullptr;
  // Direct subclasses (non-meta classes only), so that posing touches the
  // replaced class's family and not every class in the process.
  std::vector<Class> subclasses;
  // The start of the allocation that holds the class's cache. The class
  // points past its header, at its first slot; this keeps the block
  // itself referenced, as a leak checker expects of memory in use.
  void* cache_block = nullptr;
};

// Aligned so that the low four bits of every SEL are zero and the cache
// hash can drop them.
struct alignas(16) objc_selector {
  const char* name;
};

namespace objc::rt {

// runtime_lock.cc.
//
// A mutex that, in debug builds, records the thread holding it, so that a
// function that expects the lock held can assert it (expect_runtime_lock).
// Release builds keep no record: lock and unlock are the mutex's own.
class RuntimeMutex {
 public:
  void lock() {
    mutex_.lock();
#ifndef NDEBUG
    owner_.store(std::this_thread::get_id(), std::memory_order_relaxed);
#endif
  }
  void unlock() {
#ifndef NDEBUG
    owner_.store(std::thread::id(), std::memory_order_relaxed);
#endif
    mutex_.unlock();
  }
#ifndef NDEBUG
  // Only the holder can see its own id here: another thread's store of its
  // id, or of the empty id, never equals this thread's.
  bool held_by_this_thread() const {
    return owner_.load(std::memory_order_relaxed) == std::this_thread::get_id();
  }
#endif

 private:
  std::mutex mutex_;
#ifndef NDEBUG
  std::atomic<std::thread::id> owner_{};
#endif
};

// Guards the selector table's writes, the class list, method tables, cache
// fills and refreshes, and every pending index. Never held while a message
// is sent: load and initialize run outside it.
RuntimeMutex& runtime_lock();

// Checks, in debug builds, that this thread holds runtime_lock: called
// first by every function whose comment says it expects the lock.
inline void expect_runtime_lock() {
#ifndef NDEBUG
  assert(runtime_lock().held_by_this_thread() && "runtime_lock is not held by this thread");
#endif
}

[[noreturn]] void fatal(const char* format, ...);

inline bool is_initialized(Class cls) {
  return (cls->flags.load(std::memory_order_acquire) & OBJC_CLASS_INITIALIZED) != 0;
}

// selector_table.cc
SEL selector_for_load();
SEL selector_for_initialize();

// class_table.cc. Reads are lock-free; writes expect runtime_lock held.
Class table_find(const char* name);
void table_add(const char* name, Class cls);  // a name not in the table yet
// Every name that yields replaced yields poser from now on.
void table_hand_over(Class replaced, Class poser);
const std::vector<Class>& all_classes();  // non-meta classes, registration order
void add_to_class_list(Class cls);
inline bool is_meta(Class cls) { return (cls->flags.load(std::memory_order_relaxed) & OBJC_CLASS_META) != 0; }
// Enters a method list into cls's own table; a name already there takes
// the list's implementation. Expects runtime_lock held.
void add_methods(Class cls, const objc_method_list& list);
// The +load among a list of class methods, or nullptr. Lock-free: method
// lists are constant.
IMP load_method_in(const objc_method_list& class_methods);

// dispatch_cache.cc. Expect runtime_lock held.
objc_cache* empty_cache();
void cache_fill(Class cls, SEL sel, IMP imp);
// Brings the caches of the classes and of every class inheriting from
// them, metaclasses included, up to date after their look-ups changed.
void refresh_family_caches(std::vector<Class> classes);
IMP find_method(Class cls, SEL sel);  // walks the hierarchy; nullptr if none
// find_method, answered from cls's cache when it holds sel, and cached
// there, a negative answer included, once cls is initialised.
IMP remember_lookup(Class cls, SEL sel);

// reclaim.cc. Expect runtime_lock held.
enum RetiredKind { kRetiredCache, kRetiredName };
// Hands over a block that lock-free readers may still hold, after every
// pointer to it has been replaced; free_block frees it once no reader can.
void retire(void* block, size_t bytes, void (*free_block)(void*), RetiredKind kind);
// Bytes retired and not freed yet.
size_t retired_bytes(RetiredKind kind);

// module_loader.cc. Sends the loads of modules the system loaded on this
// thread that wait for its next runtime entry; cheap when there are none.
// Expects no lock held.
void send_waiting_loads();

// initialize.cc. Expects no lock held.
void ensure_initialized(Class cls);

// categories.cc. Expect runtime_lock held.
void add_category(const objc_category_def* category);
// Attaches the categories waiting for the name cls has just been
// registered under.
void attach_pending_categories(Class cls, const char* name);
std::vector<const objc_category_def*> take_loadable_categories();

}  // namespace objc::rt
