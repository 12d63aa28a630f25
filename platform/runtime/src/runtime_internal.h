// Shared internals of the runtime: the per-class bookkeeping, the lock
// that guards the tables, and the functions the runtime's files call on
// each other. Each function says which lock it expects.
#pragma once

#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "objc/module.h"
#include "objc/runtime.h"

struct objc_module_info {
  std::string path;
  std::vector<Class> classes;
};

struct objc_class_private {
  std::unordered_map<SEL, IMP> methods;  // own methods and those of categories
  Class counterpart = nullptr;           // metaclass <-> class
  const objc_module_info* module = nullptr;
  IMP own_load = nullptr;  // +load defined by the class itself
  // The names that yield this class: its own, and those of the classes it
  // has posed as. Posing hands them to the poser.
  std::vector<const char*> names;
  // Direct subclasses (non-meta classes only), so that posing touches the
  // replaced class's family and not every class in the process.
  std::vector<Class> subclasses;
};

namespace objc::rt {

// Guards the selector table's writes, the class list, method tables, cache
// fills and flushes, and every pending queue. Never held while a message is
// sent: load and initialize run outside it.
std::mutex& runtime_lock();

[[noreturn]] void fatal(const char* format, ...);

// selector_table.cc
SEL selector_for_load();
SEL selector_for_initialize();

// class_table.cc. Reads are lock-free; writes expect runtime_lock held.
Class table_find(const char* name);
void table_set(const char* name, Class cls);
const std::vector<Class>& all_classes();  // non-meta classes, registration order
void add_to_class_list(Class cls);
inline bool is_meta(Class cls) { return (cls->flags.load(std::memory_order_relaxed) & OBJC_CLASS_META) != 0; }

// dispatch_cache.cc. Expect runtime_lock held.
objc_cache* empty_cache();
void cache_fill(Class cls, SEL sel, IMP imp);
void flush_all_caches();
void flush_family_caches(Class cls);  // cls and its descendants, metaclasses included
IMP find_method(Class cls, SEL sel);  // walks the hierarchy; nullptr if none

// initialize.cc. Expects no lock held.
void ensure_initialized(Class cls);

// categories.cc. Expect runtime_lock held.
void add_category(const objc_category_def* category);
void attach_pending_categories(Class cls);
std::vector<const objc_category_def*> take_loadable_categories();

}  // namespace objc::rt
