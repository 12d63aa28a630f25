// NSArray and NSMutableArray: ordered collections that retain their
// elements.
#pragma once

#include <initializer_list>

#include "Foundation/NSObject.h"

// Instance layout of both array classes.
struct NSArrayLayout : NSObjectLayout {
  void* items;  // the element list, created on first use
};

// A new autoreleased immutable array of the given elements (none may be nil).
FOUNDATION_EXPORT id NSArrayOf(std::initializer_list<id> elements);
