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

// The span of every loaded object's loadable segments, in the loader's
// order.
int collect_range(dl_phdr_info* info, size_t, void* data) {
  Range range{UINTPTR_MAX, 0};
  for (int i = 0; i < info->dlpi_phnum; ++i) {
    const auto& segment = info->dlpi_phdr[i];
    if (segment.p_type != PT_LOAD) continue;
    uintptr_t begin = info->dlpi_addr + segment.p_vaddr;
    range.begin = std::min(range.begin, begin);
    range.end = std::max(range.end, begin + segment.p_memsz);
  }
  if (range.begin < range.end) static_cast<std::vector<Range>*>(data)->push_back(range);
  return 0;
}

std::vector<Range> loaded_ranges() {
  std::vector<Range> ranges;
  dl_iterate_phdr(collect_range, &ranges);
  return ranges;
}

}  // namespace

bool module_range(const char* path, Range& range) {
  if (path == nullptr) return false;
  // Named as own_path names it: by what dladdr says of an address inside.
  for (const Range& candidate : loaded_ranges()) {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(candidate.begin), &info) != 0 && info.dli_fname != nullptr &&
        std::strcmp(info.dli_fname, path) == 0) {
      range = candidate;
      return true;
    }
  }
  return false;
}

bool module_range_at(const void* address, Range& range) {
  for (const Range& candidate : loaded_ranges()) {
    if (candidate.contains(address)) {
      range = candidate;
      return true;
    }
  }
  return false;
}

}  // namespace loader
