// NSNumber: an immutable boolean, integer or floating-point value.
#pragma once

#include "Foundation/NSObject.h"

enum class NSNumberKind : uint8_t { kBool, kInt, kDouble };

// Instance layout of NSNumber.
struct NSNumberLayout : NSObjectLayout {
  NSNumberKind kind;
  int32_t int_value;    // kBool (0 or 1) and kInt
  double double_value;  // kDouble
};

// True if number was made by numberWithBool: (and so prints as YES/NO in
// property lists). Nil and non-numbers yield false.
FOUNDATION_EXPORT bool NSNumberIsBool(id number);
// New autoreleased numbers, for C++ callers.
FOUNDATION_EXPORT id NSNumberFromBool(bool value);
FOUNDATION_EXPORT id NSNumberFromInt(NSInteger value);
FOUNDATION_EXPORT id NSNumberFromDouble(double value);
