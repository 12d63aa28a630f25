// The module of module_attach_test: one class, and nothing else. The test
// builds it twice: with the attach handler as every module has it, and
// with one that looks for a register entry point the runtime lacks.
#include "objc/module.h"

namespace {

int32_t AttachProbeClass_answer(id, SEL) { return 42; }

const objc_method_def class_methods[] = {{"answer", objc_imp(&AttachProbeClass_answer)}};
objc_class_def probe_class = {"AttachProbeClass",          nullptr,         sizeof(objc_object),
                              objc_methods(class_methods), objc_no_methods, Nil};
objc_class_def* const classes[] = {&probe_class};
objc_module_record record = {OBJC_MODULE_VERSION, "AttachProbe", classes, 1, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(record)

}  // namespace
