// Conversion between property-list trees (PropertyList.h) and Foundation
// objects: strings, numbers, arrays and dictionaries.
#pragma once

#include <string>

#include "Foundation/NSObject.h"
#include "Foundation/PropertyList.h"

// The objects for a tree, autoreleased: strings become NSString, arrays
// NSArray, dictionaries NSDictionary (keys in the tree's order). Data has no
// object class of its own here and becomes the NSString of its text form,
// "<0a1b>".
FOUNDATION_EXPORT id NSObjectFromPropertyList(const plist::Value& value);

// The tree for an object graph. NSString and NSNumber become strings (a
// boolean number as YES or NO, other numbers in decimal), NSArray an array,
// NSDictionary a dictionary whose keys must be strings. Anything else, nil,
// or nesting deeper than plist::kMaxDepth fails with why set and value
// untouched.
FOUNDATION_EXPORT bool NSPropertyListFromObject(id object, plist::Value& value, std::string& why);
