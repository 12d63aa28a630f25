// Helpers shared by Foundation's own units and not exported: the class
// records of the core classes (for kind tests and super sends) and a few
// string shortcuts.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
// Whether obj is an NSString, an NSNumber, an NSDictionary; cheaper than a
// message. The classes are the ones these records registered, so a class
// posing as one of them later does not change the answer for existing
// objects.
inline bool is_string(id obj) { return NSObjectIsKindOf(obj, NSString_def.cls); }
inline bool is_number(id obj) { return NSObjectIsKindOf(obj, NSNumber_def.cls); }
inline bool is_dictionary(id obj) { return NSObjectIsKindOf(obj, NSDictionary_def.cls); }

// Adds obj to the innermost autorelease pool of this thread.
void autorelease_add(id obj);

// A raise jumps over the frames between it and the handler frame that
// catches it, and their C++ destructors do not run. A frame that holds a
// container or string across a send that may reach other code (a method
// of an element, a key, an observer or a subclass, or a dealloc) catches
// with NSRunCleaningUpOnRaise and frees it with discard. make_string never
// raises: it goes to the registered NSString class directly.

// Empties container and frees its storage; for cleanups, whose frame is
// about to be abandoned with its destructors unrun.
template <class Container>
void discard(Container& container) {
  Container empty;
  std::swap(container, empty);
}

// Sends release to each of count objects, in order. If a release raises
// (a dealloc did), the objects after it go to this thread's innermost
// autorelease pool, so that each still gets its one release when that pool
// drains, and the raise goes on.
void release_each(const id* objects, size_t count);
// The same for a list, which is emptied and freed on both paths.
void release_all(std::vector<id>& objects);

// An explicit pool for a stretch of code that may raise: the pool is then
// left open, and the drain of the pool around it releases its objects
// (NSAutoreleaseScope would rely on its destructor, which a raise skips).
id open_pool();
void drain_pool(id pool);

}  // namespace foundation
