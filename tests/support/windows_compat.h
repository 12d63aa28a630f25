// The POSIX environment calls a test uses, for Windows builds, on top of the
// C run-time's _putenv_s; nothing elsewhere. A value may also come straight from std::filesystem::path,
// whose c_str() yields wide characters on Windows.
#pragma once

#if defined(_WIN32)
#  include <cstdlib>
#  include <cstring>
#  include <cwchar>
#  include <string>

inline int setenv(const char* name, const char* value, int overwrite) {
  if (overwrite == 0 && std::getenv(name) != nullptr) return 0;
  return _putenv_s(name, value) == 0 ? 0 : -1;
}

inline int setenv(const char* name, const wchar_t* value, int overwrite) {
  std::wstring wide_name(name, name + std::strlen(name));
  if (overwrite == 0 && _wgetenv(wide_name.c_str()) != nullptr) return 0;
  return _wputenv_s(wide_name.c_str(), value) == 0 ? 0 : -1;
}

inline int unsetenv(const char* name) { return _putenv_s(name, "") == 0 ? 0 : -1; }
#endif
