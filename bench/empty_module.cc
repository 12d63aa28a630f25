// The baseline of the bundle load benchmark: a module built like the
// bundle's, with the same start-up glue and libraries, whose one record
// holds nothing.
#include "objc/module.h"

namespace {

objc_module_record record = {OBJC_MODULE_VERSION, "EmptyModule", nullptr, 0, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(record)

}  // namespace
