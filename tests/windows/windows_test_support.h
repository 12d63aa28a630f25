// The few system calls the Windows tests make, kept apart from the runtime's
// headers: <windows.h> defines a BOOL of its own that clashes with the
// runtime's.
#pragma once

#include <filesystem>

namespace windows_test {

// LoadLibraryW on the full path; nullptr on failure (see last_error).
void* load_library(const std::filesystem::path& file);
// GetModuleHandleA: a module the process has loaded; nullptr names the program.
void* loaded_module(const char* name);
// GetProcAddress.
void* symbol(void* module, const char* name);
unsigned long last_error();
void clear_last_error();
unsigned long process_id();

// The error a load reports when the module's attach notification failed.
inline constexpr unsigned long kDllInitFailed = 1114;  // ERROR_DLL_INIT_FAILED

}  // namespace windows_test
