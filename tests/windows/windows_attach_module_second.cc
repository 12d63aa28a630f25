// Second unit of the windows_attach_test module: the class WinAttachSecond.
#include "objc/module.h"
#include "windows_attach_module.h"

namespace {

struct NoteAtStart {
  NoteAtStart() { windows_attach_note("init-second"); }
} note_at_start;

void WinAttachSecond_load(id, SEL) { windows_attach_note("load-second"); }

const objc_method_def second_class_methods[] = {{"load", objc_imp(&WinAttachSecond_load)}};
objc_class_def second_class = {"WinAttachSecond",   nullptr,
                               sizeof(objc_object), objc_methods(second_class_methods),
                               objc_no_methods,     Nil};
objc_class_def* const classes[] = {&second_class};
objc_module_record second_record = {
    OBJC_MODULE_VERSION, "WinAttachSecond", classes, 1, nullptr, 0, nullptr, 0};

}  // namespace

OBJC_MODULE_RECORD(second_record)
