// What every AppKit header shares: the export macro for the library's C++
// helpers and Foundation's integer types and object layouts.
#pragma once

#include "Foundation/NSObject.h"

// Exports may pass C++ standard types between DLLs under the heap rule
// written beside FOUNDATION_EXPORT (Foundation/NSObject.h).
#if defined(_WIN32)
#  if defined(APPKIT_BUILD)
#    define APPKIT_EXPORT __declspec(dllexport)
#  else
#    define APPKIT_EXPORT __declspec(dllimport)
#  endif
#else
#  define APPKIT_EXPORT __attribute__((visibility("default")))
#endif
