// The module of windows_heap_test: a DLL with its own copy of the C++
// run-time, as every DLL of the project has, that makes strings for its
// caller to free and frees strings its caller made.
#include <cstddef>
#include <string>

__declspec(dllexport) std::string windows_heap_make(size_t length, char fill) {
  return std::string(length, fill);
}

// The string's storage is freed here, by this module's C++ run-time.
__declspec(dllexport) size_t windows_heap_take(std::string text) { return text.size(); }
