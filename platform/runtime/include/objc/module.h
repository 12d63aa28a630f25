// What a source unit hands the runtime: its classes, categories and
// constant strings, in one static record per unit. The runtime writes the
// registered class back into each class record, which is how a unit makes
// super sends from its own classes.
//
// Every record type here is built by constant expressions (objc_imp,
// objc_methods, objc_string, objc_module, none of which throws), so a unit's records are data
// that is complete before any code of its module runs; the start-up order
// that relies on it is in startup/module_attach.h.
#pragma once

#include <type_traits>

#include "objc/message.h"

struct objc_method_def {
  const char* name;
  IMP imp;
};

struct objc_method_list {
  const objc_method_def* methods;
  uint32_t count;
};

struct objc_class_def {
  const char* name;
  const char* superclass_name;  // nullptr for a root class
  uint32_t instance_size;
  objc_method_list class_methods;
  objc_method_list instance_methods;
  Class cls;  // written by the runtime when the class is registered
};

struct objc_category_def {
  const char* class_name;
  const char* category_name;
  objc_method_list class_methods;
  objc_method_list instance_methods;
};

// The layout of a static string object. The runtime sets isa to the class
// registered as "NSConstantString" when that class is present.
struct objc_constant_string {
  Class isa;
  int32_t retain_count;  // unused: constant strings live for the process
  const char* bytes;     // UTF-8, not necessarily NUL-terminated
  uint32_t length;       // in bytes
};

struct objc_module_record {
  uint32_t version;
  const char* unit_name;
  objc_class_def* const* classes;
  uint32_t class_count;
  const objc_category_def* const* categories;
  uint32_t category_count;
  objc_constant_string* const* strings;
  uint32_t string_count;
};

inline constexpr uint32_t OBJC_MODULE_VERSION = 1;

// A method function's pointer type, R (*)(id self, SEL _cmd, Args...); any
// other type fails to compile.
template <class P>
struct objc_method_pointer {
  static_assert(std::is_pointer_v<P> && std::is_function_v<std::remove_pointer_t<P>>,
                "a method implementation is a function");
  using type = P;
};

// Casts a method function to IMP. A macro, not a function: the cast of a
// function's address is an address constant, so a method table written with
// it is laid out as data by the compiler and complete before any code of the
// module runs. Through an inline function it would be a call, which the
// compiler may leave to a dynamic initialiser.
#define objc_imp(fn) reinterpret_cast<IMP>(static_cast<typename objc_method_pointer<decltype(fn)>::type>(fn))

template <size_t N>
constexpr objc_method_list objc_methods(const objc_method_def (&list)[N]) noexcept {
  return {list, static_cast<uint32_t>(N)};
}
inline constexpr objc_method_list objc_no_methods = {nullptr, 0};

// One of a unit's lists of record pointers, counted from its array; nullptr
// for a unit with none.
template <class T>
struct objc_record_list {
  T* const* items = nullptr;
  uint32_t count = 0;

  constexpr objc_record_list(std::nullptr_t) noexcept {}
  template <size_t N>
  constexpr objc_record_list(T* const (&list)[N]) noexcept : items(list), count(static_cast<uint32_t>(N)) {}
};

// A unit's record, with each count taken from its array.
constexpr objc_module_record objc_module(const char* unit_name, objc_record_list<objc_class_def> classes,
                                         objc_record_list<const objc_category_def> categories = nullptr,
                                         objc_record_list<objc_constant_string> strings = nullptr) noexcept {
  return {OBJC_MODULE_VERSION, unit_name,        classes.items, classes.count,
          categories.items,    categories.count, strings.items, strings.count};
}

template <size_t N>
constexpr objc_constant_string objc_string(const char (&text)[N]) noexcept {
  return {nullptr, 0, text, static_cast<uint32_t>(N - 1)};
}

// The start of a super send from an instance method of the class that def
// declares: the superclass resolved when the class was registered.
inline objc_super objc_super_of(id self, const objc_class_def& def) { return {self, def.cls->superclass}; }
// The same from a class method: starts at the superclass's metaclass.
inline objc_super objc_super_of_class(id self, const objc_class_def& def) {
  return {self, def.cls->isa->superclass};
}

// Hands a unit's record to the runtime from the module's static-constructor
// table: step 1 of the start-up (startup/module_attach.h). Units of one
// module are queued in link order.
#if defined(_WIN32)
// The C run-time start-up runs the .CRT$XCU table forward, in link order,
// before the constructor list and before the DLL's attach notification.
// (Prioritised constructors of equal priority run in reverse link order
// there, which would queue the units backwards.)
#  define OBJC_MODULE_RECORD(record)                                                             \
    static void objc_exec_##record() { __objc_execClass(&(record)); }                            \
    __attribute__((section(".CRT$XCU"), used)) static void (*const objc_exec_entry_##record)() = \
        objc_exec_##record;
#elif defined(__GNUC__)
#  define OBJC_MODULE_RECORD(record) \
    __attribute__((constructor(101))) static void objc_exec_##record() { __objc_execClass(&(record)); }
#endif
