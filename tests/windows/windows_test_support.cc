// System calls for the Windows tests (see windows_test_support.h).
#include "windows_test_support.h"

#include <windows.h>

namespace windows_test {

void* load_library(const std::filesystem::path& file) {
  return reinterpret_cast<void*>(LoadLibraryW(file.wstring().c_str()));
}
void* loaded_module(const char* name) { return reinterpret_cast<void*>(GetModuleHandleA(name)); }
void* symbol(void* module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}
unsigned long last_error() { return GetLastError(); }
void clear_last_error() { SetLastError(0); }
unsigned long process_id() { return GetCurrentProcessId(); }

}  // namespace windows_test
