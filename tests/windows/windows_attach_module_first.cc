// First unit of the windows_attach_test module: the class WinAttachFirst,
// and a category on WinAttachSecond, whose class only arrives with the
// second unit's record.
#include "objc/module.h"
#include "windows_attach_module.h"

namespace {

std::string& log_text() {
  static std::string text;
  return text;
}

// A dynamic initialiser: it must have run before the module registers.
struct NoteAtStart {
  NoteAtStart() { windows_attach_note("init-first"); }
} note_at_start;

void WinAttachFirst_load(id, SEL) { windows_attach_note("load-first"); }
int32_t WinAttachSecond_fromCategory(id, SEL) { return 7; }

const objc_method_def first_class_methods[] = {{"load", objc_imp(&WinAttachFirst_load)}};
objc_class_def first_class = {
    "WinAttachFirst", nullptr, sizeof(objc_object), objc_methods(first_class_methods), objc_no_methods, Nil};
const objc_method_def category_methods[] = {{"fromCategory", objc_imp(&WinAttachSecond_fromCategory)}};
const objc_category_def category = {"WinAttachSecond", "Early", objc_no_methods,
                                    objc_methods(category_methods)};

objc_class_def* const classes[] = {&first_class};
const objc_category_def* const categories[] = {&category};
objc_module_record first_record = {
    OBJC_MODULE_VERSION, "WinAttachFirst", classes, 1, categories, 1, nullptr, 0};

}  // namespace

OBJC_MODULE_RECORD(first_record)

void windows_attach_note(const char* what) {
  if (!log_text().empty()) log_text() += ' ';
  log_text() += what;
}

const char* windows_attach_log() { return log_text().c_str(); }
