// NSString, NSMutableString and NSConstantString, and the helpers C++
// callers use to move text in and out of string objects.
#pragma once

#include <string>

#include "Foundation/NSObject.h"

// Instance layout of every string class. It equals objc_constant_string, so
// that static NSConstantString objects and heap strings read alike. Heap
// strings own their buffer, which is NUL-terminated; a constant string's
// bytes need not be.
struct NSStringLayout : NSObjectLayout {
  const char* bytes;  // UTF-8
  uint32_t length;    // in bytes
};

// A new autoreleased string holding a copy of text; nil for a null pointer.
FOUNDATION_EXPORT id NSStringFromUTF8(const char* text);
// A new autoreleased string from a printf-style format.
FOUNDATION_EXPORT id NSStringWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The UTF-8 text of a string, or of any object's description; empty for nil.
FOUNDATION_EXPORT std::string NSStringToStd(id string);
