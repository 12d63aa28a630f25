// Registers synthetic classes with the runtime for the benchmarks: chains
// and families of classes with a chosen number of methods each, built at
// run time. Names and method tables live for the process, as the runtime
// keeps pointers to them.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "objc/module.h"

namespace bench {

// The one implementation behind every synthetic method.
inline int synthetic_method(id, SEL, int a) { return a + 1; }

// A synthetic class to register: its name, its superclass's name and the
// names of its instance methods, each implemented by synthetic_method.
struct SyntheticClass {
  std::string name;
  std::string superclass;  // empty for a root class
  std::vector<std::string> methods;
};

class ClassFactory {
 public:
  // Registers the classes, in order, as one module, and returns them in
  // the same order. A superclass must come before its subclasses or be
  // registered already.
  std::vector<Class> add(const std::vector<SyntheticClass>& classes) {
    auto& defs = storage_.emplace_back();
    for (const SyntheticClass& wanted : classes) {
      const char* name = keep(wanted.name);
      const char* super = wanted.superclass.empty() ? nullptr : keep(wanted.superclass);
      auto& list = method_lists_.emplace_back();
      for (const std::string& m : wanted.methods) list.push_back({keep(m), objc_imp(&synthetic_method)});
      objc_method_list methods{list.data(), static_cast<uint32_t>(list.size())};
      defs.defs.push_back(objc_class_def{name, super, 0, objc_no_methods, methods, Nil});
    }
    for (objc_class_def& def : defs.defs) defs.pointers.push_back(&def);
    defs.record = {OBJC_MODULE_VERSION,
                   "Synthetic",
                   defs.pointers.data(),
                   static_cast<uint32_t>(defs.pointers.size()),
                   nullptr,
                   0,
                   nullptr,
                   0};
    __objc_execClass(&defs.record);
    objc_register_header("synthetic");
    objc_finish_header();
    std::vector<Class> registered;
    for (objc_class_def& def : defs.defs) registered.push_back(def.cls);
    return registered;
  }

  // Method names m0: .. m<count-1>: with a prefix, so that levels of a
  // chain do not share selectors.
  static std::vector<std::string> method_names(const std::string& prefix, int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(prefix + std::to_string(i) + ":");
    return names;
  }

 private:
  struct Module {
    std::deque<objc_class_def> defs;
    std::vector<objc_class_def*> pointers;
    objc_module_record record;
  };

  const char* keep(const std::string& text) { return strings_.emplace_back(text).c_str(); }

  std::deque<std::string> strings_;
  std::deque<std::vector<objc_method_def>> method_lists_;
  std::deque<Module> storage_;
};

}  // namespace bench
