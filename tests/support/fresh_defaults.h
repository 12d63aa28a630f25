// Scratch directories for tests, and user defaults kept in one: a test
// program, and the programs it starts, never see the user's own settings or
// another run's.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#if defined(_WIN32)
#  include <process.h>
#  define CORVANE_TEST_PID _getpid()
#else
#  include <unistd.h>
#  define CORVANE_TEST_PID getpid()
#endif

namespace test_support {

// Sets an environment variable for this process and the children it runs.
inline void set_env(const char* name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

// Removes an environment variable from this process and its children.
inline void unset_env(const char* name) {
#if defined(_WIN32)
  _putenv_s(name, "");
#else
  unsetenv(name);
#endif
}

// A fresh, empty directory under the system's temporary directory. The
// process id keeps test processes running side by side apart.
inline std::filesystem::path fresh_directory(const char* tag) {
  static int counter = 0;
  auto dir = std::filesystem::temp_directory_path() /
             (std::string("corvane-") + tag + "-" + std::to_string(CORVANE_TEST_PID) + "-" +
              std::to_string(++counter));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

// Points user defaults, for this process and the programs it runs, at a
// fresh empty directory, so that no run sees another's settings.
inline std::filesystem::path use_fresh_defaults(const char* tag) {
  std::filesystem::path dir = fresh_directory(tag);
  set_env("USER_DEFAULTS_DIR", dir.string());
  return dir;
}

// Points user defaults at a fresh empty directory for the rest of this
// program, once; the directory goes away when the program ends.
inline void keep_defaults_empty(const char* tag) {
  struct Directory {
    std::filesystem::path path;
    ~Directory() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static Directory once{use_fresh_defaults(tag)};
}

}  // namespace test_support
