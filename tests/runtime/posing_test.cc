// Posing beyond one level: chains of posers, whose names all follow the
// newest poser, and descendants below the replaced class's direct
// subclasses, whose caches posing must refresh as well.
#include <gtest/gtest.h>

#include "objc/module.h"

namespace {

const char* r_name(id, SEL) { return "R"; }
const char* a_name(id, SEL) { return "A"; }
const char* b_name(id, SEL) { return "B"; }
int r_kind(id, SEL) { return 1; }
int a_kind(id, SEL) { return 2; }

const objc_method_def r_methods[] = {{"name", objc_imp(&r_name)}};
const objc_method_def r_class_methods[] = {{"kind", objc_imp(&r_kind)}};
const objc_method_def a_methods[] = {{"name", objc_imp(&a_name)}};
const objc_method_def a_class_methods[] = {{"kind", objc_imp(&a_kind)}};
const objc_method_def b_methods[] = {{"name", objc_imp(&b_name)}};

// R <- S <- G, and the posers A (a subclass of R) and B (a subclass of A);
// U is an unrelated root.
objc_class_def r_def = {
    "PtR", nullptr, sizeof(objc_object), objc_methods(r_class_methods), objc_methods(r_methods), Nil};
objc_class_def s_def = {"PtS", "PtR", sizeof(objc_object), objc_no_methods, objc_no_methods, Nil};
objc_class_def g_def = {"PtG", "PtS", sizeof(objc_object), objc_no_methods, objc_no_methods, Nil};
objc_class_def a_def = {
    "PtA", "PtR", sizeof(objc_object), objc_methods(a_class_methods), objc_methods(a_methods), Nil};
objc_class_def b_def = {"PtB", "PtA", sizeof(objc_object), objc_no_methods, objc_methods(b_methods), Nil};
objc_class_def u_def = {"PtU", nullptr, sizeof(objc_object), objc_no_methods, objc_methods(r_methods), Nil};
objc_class_def* classes[] = {&r_def, &s_def, &g_def, &a_def, &b_def, &u_def};
objc_module_record record = {OBJC_MODULE_VERSION, "PosingTest", classes, 6, nullptr, 0, nullptr, 0};

void register_classes() {
  __objc_execClass(&record);
  objc_register_header("posing_test");
  objc_finish_header();
}

const char* name_of(id object) { return msg<const char*>(object, SELECTOR(name)); }

TEST(PosingChain, EveryNameFollowsTheNewestPoser) {
  register_classes();
  class_poseAs(a_def.cls, r_def.cls);
  EXPECT_EQ(objc_getClass("PtR"), a_def.cls);
  EXPECT_EQ(class_getSuperclass(b_def.cls), a_def.cls);

  class_poseAs(b_def.cls, a_def.cls);
  EXPECT_EQ(objc_getClass("PtR"), b_def.cls);
  EXPECT_EQ(objc_getClass("PtA"), b_def.cls);
  EXPECT_EQ(objc_getClass("PtB"), b_def.cls);
  EXPECT_EQ(objc_getClass("PtU"), u_def.cls);
  // S was moved under A by the first pose and under B by the second.
  EXPECT_EQ(class_getSuperclass(s_def.cls), b_def.cls);
  EXPECT_EQ(class_getSuperclass(b_def.cls), a_def.cls);
  EXPECT_EQ(class_getSuperclass(a_def.cls), r_def.cls);
}

TEST(PosingChain, DescendantsBelowTheDirectSubclassesLoseTheirStaleEntries) {
  register_classes();
  id grandchild = class_createInstance(g_def.cls, 0);
  id unrelated = class_createInstance(u_def.cls, 0);
  EXPECT_STREQ(name_of(grandchild), "R");             // cached in G
  EXPECT_EQ(msg<int>(g_def.cls, SELECTOR(kind)), 1);  // cached in G's metaclass
  EXPECT_STREQ(name_of(unrelated), "R");

  class_poseAs(a_def.cls, r_def.cls);
  EXPECT_STREQ(name_of(grandchild), "A");
  EXPECT_EQ(msg<int>(g_def.cls, SELECTOR(kind)), 2);
  EXPECT_STREQ(name_of(unrelated), "R");

  class_poseAs(b_def.cls, a_def.cls);
  EXPECT_STREQ(name_of(grandchild), "B");
  EXPECT_EQ(msg<int>(g_def.cls, SELECTOR(kind)), 2);  // B inherits A's class method
  object_dispose(grandchild);
  object_dispose(unrelated);
}

}  // namespace
