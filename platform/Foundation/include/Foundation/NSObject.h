// The root class NSObject and the conventions every Foundation and AppKit
// unit shares: the export macro, the integer types, and the instance layout
// that holds the reference count.
#pragma once

#include <cstdint>

#include "objc/message.h"
#include "objc/module.h"
#include "objc/objc.h"
#include "objc/runtime.h"

// What FOUNDATION_EXPORT (and OBJC_EXPORT, APPKIT_EXPORT) exports may take
// and return C++ standard types (std::string, std::vector, plist::Value:
// DefaultsStore.h, PropertyList.h), so memory one DLL allocates is freed by
// another. On Windows each DLL links its own copy of the C++ run-time
// (cmake/mingw-common.cmake); that is sound only because every copy
// allocates from the one C run-time heap, msvcrt.dll's. A DLL built against
// another C run-time (the UCRT, a debug run-time) or with a heap of its own
// must not exchange such types with the others. The types' layouts must
// also agree, so all DLLs are built by the same compiler.
// tests/windows_heap_test.cc checks it on both Windows targets.
#if defined(_WIN32)
#  if defined(FOUNDATION_BUILD)
#    define FOUNDATION_EXPORT __declspec(dllexport)
#  else
#    define FOUNDATION_EXPORT __declspec(dllimport)
#  endif
#else
#  define FOUNDATION_EXPORT __attribute__((visibility("default")))
#endif

// The target is 32-bit: integers in messages are 32 bits wide.
using NSInteger = int32_t;
using NSUInteger = uint32_t;

// What indexOfObject: and friends yield when nothing matches.
inline constexpr NSUInteger NSNotFound = 0x7fffffff;

// Instance layout of NSObject. The retain count is extra_refs + 1, so the
// zero-filled instance that alloc yields starts with a count of one.
// Subclasses declare `struct NSFooLayout : NSObjectLayout { ... }` with plain
// data members only (alloc zero-fills, it runs no constructors).
struct NSObjectLayout : objc_object {
  int32_t extra_refs;
};

// True if obj is an instance of cls or of one of its subclasses. Nil
// objects and Nil classes yield false.
FOUNDATION_EXPORT bool NSObjectIsKindOf(id obj, Class cls);
