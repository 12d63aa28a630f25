// NSArray and NSDictionary: ownership of elements, raising on bad input
// without changing anything, and key matching by value.
#include <gtest/gtest.h>

#include "foundation_test_support.h"
#include "raise_support.h"

using namespace test_support;

namespace {
objc_constant_string constant_key = objc_string("key");
objc_constant_string* const strings[] = {&constant_key};

// Touchy: while g_touchy_armed is set, its hash, isEqual: and description
// raise "Touchy". Keys copy to themselves.
bool g_touchy_armed = true;
void raise_if_armed() {
  if (g_touchy_armed) NSRaise("Touchy", "an element's own method raised");
}
NSUInteger Touchy_hash(id, SEL) {
  raise_if_armed();
  return 1;
}
BOOL Touchy_isEqual(id self, SEL, id other) {
  raise_if_armed();
  return self == other ? YES : NO;
}
id Touchy_description(id, SEL) {
  raise_if_armed();
  return str("touchy");
}
id Touchy_copyWithZone(id self, SEL, void*) { return msg<id>(self, SELECTOR(retain)); }
const objc_method_def touchy_methods[] = {
    {"hash", objc_imp(&Touchy_hash)},
    {"isEqual:", objc_imp(&Touchy_isEqual)},
    {"description", objc_imp(&Touchy_description)},
    {"copyWithZone:", objc_imp(&Touchy_copyWithZone)},
};
objc_class_def touchy_def = {"Touchy", "NSObject", 0, objc_no_methods, objc_methods(touchy_methods), Nil};
objc_class_def* const collection_classes[] = {&touchy_def};
objc_module_record collections_record = {
    OBJC_MODULE_VERSION, "CollectionsTest", collection_classes, 1, nullptr, 0, strings, 1};
OBJC_MODULE_RECORD(collections_record)

id new_touchy() { return msg<id>(cls("Touchy"), SELECTOR(new)); }

id new_mutable_array() {
  return msg<id>(msg<id>(cls("NSMutableArray"), SELECTOR(alloc)), SELECTOR(initWithCapacity:), NSUInteger(2));
}
NSUInteger count(id collection) { return msg<NSUInteger>(collection, SELECTOR(count)); }
}  // namespace

TEST(NSArrayTest, RetainsElementsAndReleasesOnRemovalAndDealloc) {
  g_dealloc_tags.clear();
  id array = new_mutable_array();
  for (int32_t tag = 1; tag <= 4; ++tag) {
    id obj = new_tracked(tag);
    msg<void>(array, SELECTOR(addObject:), obj);
    EXPECT_EQ(retain_count(obj), 2u);
    release(obj);
  }
  msg<void>(array, SELECTOR(removeLastObject));
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{4}));
  msg<void>(array, SELECTOR(removeObjectAtIndex:), NSUInteger(0));
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{4, 1}));
  EXPECT_EQ(count(array), 2u);
  release(array);
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{4, 1, 2, 3}));
}

TEST(NSArrayTest, NilAddRaisesAndLeavesArrayUnchanged) {
  NSAutoreleaseScope pool;
  id array = new_mutable_array();
  msg<void>(array, SELECTOR(addObject:), str("a"));
  EXPECT_EQ(raised_name([&] { msg<void>(array, SELECTOR(addObject:), nil); }), "NSInvalidArgumentException");
  EXPECT_NE(raised_object([&] { msg<void>(array, SELECTOR(insertObject:atIndex:), nil, NSUInteger(0)); }),
            nil);
  EXPECT_NE(
      raised_object([&] { msg<void>(array, SELECTOR(insertObject:atIndex:), str("x"), NSUInteger(5)); }),
      nil);
  EXPECT_EQ(count(array), 1u);
  EXPECT_EQ(NSStringToStd(array), "(a)");
  release(array);
}

TEST(NSArrayTest, RangeErrors) {
  NSAutoreleaseScope pool;
  id array = new_mutable_array();
  EXPECT_EQ(msg<id>(array, SELECTOR(lastObject)), nil);
  EXPECT_EQ(msg<id>(array, SELECTOR(firstObject)), nil);
  EXPECT_EQ(raised_name([&] { msg<void>(array, SELECTOR(removeLastObject)); }), "NSRangeException");
  msg<void>(array, SELECTOR(addObject:), str("a"));
  EXPECT_NE(raised_object([&] { msg<id>(array, SELECTOR(objectAtIndex:), NSUInteger(1)); }), nil);
  EXPECT_NE(raised_object([&] { msg<void>(array, SELECTOR(removeObjectAtIndex:), NSUInteger(7)); }), nil);
  EXPECT_EQ(count(array), 1u);
  release(array);
}

TEST(NSArrayTest, SearchAndRemoveByEqualityOrIdentity) {
  NSAutoreleaseScope pool;
  id array = new_mutable_array();
  id a1 = str("a");
  id a2 = str("a");
  for (id obj : {a1, str("b"), a2, str("c")}) msg<void>(array, SELECTOR(addObject:), obj);
  EXPECT_EQ(msg<NSUInteger>(array, SELECTOR(indexOfObject:), a2), 0u);
  EXPECT_EQ(msg<NSUInteger>(array, SELECTOR(indexOfObjectIdenticalTo:), a2), 2u);
  EXPECT_EQ(msg<NSUInteger>(array, SELECTOR(indexOfObject:), str("zz")), NSNotFound);
  EXPECT_TRUE(msg<BOOL>(array, SELECTOR(containsObject:), str("c")));
  msg<void>(array, SELECTOR(removeObjectIdenticalTo:), a1);
  EXPECT_EQ(NSStringToStd(array), "(b, a, c)");
  msg<void>(array, SELECTOR(insertObject:atIndex:), str("a"), NSUInteger(0));
  msg<void>(array, SELECTOR(removeObject:), str("a"));
  EXPECT_EQ(NSStringToStd(array), "(b, c)");
  msg<void>(array, SELECTOR(removeAllObjects));
  EXPECT_EQ(count(array), 0u);
  release(array);
}

TEST(NSArrayTest, CopyIsImmutableAndIndependent) {
  NSAutoreleaseScope pool;
  id array = new_mutable_array();
  msg<void>(array, SELECTOR(addObject:), str("a"));
  id copy = msg<id>(array, SELECTOR(copy));
  msg<void>(array, SELECTOR(addObject:), str("b"));
  EXPECT_EQ(count(copy), 1u);
  EXPECT_EQ(object_getClass(copy), objc_getClass("NSArray"));
  EXPECT_FALSE(msg<BOOL>(copy, SELECTOR(respondsToSelector:), SELECTOR(addObject:)));
  EXPECT_TRUE(msg<BOOL>(NSArrayOf({str("a"), NSNumberFromInt(1)}), SELECTOR(isEqual:),
                        NSArrayOf({str("a"), NSNumberFromDouble(1.0)})));
  EXPECT_FALSE(msg<BOOL>(copy, SELECTOR(isEqual:), array));
  release(copy);
  release(array);
}

// A dealloc run by a removal sees the array already without the element.
TEST(NSArrayTest, ReleaseDuringRemovalSeesArrayAlreadyChanged) {
  static id s_array;
  static NSUInteger s_count_seen;
  NSAutoreleaseScope pool;
  s_array = new_mutable_array();
  id obj = new_tracked(9);
  msg<void>(s_array, SELECTOR(addObject:), obj);
  release(obj);
  msg<void>(s_array, SELECTOR(addObject:), NSNumberFromInt(0));
  g_on_dealloc = [](id) { s_count_seen = count(s_array); };
  msg<void>(s_array, SELECTOR(removeObjectAtIndex:), NSUInteger(0));
  g_on_dealloc = nullptr;
  EXPECT_EQ(s_count_seen, 1u);
  release(s_array);
}

TEST(NSArrayTest, ElementMethodsThatRaiseLeaveTheArrayAsItWas) {
  NSAutoreleaseScope pool;
  id touchy = new_touchy();
  id array = new_mutable_array();
  msg<void>(array, SELECTOR(addObject:), str("a"));
  msg<void>(array, SELECTOR(addObject:), touchy);
  msg<void>(array, SELECTOR(addObject:), str("b"));
  EXPECT_EQ(raised_name([&] { msg<void>(array, SELECTOR(removeObject:), str("b")); }), "Touchy");
  EXPECT_EQ(raised_name([&] { msg<NSUInteger>(array, SELECTOR(indexOfObject:), str("b")); }), "Touchy");
  EXPECT_EQ(raised_name([&] { msg<id>(array, SELECTOR(description)); }), "Touchy");
  EXPECT_EQ(count(array), 3u);
  EXPECT_EQ(retain_count(touchy), 2u);
  g_touchy_armed = false;
  EXPECT_EQ(NSStringToStd(array), "(a, touchy, b)");
  msg<void>(array, SELECTOR(removeObject:), str("b"));
  EXPECT_EQ(NSStringToStd(array), "(a, touchy)");
  release(array);
  release(touchy);
}

TEST(NSArrayTest, DeallocThatRaisesWhileTheArrayIsFreedLeavesTheRestToThePool) {
  g_dealloc_tags.clear();
  g_on_dealloc = &raise_in_tagged_dealloc;
  g_raising_tag = 2;
  {
    NSAutoreleaseScope pool;
    id array = new_mutable_array();
    for (int32_t tag = 1; tag <= 3; ++tag) {
      id obj = new_tracked(tag);
      msg<void>(array, SELECTOR(addObject:), obj);
      release(obj);
    }
    EXPECT_EQ(raised_name([&] { release(array); }), "DeallocFailed");
    EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{1}));
  }
  // Element 3 got its one release from the pool.
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{1, 3}));
  g_on_dealloc = nullptr;
}

TEST(NSDictionaryTest, EqualButNotIdenticalKeysMatch) {
  NSAutoreleaseScope pool;
  id dict = msg<id>(cls("NSMutableDictionary"), SELECTOR(dictionary));
  id constant = reinterpret_cast<id>(&constant_key);
  msg<void>(dict, SELECTOR(setObject:forKey:), str("first"), constant);
  EXPECT_EQ(NSStringToStd(msg<id>(dict, SELECTOR(objectForKey:), str("key"))), "first");
  msg<void>(dict, SELECTOR(setObject:forKey:), str("second"), str("key"));
  EXPECT_EQ(count(dict), 1u);
  EXPECT_EQ(NSStringToStd(msg<id>(dict, SELECTOR(objectForKey:), constant)), "second");
  EXPECT_EQ(msg<id>(dict, SELECTOR(objectForKey:), str("other")), nil);
  EXPECT_EQ(msg<id>(dict, SELECTOR(objectForKey:), nil), nil);
  msg<void>(dict, SELECTOR(removeObjectForKey:), str("key"));
  EXPECT_EQ(count(dict), 0u);
}

TEST(NSDictionaryTest, KeysAreCopiedValuesRetained) {
  NSAutoreleaseScope pool;
  id dict = msg<id>(msg<id>(cls("NSMutableDictionary"), SELECTOR(alloc)), SELECTOR(init));
  id key = msg<id>(str("k"), SELECTOR(mutableCopy));
  id value = new_tracked(1);
  msg<void>(dict, SELECTOR(setObject:forKey:), value, key);
  msg<void>(key, SELECTOR(appendString:), str("changed"));
  EXPECT_EQ(msg<id>(dict, SELECTOR(objectForKey:), str("k")), value);
  EXPECT_EQ(retain_count(value), 2u);
  g_deallocs = 0;
  release(value);
  release(key);
  msg<void>(dict, SELECTOR(removeAllObjects));
  EXPECT_EQ(g_deallocs, 1);
  release(dict);
}

TEST(NSDictionaryTest, NilObjectOrKeyRaisesAndChangesNothing) {
  NSAutoreleaseScope pool;
  id dict = msg<id>(cls("NSMutableDictionary"), SELECTOR(dictionary));
  msg<void>(dict, SELECTOR(setObject:forKey:), str("v"), str("k"));
  EXPECT_NE(raised_object([&] { msg<void>(dict, SELECTOR(setObject:forKey:), nil, str("k")); }), nil);
  EXPECT_NE(raised_object([&] { msg<void>(dict, SELECTOR(setObject:forKey:), str("w"), nil); }), nil);
  // A key that cannot be copied raises too, before anything is stored.
  id uncopyable = new_tracked(1);
  EXPECT_NE(raised_object([&] { msg<void>(dict, SELECTOR(setObject:forKey:), str("w"), uncopyable); }), nil);
  release(uncopyable);
  EXPECT_EQ(count(dict), 1u);
  EXPECT_EQ(NSStringToStd(msg<id>(dict, SELECTOR(objectForKey:), str("k"))), "v");
}

TEST(NSDictionaryTest, KeyMethodsThatRaiseChangeNothing) {
  NSAutoreleaseScope pool;
  id touchy = new_touchy();
  id value = new_tracked(1);
  id dict = msg<id>(cls("NSMutableDictionary"), SELECTOR(dictionary));
  msg<void>(dict, SELECTOR(setObject:forKey:), str("v"), str("k"));
  EXPECT_EQ(raised_name([&] { msg<void>(dict, SELECTOR(setObject:forKey:), value, touchy); }), "Touchy");
  EXPECT_EQ(raised_name([&] { msg<id>(dict, SELECTOR(objectForKey:), touchy); }), "Touchy");
  EXPECT_EQ(count(dict), 1u);
  // A dictionary made with such a key is released half-made, giving back
  // what it had retained.
  EXPECT_EQ(raised_name([&] { NSDictionaryOf({{str("first"), value}, {touchy, value}}); }), "Touchy");
  EXPECT_EQ(retain_count(value), 1u);
  EXPECT_EQ(retain_count(touchy), 1u);

  g_touchy_armed = false;
  msg<void>(dict, SELECTOR(setObject:forKey:), touchy, str("t"));
  g_touchy_armed = true;
  EXPECT_EQ(raised_name([&] { msg<id>(dict, SELECTOR(description)); }), "Touchy");
  EXPECT_EQ(count(dict), 2u);
  release(value);
  release(touchy);
}

TEST(NSDictionaryTest, DeallocThatRaisesWhileTheDictionaryIsFreedLeavesTheRestToThePool) {
  g_dealloc_tags.clear();
  g_on_dealloc = &raise_in_tagged_dealloc;
  g_raising_tag = 2;
  {
    NSAutoreleaseScope pool;
    id dict = msg<id>(msg<id>(cls("NSMutableDictionary"), SELECTOR(alloc)), SELECTOR(init));
    for (int32_t tag = 1; tag <= 3; ++tag) {
      id obj = new_tracked(tag);
      msg<void>(dict, SELECTOR(setObject:forKey:), obj, NSNumberFromInt(tag));
      release(obj);
    }
    EXPECT_EQ(raised_name([&] { release(dict); }), "DeallocFailed");
    EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{1}));
  }
  EXPECT_EQ(g_dealloc_tags, (std::vector<int32_t>{1, 3}));
  g_on_dealloc = nullptr;
}

TEST(NSDictionaryTest, OrderEqualityCopyAndMerge) {
  NSAutoreleaseScope pool;
  id dict = NSDictionaryOf({{str("b"), NSNumberFromInt(2)}, {str("a"), NSNumberFromInt(1)}});
  EXPECT_EQ(NSStringToStd(msg<id>(dict, SELECTOR(allKeys))), "(b, a)");
  EXPECT_EQ(NSStringToStd(msg<id>(dict, SELECTOR(allValues))), "(2, 1)");
  EXPECT_EQ(NSStringToStd(dict), "{b = 2; a = 1; }");
  id same = NSDictionaryOf({{str("a"), NSNumberFromDouble(1.0)}, {str("b"), NSNumberFromInt(2)}});
  EXPECT_TRUE(msg<BOOL>(dict, SELECTOR(isEqual:), same));
  EXPECT_EQ(msg<id>(dict, SELECTOR(copy)), dict);
  release(dict);  // the copy's reference

  id merged = msg<id>(dict, SELECTOR(mutableCopy));
  msg<void>(merged, SELECTOR(addEntriesFromDictionary:),
            NSDictionaryOf({{str("a"), str("x")}, {str("c"), str("y")}}));
  EXPECT_EQ(NSStringToStd(merged), "{b = 2; a = x; c = y; }");
  id frozen = msg<id>(merged, SELECTOR(copy));
  EXPECT_NE(frozen, merged);
  EXPECT_EQ(object_getClass(frozen), objc_getClass("NSDictionary"));
  msg<void>(merged, SELECTOR(removeAllObjects));
  EXPECT_EQ(count(frozen), 3u);
  release(frozen);
  release(merged);
}

// Past a few entries a dictionary indexes its keys by hash. Keys that hash
// alike (Touchy's hash is always 1) and equal keys that are different
// objects must still be told apart and found, and order must survive
// removal.
TEST(NSDictionaryTest, LargeDictionaryFindsKeysKeepsOrderAndSurvivesRemoval) {
  NSAutoreleaseScope pool;
  g_touchy_armed = false;
  id dict = msg<id>(cls("NSMutableDictionary"), SELECTOR(dictionary));
  std::vector<id> colliding;
  for (int i = 0; i < 20; ++i) {
    colliding.push_back(new_touchy());
    msg<void>(dict, SELECTOR(setObject:forKey:), NSNumberFromInt(i), colliding.back());
  }
  for (int i = 0; i < 2000; ++i)
    msg<void>(dict, SELECTOR(setObject:forKey:), NSNumberFromInt(i),
              str(("key" + std::to_string(i)).c_str()));
  EXPECT_EQ(count(dict), 2020u);
  for (int i = 0; i < 20; ++i)
    EXPECT_TRUE(msg<BOOL>(msg<id>(dict, SELECTOR(objectForKey:), colliding[i]), SELECTOR(isEqual:),
                          NSNumberFromInt(i)))
        << i;
  for (int i = 0; i < 2000; i += 2)
    msg<void>(dict, SELECTOR(removeObjectForKey:), str(("key" + std::to_string(i)).c_str()));
  msg<void>(dict, SELECTOR(setObject:forKey:), str("replaced"), str("key1"));
  EXPECT_EQ(count(dict), 1020u);
  for (int i = 0; i < 2000; ++i) {
    id found = msg<id>(dict, SELECTOR(objectForKey:), str(("key" + std::to_string(i)).c_str()));
    if (i % 2 == 0)
      EXPECT_EQ(found, nil) << i;
    else
      EXPECT_TRUE(msg<BOOL>(found, SELECTOR(isEqual:), i == 1 ? str("replaced") : NSNumberFromInt(i))) << i;
  }
  id keys = msg<id>(dict, SELECTOR(allKeys));
  EXPECT_EQ(msg<id>(keys, SELECTOR(objectAtIndex:), NSUInteger(19)), colliding[19]);
  EXPECT_TRUE(
      msg<BOOL>(msg<id>(keys, SELECTOR(objectAtIndex:), NSUInteger(20)), SELECTOR(isEqual:), str("key1")));
  EXPECT_TRUE(msg<BOOL>(msg<id>(keys, SELECTOR(lastObject)), SELECTOR(isEqual:), str("key1999")));
  id copy = msg<id>(dict, SELECTOR(copy));
  EXPECT_TRUE(msg<BOOL>(copy, SELECTOR(isEqual:), dict));
  release(copy);
  for (id key : colliding) release(key);
  g_touchy_armed = true;
}
