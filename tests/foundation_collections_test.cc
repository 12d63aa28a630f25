// NSArray and NSDictionary: ownership of elements, raising on bad input
// without changing anything, and key matching by value.
#include <gtest/gtest.h>

#include "foundation_test_support.h"

using namespace test_support;

namespace {
objc_constant_string constant_key = objc_string("key");
objc_constant_string* const strings[] = {&constant_key};
objc_module_record collections_record = {
    OBJC_MODULE_VERSION, "CollectionsTest", nullptr, 0, nullptr, 0, strings, 1};
OBJC_MODULE_RECORD(collections_record)

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
  try {
    msg<void>(array, SELECTOR(addObject:), nil);
    FAIL() << "no exception";
  } catch (const NSRaisedException& e) {
    EXPECT_TRUE(
        msg<BOOL>(msg<id>(e.exception, SELECTOR(name)), SELECTOR(isEqual:), NSInvalidArgumentException));
  }
  EXPECT_THROW(msg<void>(array, SELECTOR(insertObject:atIndex:), nil, NSUInteger(0)), NSRaisedException);
  EXPECT_THROW(msg<void>(array, SELECTOR(insertObject:atIndex:), str("x"), NSUInteger(5)), NSRaisedException);
  EXPECT_EQ(count(array), 1u);
  EXPECT_EQ(NSStringToStd(array), "(a)");
  release(array);
}

TEST(NSArrayTest, RangeErrors) {
  NSAutoreleaseScope pool;
  id array = new_mutable_array();
  EXPECT_EQ(msg<id>(array, SELECTOR(lastObject)), nil);
  EXPECT_EQ(msg<id>(array, SELECTOR(firstObject)), nil);
  try {
    msg<void>(array, SELECTOR(removeLastObject));
    FAIL() << "no exception";
  } catch (const NSRaisedException& e) {
    EXPECT_TRUE(msg<BOOL>(msg<id>(e.exception, SELECTOR(name)), SELECTOR(isEqual:), NSRangeException));
  }
  msg<void>(array, SELECTOR(addObject:), str("a"));
  EXPECT_THROW(msg<id>(array, SELECTOR(objectAtIndex:), NSUInteger(1)), NSRaisedException);
  EXPECT_THROW(msg<void>(array, SELECTOR(removeObjectAtIndex:), NSUInteger(7)), NSRaisedException);
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
  EXPECT_THROW(msg<void>(dict, SELECTOR(setObject:forKey:), nil, str("k")), NSRaisedException);
  EXPECT_THROW(msg<void>(dict, SELECTOR(setObject:forKey:), str("w"), nil), NSRaisedException);
  // A key that cannot be copied raises too, before anything is stored.
  id uncopyable = new_tracked(1);
  EXPECT_THROW(msg<void>(dict, SELECTOR(setObject:forKey:), str("w"), uncopyable), NSRaisedException);
  release(uncopyable);
  EXPECT_EQ(count(dict), 1u);
  EXPECT_EQ(NSStringToStd(msg<id>(dict, SELECTOR(objectForKey:), str("k"))), "v");
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
