// Helpers shared by Foundation's own units and not exported: the class
// records of the core classes (for kind tests and super sends) and a few
// string shortcuts.
#pragma once

#include <string>
#include <string_view>

#include "Foundation/NSObject.h"

namespace foundation {

extern objc_class_def NSObject_def;
extern objc_class_def NSString_def;
extern objc_class_def NSMutableString_def;
extern objc_class_def NSConstantString_def;
extern objc_class_def NSNumber_def;
extern objc_class_def NSArray_def;
extern objc_class_def NSMutableArray_def;
extern objc_class_def NSDictionary_def;
extern objc_class_def NSMutableDictionary_def;
extern objc_class_def NSException_def;

// A new autoreleased NSString holding a copy of text.
id make_string(std::string_view text);
// The bytes of an NSString (or of its description, for anything else).
// Nil yields "(null)".
std::string describe(id obj);
// Whether obj is an NSString; cheaper than a message.
inline bool is_string(id obj) { return NSObjectIsKindOf(obj, NSString_def.cls); }

// Adds obj to the innermost autorelease pool of this thread.
void autorelease_add(id obj);

}  // namespace foundation
