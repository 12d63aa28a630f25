// The unit startup_test registers: a class, a category and a constant
// string, and a dynamic initialiser. Its load method reports what it found.
#include "startup_probe.h"

#include <cstdlib>
#include <cstring>

#include "objc/module.h"

StartupProbeReport at_load;
bool initialisers_ran = false;

namespace {

struct NoteInitialisers {
  NoteInitialisers() noexcept {
    initialisers_ran = std::getenv("CORVANE_BUILD_DIR") != nullptr || !initialisers_ran;
  }
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

}  // namespace

constinit objc_class_def probe_class = {"StartupProbe",
                                        nullptr,
                                        sizeof(objc_object),
                                        objc_methods(class_methods),
                                        objc_methods(instance_methods),
                                        Nil};
namespace {

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
