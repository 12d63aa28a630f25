// Windows loader: LoadLibraryExW, GetProcAddress and GetModuleFileNameW.
// Paths cross this boundary as UTF-8 and meet the system as wide characters,
// converted as utf.h says.
#include <windows.h>

#include <cstring>

#include "loader.h"
#include "utf.h"

namespace loader {
namespace {

// The system's text for the last error, without its trailing line break.
std::string last_error_text() {
  DWORD code = GetLastError();
  char text[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0,
                                text, sizeof text, nullptr);
  while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ' ||
                        text[length - 1] == '.'))
    text[--length] = '\0';
  std::string result = length > 0 ? std::string(text, length) : std::string("cannot load module");
  return result + " (error " + std::to_string(code) + ")";
}

// The path as the wide-character loader wants it: converted from UTF-8, and
// when too long for the classic limit, made absolute and given the "\\?\"
// prefix (which takes the path literally: backslashes, no "." or "..").
std::wstring loader_path(const char* path) {
  if (path == nullptr) return {};
  std::wstring wide = utf::to_wide(path).value_or(std::wstring());
  if (wide.size() < MAX_PATH) return wide;
  DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (length == 0) return wide;
  std::wstring full(length, L'\0');
  full.resize(GetFullPathNameW(wide.c_str(), length, full.data(), nullptr));
  if (full.size() < 2 || full[1] != L':') return wide;  // not a drive path: left as given
  return L"\\\\?\\" + full;
}

bool is_absolute(const std::wstring& path) {
  return (path.size() > 1 && path[1] == L':') || path[0] == L'\\' || path[0] == L'/';
}

}  // namespace

Handle open(const char* path, std::string& error) {
  std::wstring wide = loader_path(path);
  if (wide.empty()) {
    error = "the path is empty or not valid UTF-8";
    return nullptr;
  }
  // An absolute path also lets the module's own directory serve its
  // dependencies, as it does for a program.
  DWORD flags = is_absolute(wide) ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
  HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, flags);
  if (module == nullptr) {
    // The attach notification returned FALSE, and the system unloaded the
    // module again.
    if (GetLastError() == ERROR_DLL_INIT_FAILED)
      error = "the module did not attach: its path could not be read or is too long";
    else
      error = last_error_text();
  }
  return reinterpret_cast<Handle>(module);
}

void close(Handle module) {
  if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
}

Handle find_loaded(const char* base_name) {
  std::string name = std::string(kLibraryPrefix) + base_name + kModuleSuffix;
  return reinterpret_cast<Handle>(GetModuleHandleA(name.c_str()));
}

void* symbol(Handle module, const char* name) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

bool own_path(const void* address, size_t limit, std::string& path) {
  path.clear();
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<const wchar_t*>(address), &module))
    return false;
  if (limit == 0 || limit > MAXDWORD) return false;
  // The wide-character call, so that a folder named in letters outside the
  // ANSI code page reads as it is. A result that fills the whole buffer is
  // a truncated path (GetModuleFileName then leaves it unterminated on older
  // systems): treated as unreadable.
  std::wstring wide(limit, L'\0');
  DWORD length = GetModuleFileNameW(module, wide.data(), static_cast<DWORD>(limit));
  if (length == 0 || length >= limit) return false;
  // A name that is not valid UTF-16 (an unpaired surrogate) has no UTF-8
  // form: also unreadable, rather than registered with malformed bytes.
  path = utf::to_utf8(std::wstring_view(wide.data(), length));
  if (utf::is_utf8(path)) return true;
  path.clear();
  return false;
}

namespace {

// A module handle is its base address; the image's size is in its headers.
Range image_range(HMODULE module) {
  auto base = reinterpret_cast<uintptr_t>(module);
  auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + static_cast<uintptr_t>(dos->e_lfanew));
  return {base, base + nt->OptionalHeader.SizeOfImage};
}

}  // namespace

bool module_range(const char* path, Range& range) {
  if (path == nullptr) return false;
  std::wstring wide = utf::to_wide(path).value_or(std::wstring());
  if (wide.empty()) return false;
  HMODULE module = GetModuleHandleW(wide.c_str());
  if (module == nullptr) return false;
  range = image_range(module);
  return true;
}

bool module_range_at(const void* address, Range& range) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExW(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<const wchar_t*>(address), &module))
    return false;
  range = image_range(module);
  return true;
}

bool is_program(const Range& range) {
  return range.begin == reinterpret_cast<uintptr_t>(GetModuleHandleW(nullptr));
}

void pin(const char* path) {
  if (path == nullptr) return;
  std::wstring wide = utf::to_wide(path).value_or(std::wstring());
  if (wide.empty()) return;
  HMODULE module = nullptr;
  GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_PIN, wide.c_str(), &module);
}

}  // namespace loader
