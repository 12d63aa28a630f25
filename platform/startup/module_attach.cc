// The attach sequence shared by every platform's attach entry.
#include "module_attach.h"

#include <cstdio>
#include <string>

#include "loader.h"

// The runtime library's base name (CORVANE_RUNTIME_NAME) comes from the
// build, with the loader; its entry points are looked up by name. A build may name others
// (a test module does, to attach against entry points that are not there).
#ifndef CORVANE_REGISTER_ENTRY
#  define CORVANE_REGISTER_ENTRY "objc_register_header"
#endif
#ifndef CORVANE_FINISH_ENTRY
#  define CORVANE_FINISH_ENTRY "objc_finish_header"
#endif
#ifndef CORVANE_DROP_ENTRY
#  define CORVANE_DROP_ENTRY "objc_drop_header"
#endif

namespace startup {
namespace {

void* runtime_entry(loader::Handle runtime, const char* name, const std::string& module) {
  void* entry = loader::symbol(runtime, name);
  if (entry == nullptr)
    std::fprintf(stderr, "%s: the runtime's entry point %s was not found; skipped\n", module.c_str(), name);
  return entry;
}

}  // namespace

bool attach_module(const void* anchor) {
  loader::Handle runtime = loader::find_loaded(CORVANE_RUNTIME_NAME);
  std::string path;
  if (!loader::own_path(anchor, kPathBufferSize, path)) {
    // Nothing the module queued may stay: the module is about to go.
    using drop_fn = void (*)(const void*);
    if (auto drop = reinterpret_cast<drop_fn>(loader::symbol(runtime, CORVANE_DROP_ENTRY))) drop(anchor);
    return false;
  }
  using register_fn = void (*)(const char*);
  if (auto reg = reinterpret_cast<register_fn>(runtime_entry(runtime, CORVANE_REGISTER_ENTRY, path)))
    reg(path.c_str());
  using finish_fn = void (*)();
  if (auto finish = reinterpret_cast<finish_fn>(runtime_entry(runtime, CORVANE_FINISH_ENTRY, path))) finish();
  return true;
}

}  // namespace startup
