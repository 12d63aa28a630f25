// The attach sequence shared by every platform's attach entry.
#include "module_attach.h"

#include <string>

#include "loader.h"

namespace startup {
namespace {

using ctor_fn = void (*)();
// The module's global-constructor and destructor lists. Records are handed
// over by the static-constructor table instead, so both are empty; the
// destructor list is kept for detach, which undoes nothing.
ctor_fn global_ctors[] = {nullptr};
ctor_fn global_dtors[] = {nullptr};
ctor_fn* detach_list = nullptr;

}  // namespace

bool attach_module(const void* anchor) {
  std::string path;
  if (!loader::own_path(anchor, kPathBufferSize, path)) return false;

  loader::Handle runtime = loader::find_loaded("nextpdo");
  using register_fn = void (*)(const char*);
  if (auto reg = reinterpret_cast<register_fn>(loader::symbol(runtime, "objc_register_header")))
    reg(path.c_str());
  for (ctor_fn* c = global_ctors; *c != nullptr; ++c) (*c)();
  detach_list = global_dtors;
  using finish_fn = void (*)();
  if (auto finish = reinterpret_cast<finish_fn>(loader::symbol(runtime, "objc_finish_header"))) finish();
  return true;
}

}  // namespace startup
