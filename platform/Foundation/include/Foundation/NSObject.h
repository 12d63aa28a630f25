// The root class NSObject and the conventions every Foundation and AppKit
// unit shares: the export macro, the integer types, and the instance layout
// that holds the reference count.
#pragma once

#include <cstdint>

#include "objc/message.h"
#include "objc/module.h"
#include "objc/objc.h"
#include "objc/runtime.h"

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
