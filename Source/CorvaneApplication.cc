// The CorvaneApplication unit: the application patch class and the modal
// window stack it keeps.
#include "objc/module.h"

// ---------------------------------------------------------------------------
// The unit's record.

static objc_module_record CorvaneApplication_unit = {
    OBJC_MODULE_VERSION, "CorvaneApplication", nullptr, 0, nullptr, 0, nullptr, 0};
OBJC_MODULE_RECORD(CorvaneApplication_unit)
