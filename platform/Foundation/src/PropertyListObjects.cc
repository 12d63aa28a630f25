// Property-list trees to Foundation objects and back.
#include "Foundation/PropertyListObjects.h"

#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "foundation_internal.h"

namespace {

Class class_named(const char* name) { return objc_getClass(name); }

id from_value(const plist::Value& value) {
  if (value.is_string()) return NSStringFromUTF8(value.string().c_str());
  if (value.is_data()) return NSStringFromUTF8(plist::write(value, false).c_str());
  if (value.is_array()) {
    id array = msg<id>(reinterpret_cast<id>(class_named("NSMutableArray")), SELECTOR(array));
    for (const plist::Value& element : value.array())
      msg<void>(array, SELECTOR(addObject:), from_value(element));
    return array;
  }
  id dictionary = msg<id>(reinterpret_cast<id>(class_named("NSMutableDictionary")), SELECTOR(dictionary));
  for (const auto& [key, element] : value.dictionary())
    msg<void>(dictionary, SELECTOR(setObject:forKey:), from_value(element), NSStringFromUTF8(key.c_str()));
  return dictionary;
}

// Builds the tree in place, into value, so that every part of it hangs off
// the caller's root and no frame of the walk holds a container of its own:
// the walk sends to the objects (count, objectAtIndex:, allKeys, ...),
// and those sends may raise.
// The reader takes containers up to kMaxDepth deep, the outermost at depth
// 0; so does this.
bool too_deep(int depth, std::string& why) {
  if (depth < plist::kMaxDepth) return false;
  why = "objects nested deeper than " + std::to_string(plist::kMaxDepth) + " levels";
  return true;
}

bool from_object(id object, int depth, plist::Value& value, std::string& why) {
  if (object == nil) {
    why = "nil cannot be stored in a property list";
    return false;
  }
  if (NSObjectIsKindOf(object, class_named("NSString"))) {
    value = plist::Value(NSStringToStd(object));
    return true;
  }
  if (NSObjectIsKindOf(object, class_named("NSNumber"))) {
    if (NSNumberIsBool(object))
      value = plist::Value(msg<BOOL>(object, SELECTOR(boolValue)) ? "YES" : "NO");
    else
      value = plist::Value(NSStringToStd(msg<id>(object, SELECTOR(description))));
    return true;
  }
  if (NSObjectIsKindOf(object, class_named("NSArray"))) {
    if (too_deep(depth, why)) return false;
    value = plist::Value(plist::Array());
    NSUInteger count = msg<NSUInteger>(object, SELECTOR(count));
    for (NSUInteger i = 0; i < count; ++i) {
      id element = msg<id>(object, SELECTOR(objectAtIndex:), i);
      auto& array = std::get<plist::Array>(value.v);
      array.emplace_back();
      if (!from_object(element, depth + 1, array.back(), why)) return false;
    }
    return true;
  }
  if (NSObjectIsKindOf(object, class_named("NSDictionary"))) {
    if (too_deep(depth, why)) return false;
    value = plist::Value(plist::Dictionary());
    id keys = msg<id>(object, SELECTOR(allKeys));
    NSUInteger count = msg<NSUInteger>(keys, SELECTOR(count));
    for (NSUInteger i = 0; i < count; ++i) {
      id key = msg<id>(keys, SELECTOR(objectAtIndex:), i);
      if (!NSObjectIsKindOf(key, class_named("NSString"))) {
        why = std::string("dictionary keys must be strings, not ") + class_getName(object_getClass(key));
        return false;
      }
      id element = msg<id>(object, SELECTOR(objectForKey:), key);
      // The key's text goes into the tree before the walk goes on: no
      // string of this frame is alive across the sends below.
      plist::Value* slot;
      {
        std::string text = NSStringToStd(key);
        value.dictionary().set(text, plist::Value());
        slot = value.dictionary().find(text);
      }
      if (!from_object(element, depth + 1, *slot, why)) return false;
    }
    return true;
  }
  why = std::string("objects of class ") + class_getName(object_getClass(object)) +
        " cannot be stored in a property list";
  return false;
}

}  // namespace

id NSObjectFromPropertyList(const plist::Value& value) { return from_value(value); }

bool NSPropertyListFromObject(id object, plist::Value& value, std::string& why) {
  plist::Value result;
  bool converted = false;
  NSRunCleaningUpOnRaise([&] { converted = from_object(object, 0, result, why); },
                         [&] { foundation::discard(result); });
  if (!converted) return false;
  value = std::move(result);
  return true;
}
