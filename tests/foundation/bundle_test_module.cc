// A loadable module for the bundle tests: one class, laid out by the build
// as TestModule.bundle/TestModule.so (.dll on Windows). Its +load asks for
// its own bundle, as a real bundle's entry class does, and counts itself on
// the class registered under its name, so that a second copy of the module
// whose +load ran would be counted too. Last, it tells the test program's
// class BundleTestLoadHook, if there is one, which may raise.
#include "objc/module.h"

namespace {

id bundle_seen_at_load = nil;
int32_t loads = 0;

int32_t BundleTestModuleClass_answer(id, SEL) { return 42; }
// Asks for the class's own bundle while the bundle is still loading it.
void BundleTestModuleClass_load(id self, SEL) {
  bundle_seen_at_load = msg<id>(reinterpret_cast<id>(objc_getClass("NSBundle")), SELECTOR(bundleForClass:),
                                reinterpret_cast<Class>(self));
  msg<void>(reinterpret_cast<id>(objc_getClass("BundleTestModuleClass")), SELECTOR(noteLoad));
  msg<void>(reinterpret_cast<id>(objc_getClass("BundleTestLoadHook")), SELECTOR(moduleDidLoad:), self);
}
void BundleTestModuleClass_noteLoad(id, SEL) { ++loads; }
int32_t BundleTestModuleClass_loadCount(id, SEL) { return loads; }
id BundleTestModuleClass_bundleSeenAtLoad(id, SEL) { return bundle_seen_at_load; }

const objc_method_def class_methods[] = {
    {"answer", objc_imp(&BundleTestModuleClass_answer)},
    {"load", objc_imp(&BundleTestModuleClass_load)},
    {"bundleSeenAtLoad", objc_imp(&BundleTestModuleClass_bundleSeenAtLoad)},
    {"noteLoad", objc_imp(&BundleTestModuleClass_noteLoad)},
    {"loadCount", objc_imp(&BundleTestModuleClass_loadCount)},
};
objc_class_def module_class = {"BundleTestModuleClass",     "NSObject",      0,
                               objc_methods(class_methods), objc_no_methods, Nil};
objc_class_def* const classes[] = {&module_class};
objc_module_record record = {OBJC_MODULE_VERSION, "BundleTestModule", classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(record)

}  // namespace
