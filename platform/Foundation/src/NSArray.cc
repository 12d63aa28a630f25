// NSArray and NSMutableArray. Elements are retained when they go in and
// released when they come out or the array is deallocated. An element is
// taken out of the list before it is released, so a dealloc that runs
// during the release sees the array already changed, and a dealloc that
// raises cannot make the array release anything twice.
#include "Foundation/NSArray.h"

#include <cstdio>
#include <string>
#include <vector>

#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "foundation_internal.h"

namespace foundation {
namespace {

using Items = std::vector<id>;

Items& items(id self) {
  auto* a = static_cast<NSArrayLayout*>(self);
  if (a->items == nullptr) a->items = new Items;
  return *static_cast<Items*>(a->items);
}

[[noreturn]] void raise_range(id self, const char* method, NSUInteger index, size_t count) {
  char reason[256];
  if (count == 0) {
    std::snprintf(reason, sizeof reason, "-[%s %s]: index %u beyond bounds for empty array",
                  class_getName(object_getClass(self)), method, index);
  } else {
    std::snprintf(reason, sizeof reason, "-[%s %s]: index %u beyond bounds [0 .. %zu]",
                  class_getName(object_getClass(self)), method, index, count - 1);
  }
  NSRaise("NSRangeException", reason);
}

[[noreturn]] void raise_nil(Class cls, const char* method) {
  char reason[256];
  std::snprintf(reason, sizeof reason, "-[%s %s]: attempt to insert nil", class_getName(cls), method);
  NSRaise("NSInvalidArgumentException", reason);
}

BOOL equal(id a, id b) { return a == b || msg<BOOL>(a, SELECTOR(isEqual:), b) != NO ? YES : NO; }

// --- NSArray ---------------------------------------------------------------

id NSArray_array(id self, SEL) {
  return msg<id>(msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(init)), SELECTOR(autorelease));
}
id NSArray_arrayWithObjectsCount(id self, SEL, const id* objects, NSUInteger count) {
  id a = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithObjects:count:), objects, count);
  return msg<id>(a, SELECTOR(autorelease));
}
id NSArray_arrayWithArray(id self, SEL, id other) {
  id a = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithArray:), other);
  return msg<id>(a, SELECTOR(autorelease));
}
id NSArray_init(id self, SEL) {
  items(self);
  return self;
}
id NSArray_initWithCapacity(id self, SEL, NSUInteger capacity) {
  items(self).reserve(capacity);
  return self;
}
// A nil among the objects raises before anything is retained.
id NSArray_initWithObjectsCount(id self, SEL, const id* objects, NSUInteger count) {
  for (NSUInteger i = 0; i < count; ++i) {
    if (objects[i] == nil) {
      Class cls = object_getClass(self);
      msg<void>(self, SELECTOR(release));
      raise_nil(cls, "initWithObjects:count:");
    }
  }
  Items& list = items(self);
  list.reserve(count);
  for (NSUInteger i = 0; i < count; ++i) list.push_back(msg<id>(objects[i], SELECTOR(retain)));
  return self;
}
id NSArray_initWithArray(id self, SEL, id other) {
  Items& list = items(self);
  if (NSObjectIsKindOf(other, NSArray_def.cls)) {
    for (id element : items(other)) list.push_back(msg<id>(element, SELECTOR(retain)));
  }
  return self;
}
void NSArray_dealloc(id self, SEL) {
  auto* a = static_cast<NSArrayLayout*>(self);
  auto* list = static_cast<Items*>(a->items);
  a->items = nullptr;
  if (list != nullptr) {
    Items owned;
    owned.swap(*list);
    delete list;
    // If an element's dealloc raises, the rest go to the pool and the array
    // is freed all the same before the raise goes on.
    NSRunCleaningUpOnRaise([&] { release_all(owned); },
                           [&] { msgSuper<void>(objc_super_of(self, NSArray_def), SELECTOR(dealloc)); });
  }
  msgSuper<void>(objc_super_of(self, NSArray_def), SELECTOR(dealloc));
}
NSUInteger NSArray_count(id self, SEL) { return static_cast<NSUInteger>(items(self).size()); }
id NSArray_objectAtIndex(id self, SEL, NSUInteger index) {
  Items& list = items(self);
  if (index >= list.size()) raise_range(self, "objectAtIndex:", index, list.size());
  return list[index];
}
id NSArray_lastObject(id self, SEL) { return items(self).empty() ? nil : items(self).back(); }
id NSArray_firstObject(id self, SEL) { return items(self).empty() ? nil : items(self).front(); }
NSUInteger NSArray_indexOfObject(id self, SEL, id object) {
  Items& list = items(self);
  for (size_t i = 0; i < list.size(); ++i)
    if (equal(list[i], object)) return static_cast<NSUInteger>(i);
  return NSNotFound;
}
NSUInteger NSArray_indexOfObjectIdenticalTo(id self, SEL, id object) {
  Items& list = items(self);
  for (size_t i = 0; i < list.size(); ++i)
    if (list[i] == object) return static_cast<NSUInteger>(i);
  return NSNotFound;
}
BOOL NSArray_containsObject(id self, SEL, id object) {
  return object != nil && NSArray_indexOfObject(self, nullptr, object) != NSNotFound ? YES : NO;
}
BOOL NSArray_isEqualToArray(id self, SEL, id other) {
  if (self == other) return YES;
  if (!NSObjectIsKindOf(other, NSArray_def.cls)) return NO;
  Items& mine = items(self);
  Items& theirs = items(other);
  if (mine.size() != theirs.size()) return NO;
  for (size_t i = 0; i < mine.size(); ++i)
    if (!equal(mine[i], theirs[i])) return NO;
  return YES;
}
NSUInteger NSArray_hash(id self, SEL) { return static_cast<NSUInteger>(items(self).size()); }
id NSArray_description(id self, SEL) {
  std::string text = "(";
  // An element's description may raise.
  NSRunCleaningUpOnRaise(
      [&] {
        for (size_t i = 0; i < items(self).size(); ++i) {
          if (i != 0) text += ", ";
          text += describe(items(self)[i]);
        }
      },
      [&] { discard(text); });
  text += ")";
  return make_string(text);
}
// An immutable array is never changed, so a copy can share it.
id NSArray_copyWithZone(id self, SEL, void*) { return msg<id>(self, SELECTOR(retain)); }
id NSArray_mutableCopyWithZone(id self, SEL, void*) {
  id copy = msg<id>(reinterpret_cast<id>(NSMutableArray_def.cls), SELECTOR(alloc));
  return msg<id>(copy, SELECTOR(initWithArray:), self);
}

// --- NSMutableArray ----------------------------------------------------------

id NSMutableArray_arrayWithCapacity(id self, SEL, NSUInteger capacity) {
  id a = msg<id>(msg<id>(self, SELECTOR(alloc)), SELECTOR(initWithCapacity:), capacity);
  return msg<id>(a, SELECTOR(autorelease));
}
void NSMutableArray_addObject(id self, SEL, id object) {
  if (object == nil) raise_nil(object_getClass(self), "addObject:");
  items(self).push_back(msg<id>(object, SELECTOR(retain)));
}
void NSMutableArray_insertObjectAtIndex(id self, SEL, id object, NSUInteger index) {
  if (object == nil) raise_nil(object_getClass(self), "insertObject:atIndex:");
  Items& list = items(self);
  if (index > list.size()) raise_range(self, "insertObject:atIndex:", index, list.size());
  list.insert(list.begin() + index, msg<id>(object, SELECTOR(retain)));
}
void NSMutableArray_removeObjectAtIndex(id self, SEL, NSUInteger index) {
  Items& list = items(self);
  if (index >= list.size()) raise_range(self, "removeObjectAtIndex:", index, list.size());
  id removed = list[index];
  list.erase(list.begin() + index);
  msg<void>(removed, SELECTOR(release));
}
void NSMutableArray_removeLastObject(id self, SEL) {
  Items& list = items(self);
  if (list.empty()) NSRaise("NSRangeException", "-[NSMutableArray removeLastObject]: array is empty");
  id removed = list.back();
  list.pop_back();
  msg<void>(removed, SELECTOR(release));
}
// Takes out every element that matches, then releases them. match sends
// nothing.
template <class Match>
void remove_matching(id self, Match match) {
  Items removed;
  {
    Items& list = items(self);
    Items kept;
    for (id element : list) (match(element) ? removed : kept).push_back(element);
    list.swap(kept);
  }
  release_all(removed);
}
void NSMutableArray_removeObject(id self, SEL, id object) {
  if (object == nil) return;
  // Tests for equality before changing anything: isEqual: may raise.
  std::vector<bool> matches;
  NSRunCleaningUpOnRaise(
      [&] {
        for (size_t i = 0; i < items(self).size(); ++i)
          matches.push_back(equal(items(self)[i], object) != NO);
      },
      [&] { discard(matches); });
  size_t i = 0;
  remove_matching(self, [&](id) { return i < matches.size() && matches[i++]; });
}
void NSMutableArray_removeObjectIdenticalTo(id self, SEL, id object) {
  remove_matching(self, [&](id element) { return element == object; });
}
void NSMutableArray_removeAllObjects(id self, SEL) {
  remove_matching(self, [](id) { return true; });
}
void NSMutableArray_addObjectsFromArray(id self, SEL, id other) {
  if (!NSObjectIsKindOf(other, NSArray_def.cls)) return;
  // By index and up to the count at the start: other may be self.
  size_t count = items(other).size();
  for (size_t i = 0; i < count && i < items(other).size(); ++i) {
    id element = items(other)[i];
    items(self).push_back(msg<id>(element, SELECTOR(retain)));
  }
}
void NSMutableArray_replaceObjectAtIndexWithObject(id self, SEL, NSUInteger index, id object) {
  if (object == nil) raise_nil(object_getClass(self), "replaceObjectAtIndex:withObject:");
  Items& list = items(self);
  if (index >= list.size()) raise_range(self, "replaceObjectAtIndex:withObject:", index, list.size());
  id old = list[index];
  list[index] = msg<id>(object, SELECTOR(retain));
  msg<void>(old, SELECTOR(release));
}
id NSMutableArray_copyWithZone(id self, SEL, void*) {
  id copy = msg<id>(reinterpret_cast<id>(NSArray_def.cls), SELECTOR(alloc));
  return msg<id>(copy, SELECTOR(initWithArray:), self);
}

const objc_method_def array_class_methods[] = {
    {"array", objc_imp(&NSArray_array)},
    {"arrayWithObjects:count:", objc_imp(&NSArray_arrayWithObjectsCount)},
    {"arrayWithArray:", objc_imp(&NSArray_arrayWithArray)},
};
const objc_method_def array_methods[] = {
    {"init", objc_imp(&NSArray_init)},
    {"initWithCapacity:", objc_imp(&NSArray_initWithCapacity)},
    {"initWithObjects:count:", objc_imp(&NSArray_initWithObjectsCount)},
    {"initWithArray:", objc_imp(&NSArray_initWithArray)},
    {"dealloc", objc_imp(&NSArray_dealloc)},
    {"count", objc_imp(&NSArray_count)},
    {"objectAtIndex:", objc_imp(&NSArray_objectAtIndex)},
    {"lastObject", objc_imp(&NSArray_lastObject)},
    {"firstObject", objc_imp(&NSArray_firstObject)},
    {"indexOfObject:", objc_imp(&NSArray_indexOfObject)},
    {"indexOfObjectIdenticalTo:", objc_imp(&NSArray_indexOfObjectIdenticalTo)},
    {"containsObject:", objc_imp(&NSArray_containsObject)},
    {"isEqual:", objc_imp(&NSArray_isEqualToArray)},
    {"isEqualToArray:", objc_imp(&NSArray_isEqualToArray)},
    {"hash", objc_imp(&NSArray_hash)},
    {"description", objc_imp(&NSArray_description)},
    {"copyWithZone:", objc_imp(&NSArray_copyWithZone)},
    {"mutableCopyWithZone:", objc_imp(&NSArray_mutableCopyWithZone)},
};
const objc_method_def mutable_array_class_methods[] = {
    {"arrayWithCapacity:", objc_imp(&NSMutableArray_arrayWithCapacity)},
};
const objc_method_def mutable_array_methods[] = {
    {"addObject:", objc_imp(&NSMutableArray_addObject)},
    {"insertObject:atIndex:", objc_imp(&NSMutableArray_insertObjectAtIndex)},
    {"removeObjectAtIndex:", objc_imp(&NSMutableArray_removeObjectAtIndex)},
    {"removeLastObject", objc_imp(&NSMutableArray_removeLastObject)},
    {"removeObject:", objc_imp(&NSMutableArray_removeObject)},
    {"removeObjectIdenticalTo:", objc_imp(&NSMutableArray_removeObjectIdenticalTo)},
    {"removeAllObjects", objc_imp(&NSMutableArray_removeAllObjects)},
    {"addObjectsFromArray:", objc_imp(&NSMutableArray_addObjectsFromArray)},
    {"replaceObjectAtIndex:withObject:", objc_imp(&NSMutableArray_replaceObjectAtIndexWithObject)},
    {"copyWithZone:", objc_imp(&NSMutableArray_copyWithZone)},
};

}  // namespace

objc_class_def NSArray_def = {"NSArray",
                              "NSObject",
                              sizeof(NSArrayLayout),
                              objc_methods(array_class_methods),
                              objc_methods(array_methods),
                              Nil};
objc_class_def NSMutableArray_def = {"NSMutableArray",
                                     "NSArray",
                                     sizeof(NSArrayLayout),
                                     objc_methods(mutable_array_class_methods),
                                     objc_methods(mutable_array_methods),
                                     Nil};

namespace {
objc_class_def* const classes[] = {&NSArray_def, &NSMutableArray_def};
objc_module_record NSArray_record = objc_module("NSArray", classes);
OBJC_MODULE_RECORD(NSArray_record)
}  // namespace

}  // namespace foundation

id NSArrayOf(std::initializer_list<id> elements) {
  return msg<id>(reinterpret_cast<id>(objc_getClass("NSArray")), SELECTOR(arrayWithObjects:count:),
                 elements.begin(), static_cast<NSUInteger>(elements.size()));
}
