// The start-up order of startup/module_attach.h in a program whose attach
// handler runs before the dynamic initialisers of its unit with records
// (startup_probe.cc; the build places the start-up objects so): the records
// the attach registers are complete already, because they are constant-
// initialised, and load comes after all of them are registered.
#include <gtest/gtest.h>

#include <string>

#include "objc/module.h"
#include "startup_probe.h"

TEST(StartUp, TheAttachRanBeforeTheProgramsDynamicInitialisers) {
  // Otherwise this program would not show what it is meant to.
  EXPECT_EQ(at_load.loads, 1);
  EXPECT_FALSE(at_load.initialisers_had_run);
  EXPECT_TRUE(initialisers_ran);
}

TEST(StartUp, RecordsAreCompleteWhenTheAttachRegistersThem) {
  ASSERT_EQ(at_load.loads, 1);
  EXPECT_TRUE(at_load.class_methods_complete);
  EXPECT_TRUE(at_load.instance_methods_complete);
  EXPECT_TRUE(at_load.category_complete);
  EXPECT_TRUE(at_load.string_complete);
  EXPECT_EQ(probe_class.cls, objc_getClass("StartupProbe"));
  EXPECT_NE(std::string(class_getModulePath(probe_class.cls)).find("startup_test"), std::string::npos);
}
