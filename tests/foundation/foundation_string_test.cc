// NSString conversions and equality across constant and heap strings, and
// NSNumber equality and kinds.
#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "foundation_test_support.h"
#include "raise_support.h"

using namespace test_support;

namespace {
objc_constant_string constant_hello = objc_string("hello");
objc_constant_string* const strings[] = {&constant_hello};
objc_module_record string_record = {OBJC_MODULE_VERSION, "StringTest", nullptr, 0, nullptr, 0, strings, 1};
OBJC_MODULE_RECORD(string_record)
id hello_constant() { return reinterpret_cast<id>(&constant_hello); }
}  // namespace

TEST(NSStringTest, ConstantAndHeapStringsAreEqualAndHashAlike) {
  NSAutoreleaseScope pool;
  id constant = hello_constant();
  ASSERT_EQ(object_getClass(constant), objc_getClass("NSConstantString"));
  id heap = str("hello");
  EXPECT_NE(constant, heap);
  EXPECT_TRUE(msg<BOOL>(constant, SELECTOR(isEqual:), heap));
  EXPECT_TRUE(msg<BOOL>(heap, SELECTOR(isEqualToString:), constant));
  EXPECT_EQ(msg<NSUInteger>(constant, SELECTOR(hash)), msg<NSUInteger>(heap, SELECTOR(hash)));
  EXPECT_FALSE(msg<BOOL>(heap, SELECTOR(isEqual:), str("hell")));
  EXPECT_FALSE(msg<BOOL>(heap, SELECTOR(isEqual:), nil));
  EXPECT_FALSE(msg<BOOL>(heap, SELECTOR(isEqual:), NSNumberFromInt(5)));
  EXPECT_STREQ(msg<const char*>(constant, SELECTOR(UTF8String)), "hello");
}

// Keys made of blocks that collide under an unkeyed hash of the bytes
// (32-bit FNV-1a, which strings hashed with before) all share its value:
// m such blocks in a row make 2^m keys, and a domain file of 65,536 of them
// turned every dictionary look-up into a scan. Under the keyed hash they
// spread as any keys do.
TEST(NSStringTest, KeysChosenToCollideGetDifferentHashes) {
  NSAutoreleaseScope pool;
  const std::pair<const char*, const char*> blocks[] = {
      {"l9On", "H8aa"}, {"mCCn", "q2aa"}, {"lCCn", "p2aa"}, {"lCCn", "p2aa"}};
  auto unkeyed = [](const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
  };
  std::set<NSUInteger> hashes;
  for (int k = 0; k < 16; ++k) {
    std::string key;
    for (int j = 0; j < 4; ++j) key += (k >> j & 1) != 0 ? blocks[j].second : blocks[j].first;
    ASSERT_EQ(unkeyed(key), unkeyed("l9OnmCCnlCCnlCCn")) << key;
    hashes.insert(msg<NSUInteger>(str(key.c_str()), SELECTOR(hash)));
  }
  EXPECT_GE(hashes.size(), 15u);  // sixteen 32-bit hashes that two share happens once in 10^7
}

TEST(NSStringTest, ConstantStringsIgnoreReferenceCounting) {
  id constant = hello_constant();
  msg<void>(constant, SELECTOR(release));
  msg<void>(constant, SELECTOR(release));
  EXPECT_EQ(msg<id>(constant, SELECTOR(copy)), constant);
  EXPECT_EQ(NSStringToStd(constant), "hello");
}

TEST(NSStringTest, CopyOfImmutableRetainsCopyOfMutableIsNew) {
  NSAutoreleaseScope pool;
  id s = str("abc");
  id copy = msg<id>(s, SELECTOR(copy));
  EXPECT_EQ(copy, s);
  release(copy);
  id m = msg<id>(s, SELECTOR(mutableCopy));
  msg<void>(m, SELECTOR(appendString:), str("def"));
  id frozen = msg<id>(m, SELECTOR(copy));
  EXPECT_NE(frozen, m);
  msg<void>(m, SELECTOR(appendString:), str("!"));
  EXPECT_EQ(NSStringToStd(frozen), "abcdef");
  EXPECT_EQ(NSStringToStd(m), "abcdef!");
  EXPECT_NE(raised_object([&] { msg<void>(m, SELECTOR(appendString:), nil); }), nil);
  EXPECT_EQ(NSStringToStd(m), "abcdef!");
  release(frozen);
  release(m);
}

TEST(NSStringTest, BoolValueFollowsLeadingCharacter) {
  NSAutoreleaseScope pool;
  for (const char* yes : {"YES", "yes", "Y", "true", "T", "1", "9", "  42", "0001", "-1", "+7"})
    EXPECT_TRUE(msg<BOOL>(str(yes), SELECTOR(boolValue))) << yes;
  for (const char* no : {"NO", "no", "false", "0", "", "   ", "x", "000", "-0"})
    EXPECT_FALSE(msg<BOOL>(str(no), SELECTOR(boolValue))) << no;
}

TEST(NSStringTest, IntValueParsesPrefixAndClamps) {
  NSAutoreleaseScope pool;
  EXPECT_EQ(msg<NSInteger>(str("  -42abc"), SELECTOR(intValue)), -42);
  EXPECT_EQ(msg<NSInteger>(str("+17"), SELECTOR(intValue)), 17);
  EXPECT_EQ(msg<NSInteger>(str("abc"), SELECTOR(intValue)), 0);
  EXPECT_EQ(msg<NSInteger>(str("99999999999999999999"), SELECTOR(intValue)), INT32_MAX);
  EXPECT_EQ(msg<NSInteger>(str("-2147483648"), SELECTOR(intValue)), INT32_MIN);
  EXPECT_EQ(msg<NSInteger>(str("-99999999999"), SELECTOR(intValue)), INT32_MIN);
}

TEST(NSStringTest, LengthCountsUtf16Units) {
  NSAutoreleaseScope pool;
  EXPECT_EQ(msg<NSUInteger>(str(""), SELECTOR(length)), 0u);
  EXPECT_EQ(msg<NSUInteger>(str("h\xC3\xA9llo"), SELECTOR(length)), 5u);       // é: two bytes, one unit
  EXPECT_EQ(msg<NSUInteger>(str("a\xF0\x9F\x98\x80"), SELECTOR(length)), 3u);  // emoji: a surrogate pair
}

TEST(NSStringTest, NullCStringRaisesWithoutLeaking) {
  NSAutoreleaseScope pool;
  EXPECT_NE(raised_object([&] {
              msg<id>(cls("NSString"), SELECTOR(stringWithUTF8String:), static_cast<const char*>(nullptr));
            }),
            nil);
  EXPECT_EQ(NSStringFromUTF8(nullptr), nil);
  EXPECT_EQ(NSStringToStd(nil), "");
  EXPECT_EQ(NSStringToStd(NSStringWithFormat("%d-%s", 7, "x")), "7-x");
}

TEST(NSNumberTest, EqualityAcrossKindsAndBoolDetection) {
  NSAutoreleaseScope pool;
  id yes = NSNumberFromBool(true);
  id one = NSNumberFromInt(1);
  id two = NSNumberFromInt(2);
  id two_d = NSNumberFromDouble(2.0);
  EXPECT_TRUE(NSNumberIsBool(yes));
  EXPECT_FALSE(NSNumberIsBool(one));
  EXPECT_FALSE(NSNumberIsBool(str("YES")));
  EXPECT_TRUE(msg<BOOL>(yes, SELECTOR(isEqual:), one));
  EXPECT_TRUE(msg<BOOL>(two, SELECTOR(isEqual:), two_d));
  EXPECT_EQ(msg<NSUInteger>(two, SELECTOR(hash)), msg<NSUInteger>(two_d, SELECTOR(hash)));
  EXPECT_FALSE(msg<BOOL>(two, SELECTOR(isEqual:), NSNumberFromDouble(2.5)));
  EXPECT_FALSE(msg<BOOL>(one, SELECTOR(isEqual:), str("1")));
  EXPECT_EQ(msg<NSInteger>(NSNumberFromDouble(-2.9), SELECTOR(intValue)), -2);
  EXPECT_EQ(msg<NSInteger>(NSNumberFromDouble(1e20), SELECTOR(intValue)), INT32_MAX);
  EXPECT_EQ(NSStringToStd(NSNumberFromDouble(0.1)), "0.1");
  EXPECT_EQ(NSStringToStd(NSNumberFromInt(-3)), "-3");
}
