// NSDictionary and NSMutableDictionary: key-value tables that copy their
// keys and retain their values, keeping keys in insertion order.
#pragma once

#include <initializer_list>
#include <utility>

#include "Foundation/NSObject.h"

// Instance layout of both dictionary classes.
struct NSDictionaryLayout : NSObjectLayout {
  void* entries;  // the entry list, created on first use
};

// A new autoreleased immutable dictionary of {key, value} pairs (no nils;
// a repeated key keeps the later value).
FOUNDATION_EXPORT id NSDictionaryOf(std::initializer_list<std::pair<id, id>> entries);
