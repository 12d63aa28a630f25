// Scratch directories for tests, and user defaults kept in one: a test
// program, and the programs it starts, never see the user's own settings or
// another run's.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

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

// Removes dir, and all in it, when this program ends; not when a child it
// forked (a death test's) ends, which may run the same exit code.
inline void remove_at_exit(const std::filesystem::path& dir) {
  struct Directories {
    decltype(CORVANE_TEST_PID) owner = CORVANE_TEST_PID;
    std::vector<std::filesystem::path> paths;
    ~Directories() {
      if (CORVANE_TEST_PID != owner) return;
      std::error_code ignored;
      for (const std::filesystem::path& path : paths) std::filesystem::remove_all(path, ignored);
    }
  };
  static Directories all;
  all.paths.push_back(dir);
}

// A fresh, empty directory under the system's temporary directory, gone
// when this program ends. The process id keeps test processes running side
// by side apart.
inline std::filesystem::path fresh_directory(const char* tag) {
  static int counter = 0;
  auto dir = std::filesystem::temp_directory_path() /
             (std::string("corvane-") + tag + "-" + std::to_string(CORVANE_TEST_PID) + "-" +
              std::to_string(++counter));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  remove_at_exit(dir);
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
// program, once.
inline void keep_defaults_empty(const char* tag) {
  static std::filesystem::path once = use_fresh_defaults(tag);
}

}  // namespace test_support
