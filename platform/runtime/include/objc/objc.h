// Basic types of the object runtime: objects, classes, selectors, method
// implementations and the one-byte boolean.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#  if defined(NEXTPDO_BUILD)
#    define OBJC_EXPORT extern "C" __declspec(dllexport)
#  else
#    define OBJC_EXPORT extern "C" __declspec(dllimport)
#  endif
#else
#  define OBJC_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// Thread-local state of the runtime and the framework libraries, which a
// process links at start-up: on ELF the initial-exec model reads it without
// a call into the dynamic loader on every access.
#if defined(__ELF__)
#  define OBJC_FAST_TLS __attribute__((tls_model("initial-exec")))
#else
#  define OBJC_FAST_TLS
#endif

struct objc_class;
struct objc_selector;

// Every object starts with its class reference.
struct objc_object {
  objc_class* isa;
};

using id = objc_object*;
using Class = objc_class*;
using SEL = const objc_selector*;
// A method implementation. Its real type is R (*)(id self, SEL _cmd, Args...);
// callers cast it back to that type before calling.
using IMP = void (*)();
// One byte: zero is false, any other value true.
using BOOL = signed char;

inline constexpr id nil = nullptr;
inline constexpr Class Nil = nullptr;
inline constexpr BOOL YES = 1;
inline constexpr BOOL NO = 0;
