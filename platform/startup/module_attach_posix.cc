// POSIX attach entry: an unprioritised constructor, which the static linker
// places after the prioritised ones that queue the module's records.
#include "module_attach.h"

namespace {

// Any object inside the module tells the loader which module this is.
const char module_anchor = 0;

__attribute__((constructor)) void module_attach() { startup::attach_module(&module_anchor); }

}  // namespace
