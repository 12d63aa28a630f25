// POSIX loader: dlopen, dlsym, dladdr and dl_iterate_phdr.
#include <dlfcn.h>
#include <link.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

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

namespace {

// The span of a loaded object's loadable segments.
Range span_of(const dl_phdr_info* info) {
  Range range{UINTPTR_MAX, 0};
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    range.begin = std::min(range.begin, begin);
    range.end = std::max(range.end, begin + segment.p_memsz);
  }
  return range;
}

// Every loaded object's span and name, in the loader's order. The name is
// the loader's own record of it, empty for the program itself.
struct Loaded {
  Range range;
  const char* name;
};

std::vector<Loaded> loaded_objects() {
  std::vector<Loaded> objects;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        Range range = span_of(info);
        if (range.begin < range.end)
          static_cast<std::vector<Loaded>*>(data)->push_back({range, info->dlpi_name});
        return 0;
      },
      &objects);
  return objects;
}

}  // namespace

bool module_range(const char* path, Range& range) {
  if (path == nullptr) return false;
  // Named as own_path names it: by what dladdr says of an address inside,
  // which is the loader's record where it has one. dladdr is asked only
  // where it has none, since it also searches the object's symbols.
  for (Loaded object : loaded_objects()) {
    Dl_info info{};
    if ((object.name == nullptr || object.name[0] == '\0') &&
        // NOLINTNEXTLINE(performance-no-int-to-ptr): the range holds an address the loader gave
        dladdr(reinterpret_cast<const void*>(object.range.begin), &info) != 0)
      object.name = info.dli_fname;
    if (object.name != nullptr && std::strcmp(object.name, path) == 0) {
      range = object.range;
      return true;
    }
  }
  return false;
}

bool module_range_at(const void* address, Range& range) {
  for (const Loaded& object : loaded_objects()) {
    if (object.range.contains(address)) {
      range = object.range;
      return true;
    }
  }
  return false;
}

bool is_program(const Range& range) {
  // The loader lists the program first.
  std::vector<Loaded> objects = loaded_objects();
  return !objects.empty() && objects.front().range.begin == range.begin;
}

void pin(const char* path) {
  // A further reference, never given up, to a module already loaded.
  if (path != nullptr) dlopen(path, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace loader
