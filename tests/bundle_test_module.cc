// A loadable module for the bundle tests: one class, laid out by the build
// as TestModule.bundle/TestModule.so (.dll on Windows).
#include "objc/module.h"

namespace {

int32_t BundleTestModuleClass_answer(id, SEL) { return 42; }

const objc_method_def class_methods[] = {{"answer", objc_imp(&BundleTestModuleClass_answer)}};
objc_class_def module_class = {"BundleTestModuleClass", "NSObject", 0, objc_methods(class_methods),
                               objc_no_methods, Nil};
objc_class_def* const classes[] = {&module_class};
objc_module_record record = {OBJC_MODULE_VERSION, "BundleTestModule", classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(record)

}  // namespace
