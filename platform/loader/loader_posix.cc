// POSIX loader: dlopen, dlsym and dladdr.
#include <dlfcn.h>

#include <cstring>

#include "loader.h"

namespace loader {

Handle open(const char* path, std::string& error) {
  void* module = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "cannot load module";
  }
  return module;
}

void close(Handle module) {
  if (module != nullptr) dlclose(module);
}

Handle find_loaded(const char* base_name) {
  std::string name = std::string(kLibraryPrefix) + base_name + kModuleSuffix;
  return dlopen(name.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

void* symbol(Handle module, const char* name) { return module != nullptr ? dlsym(module, name) : nullptr; }

bool own_path(const void* address, size_t limit, std::string& path) {
  path.clear();
  Dl_info info{};
  if (dladdr(address, &info) == 0 || info.dli_fname == nullptr) return false;
  size_t length = std::strlen(info.dli_fname);
  if (length == 0 || length >= limit) return false;
  path.assign(info.dli_fname, length);
  return true;
}

}  // namespace loader
