// Categories: adding a category's methods to its class, and the pending
// index of categories whose class has not been registered yet. A waiting
// category is attached as soon as a class arrives under the name it
// extends, in a later record of the same module or in a later module.
#include <string_view>

#include "runtime_internal.h"

namespace {

// Categories waiting for their class, by the name of the class, oldest
// first for each name. Keys point at the categories' own class names,
// which live as long as their modules stay registered: for the process.
// Guarded by runtime_lock.
std::unordered_map<std::string_view, std::vector<const objc_category_def*>>& pending() {
  static auto* index = new std::unordered_map<std::string_view, std::vector<const objc_category_def*>>;
  return *index;
}

// Attached categories with a +load of their own that has not been sent.
// Guarded by runtime_lock.
std::vector<const objc_category_def*>& loadable() {
  static auto* list = new std::vector<const objc_category_def*>;
  return *list;
}

// Expects runtime_lock held.
void attach(Class cls, const objc_category_def* category) {
  objc::rt::expect_runtime_lock();
  objc::rt::add_methods(cls, category->instance_methods);
  objc::rt::add_methods(cls->isa, category->class_methods);
  // The new methods may override ones that the class, its subclasses or
  // their metaclasses have cached; no other class's look-ups change.
  objc::rt::refresh_family_caches({cls});
  if (objc::rt::load_method_in(category->class_methods) != nullptr) loadable().push_back(category);
}

}  // namespace

namespace objc::rt {

void add_category(const objc_category_def* category) {
  expect_runtime_lock();
  if (Class cls = table_find(category->class_name))
    attach(cls, category);
  else
    pending()[category->class_name].push_back(category);
}

void attach_pending_categories(Class cls, const char* name) {
  expect_runtime_lock();
  auto it = pending().find(name);
  if (it == pending().end()) return;
  std::vector<const objc_category_def*> waiting = std::move(it->second);
  pending().erase(it);
  for (const objc_category_def* category : waiting) attach(cls, category);
}

std::vector<const objc_category_def*> take_loadable_categories() {
  expect_runtime_lock();
  std::vector<const objc_category_def*> taken;
  taken.swap(loadable());
  return taken;
}

}  // namespace objc::rt
