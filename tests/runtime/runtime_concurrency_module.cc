// A loadable module for the runtime's concurrency test, loaded with
// objc_loadModule while other threads send messages: a subclass of a class
// the senders use, and a category adding methods to that class. Its +load
// sends a cached message to the senders' class.
#include "objc/module.h"

namespace {

int kind_seen_at_load = 0;

int ConcModuleSub_value(id self, SEL sel);
void ConcModuleSub_load(id, SEL) {
  kind_seen_at_load = msg<int>(reinterpret_cast<id>(objc_getClass("ConcMid")), SELECTOR(kind));
}
int ConcModuleSub_kindSeenAtLoad(id, SEL) { return kind_seen_at_load; }
int ConcMid_moduleAnswer(id, SEL) { return 42; }

const objc_method_def sub_instance[] = {{"value", objc_imp(&ConcModuleSub_value)}};
const objc_method_def sub_class[] = {
    {"load", objc_imp(&ConcModuleSub_load)},
    {"kindSeenAtLoad", objc_imp(&ConcModuleSub_kindSeenAtLoad)},
};
const objc_method_def mid_instance[] = {{"moduleAnswer", objc_imp(&ConcMid_moduleAnswer)}};

objc_class_def module_sub = {
    "ConcModuleSub", "ConcMid", 0, objc_methods(sub_class), objc_methods(sub_instance), Nil};
const objc_category_def mid_category = {"ConcMid", "ModuleAdditions", objc_no_methods,
                                        objc_methods(mid_instance)};

// ConcMid's value plus 1000, through a super send.
int ConcModuleSub_value(id self, SEL sel) {
  return msgSuper<int>(objc_super_of(self, module_sub), sel) + 1000;
}

objc_class_def* const classes[] = {&module_sub};
const objc_category_def* const categories[] = {&mid_category};
objc_module_record record = {OBJC_MODULE_VERSION, "ConcurrencyModule", classes, 1, categories, 1, nullptr, 0};
OBJC_MODULE_RECORD(record)

}  // namespace
