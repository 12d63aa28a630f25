// The class name table: names hashed a word at a time must still find
// every name whatever its length and however much it shares with others,
// and must not confuse a name with its prefixes or extensions.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "objc/module.h"

namespace {

TEST(ClassTable, NamesOfEveryLengthAndSharedPrefixesResolveExactly) {
  // Lengths around the eight-byte steps of the hash, all sharing a prefix,
  // and enough of them that the table grows while they are added.
  std::deque<std::string> names;
  for (size_t length = 1; length <= 40; ++length) names.push_back(std::string(length, 'C'));
  for (int i = 0; i < 600; ++i) names.push_back("CtClassWithASharedPrefix" + std::to_string(i));
  std::deque<objc_class_def> defs;
  std::vector<objc_class_def*> pointers;
  for (const std::string& name : names) {
    defs.push_back({name.c_str(), nullptr, sizeof(objc_object), objc_no_methods, objc_no_methods, Nil});
    pointers.push_back(&defs.back());
  }
  objc_module_record record = {OBJC_MODULE_VERSION,
                               "ClassTable",
                               pointers.data(),
                               static_cast<uint32_t>(pointers.size()),
                               nullptr,
                               0,
                               nullptr,
                               0};
  __objc_execClass(&record);
  objc_register_header("class_table_test");
  objc_finish_header();

  for (const objc_class_def& def : defs) {
    Class found = objc_getClass(std::string(def.name).c_str());  // a different pointer, same text
    ASSERT_NE(found, Nil) << def.name;
    EXPECT_EQ(found, def.cls) << def.name;
    EXPECT_STREQ(class_getName(found), def.name);
  }
  EXPECT_EQ(objc_getClass(std::string(41, 'C').c_str()), Nil);
  EXPECT_EQ(objc_getClass("CtClassWithASharedPrefix"), Nil);
  EXPECT_EQ(objc_getClass("CtClassWithASharedPrefix6000"), Nil);
  EXPECT_EQ(objc_getClass("CtClassWithASharedPrefix59"), defs[40 + 59].cls);
  EXPECT_EQ(objc_getClass(""), Nil);
  EXPECT_EQ(objc_getClass(nullptr), Nil);
}

}  // namespace
