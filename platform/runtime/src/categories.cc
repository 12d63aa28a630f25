// Categories: adding a category's methods to its class, and the pending
// queue of categories whose class has not been registered yet. A queued
// category is attached as soon as its class arrives, in a later record of
// the same module or in a later module.
#include <cstring>

#include "runtime_internal.h"

namespace {

// Categories waiting for their class, oldest first. Guarded by runtime_lock.
std::vector<const objc_category_def*>& pending() {
  static auto* queue = new std::vector<const objc_category_def*>;
  return *queue;
}

// Attached categories with a +load of their own that has not been sent.
// Guarded by runtime_lock.
std::vector<const objc_category_def*>& loadable() {
  static auto* list = new std::vector<const objc_category_def*>;
  return *list;
}

void add_methods(Class cls, const objc_method_list& list) {
  for (uint32_t i = 0; i < list.count; ++i)
    cls->rt->methods[sel_registerName(list.methods[i].name)] = list.methods[i].imp;
}

bool defines_load(const objc_category_def* category) {
  for (uint32_t i = 0; i < category->class_methods.count; ++i)
    if (std::strcmp(category->class_methods.methods[i].name, "load") == 0) return true;
  return false;
}

// Expects runtime_lock held.
void attach(Class cls, const objc_category_def* category) {
  add_methods(cls, category->instance_methods);
  add_methods(cls->isa, category->class_methods);
  // The new methods may override ones that subclasses have cached.
  objc::rt::flush_all_caches();
  if (defines_load(category)) loadable().push_back(category);
}

}  // namespace

namespace objc::rt {

void add_category(const objc_category_def* category) {
  if (Class cls = table_find(category->class_name))
    attach(cls, category);
  else
    pending().push_back(category);
}

void attach_pending_categories(Class cls) {
  auto& queue = pending();
  for (auto it = queue.begin(); it != queue.end();) {
    if (objc_getClass((*it)->class_name) == cls) {
      attach(cls, *it);
      it = queue.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<const objc_category_def*> take_loadable_categories() {
  std::vector<const objc_category_def*> taken;
  taken.swap(loadable());
  return taken;
}

}  // namespace objc::rt
