// The start-up order of startup/module_attach.h in a program whose attach
// handler runs before the program's own dynamic initialisers (the build
// places the start-up objects so): the records the attach registers are
// complete already, because they are constant-initialised, and load comes
// after all of them are registered.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "objc/module.h"

namespace {

// What load found, written while the program attaches.
struct AtLoad {
  int loads = 0;
  bool initialisers_had_run = false;
  bool class_methods_complete = false;
  bool instance_methods_complete = false;
  bool category_complete = false;
  bool string_complete = false;
};
AtLoad at_load;

// Set by a dynamic initialiser of this unit.
bool initialisers_ran = false;
struct NoteInitialisers {
  NoteInitialisers() { initialisers_ran = std::getenv("CORVANE_BUILD_DIR") != nullptr || !initialisers_ran; }
} note_initialisers;

int32_t StartupProbe_answer(id, SEL) { return 42; }
int32_t StartupProbe_value(id, SEL) { return 7; }
int32_t StartupProbe_Late_extra(id, SEL) { return 9; }
void StartupProbe_load(id self, SEL);

const objc_method_def class_methods[] = {
    {"load", objc_imp(&StartupProbe_load)},
    {"answer", objc_imp(&StartupProbe_answer)},
};
const objc_method_def instance_methods[] = {{"value", objc_imp(&StartupProbe_value)}};
const objc_method_def category_methods[] = {{"extra", objc_imp(&StartupProbe_Late_extra)}};

constinit objc_class_def probe_class = {"StartupProbe",
                                        nullptr,
                                        sizeof(objc_object),
                                        objc_methods(class_methods),
                                        objc_methods(instance_methods),
                                        Nil};
constinit const objc_category_def probe_category = {"StartupProbe", "Late", objc_no_methods,
                                                    objc_methods(category_methods)};
constinit objc_constant_string probe_string = objc_string("probe");

objc_class_def* const classes[] = {&probe_class};
const objc_category_def* const categories[] = {&probe_category};
objc_constant_string* const strings[] = {&probe_string};
constinit objc_module_record probe_record = objc_module("StartupProbe", classes, categories, strings);

bool implements(id receiver, const char* name, IMP expected) {
  return objc_msg_lookup_slow(receiver, sel_registerName(name)) == expected;
}

void StartupProbe_load(id self, SEL) {
  ++at_load.loads;
  at_load.initialisers_had_run = initialisers_ran;
  at_load.class_methods_complete = implements(self, "load", objc_imp(&StartupProbe_load)) &&
                                   implements(self, "answer", objc_imp(&StartupProbe_answer));
  id instance = class_createInstance(reinterpret_cast<Class>(self), 0);
  at_load.instance_methods_complete = implements(instance, "value", objc_imp(&StartupProbe_value));
  at_load.category_complete = implements(instance, "extra", objc_imp(&StartupProbe_Late_extra));
  object_dispose(instance);
  at_load.string_complete = probe_string.length == 5 && std::memcmp(probe_string.bytes, "probe", 5) == 0;
}

}  // namespace

OBJC_MODULE_RECORD(probe_record)

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
