// Operating-system access for loading modules: open a module, find one the
// process has already loaded, look a symbol up by name, and tell a module's
// own path. One implementation per platform (loader_posix.cc,
// loader_win32.cc); nothing else in the platform touches the OS loader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace loader {

using Handle = void*;

// This platform's module naming, defined once by the build: a shared library
// is kLibraryPrefix + name + kModuleSuffix (libnextpdo.so, nextpdo.dll), a
// loadable module name + kModuleSuffix (Corvane.so, Corvane.dll).
inline constexpr char kLibraryPrefix[] = CORVANE_LIBRARY_PREFIX;
inline constexpr char kModuleSuffix[] = CORVANE_MODULE_SUFFIX;

// Loads the module at path. Returns nullptr and sets error on failure.
Handle open(const char* path, std::string& error);
// Unloads a module obtained from open.
void close(Handle module);
// A module the process already has loaded, named by its base name without
// the platform's prefix and suffix ("nextpdo" for libnextpdo.so or
// nextpdo.dll); nullptr if
// it is not loaded. Does not load anything.
Handle find_loaded(const char* base_name);
// The address of an exported symbol, or nullptr.
void* symbol(Handle module, const char* name);
// Sets path to the UTF-8 path of the module that contains address. The
// system is asked for the path in a buffer of `limit` units of its own path
// encoding (bytes on POSIX, UTF-16 characters on Windows), terminator
// included. Returns false, leaving path empty, when the path cannot be read
// or does not fit: a truncated path is never used.
bool own_path(const void* address, size_t limit, std::string& path);
// The addresses a loaded module's image occupies, [begin, end).
struct Range {
  uintptr_t begin = 0;
  uintptr_t end = 0;
  bool contains(const void* address) const {
    auto at = reinterpret_cast<uintptr_t>(address);
    return at >= begin && at < end;
  }
};
// The range of the loaded module whose path, as own_path gives it, is
// path. Returns false when no loaded module has that path.
bool module_range(const char* path, Range& range);
// The range of the loaded module that contains address. Returns false when
// none does.
bool module_range_at(const void* address, Range& range);
// Whether range is the program's own image (not a library it loaded).
bool is_program(const Range& range);
// Keeps the loaded module whose path, as own_path gives it, is path in
// memory for the rest of the process, whatever closes it later.
void pin(const char* path);

// The file name a loadable module has on this platform: Corvane.so or
// Corvane.dll for "Corvane".
inline std::string module_file_name(const std::string& base_name) { return base_name + kModuleSuffix; }

}  // namespace loader
