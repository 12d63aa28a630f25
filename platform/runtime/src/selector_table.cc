// The selector table: interns selector names so that equal names share one
// SEL and dispatch compares pointers only.
#include <cstring>
#include <deque>
#include <string>
#include <string_view>

#include "runtime_internal.h"

namespace {

struct SelectorTable {
  std::deque<std::string> names;        // stable storage for interned names
  std::deque<objc_selector> selectors;  // stable addresses
  std::unordered_map<std::string_view, SEL> by_name;
};

// Guards the table; separate from runtime_lock because call sites intern
// selectors while the runtime lock may be held (load, for example).
std::mutex& selector_lock() {
  static std::mutex lock;
  return lock;
}

SelectorTable& table() {
  static auto* t = new SelectorTable;  // lives for the process
  return *t;
}

}  // namespace

SEL sel_registerName(const char* name) {
  if (name == nullptr) return nullptr;
  std::lock_guard guard(selector_lock());
  SelectorTable& t = table();
  if (auto it = t.by_name.find(name); it != t.by_name.end()) return it->second;
  const std::string& stored = t.names.emplace_back(name);
  SEL sel = &t.selectors.emplace_back(objc_selector{stored.c_str()});
  t.by_name.emplace(stored, sel);
  return sel;
}

const char* sel_getName(SEL sel) { return sel != nullptr ? sel->name : nullptr; }

namespace objc::rt {

SEL selector_for_load() {
  static const SEL sel = sel_registerName("load");
  return sel;
}

SEL selector_for_initialize() {
  static const SEL sel = sel_registerName("initialize");
  return sel;
}

}  // namespace objc::rt
