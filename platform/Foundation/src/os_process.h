// The operating-system access behind NSProcessInfo, NSUserDefaults and
// NSBundle: the process's arguments and executable, environment variables,
// and the few file operations the defaults store and bundles need. One
// implementation per platform (process_posix.cc, process_win32.cc); nothing
// else in Foundation touches these OS calls directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace foundation::os {

// The process's command line as UTF-8 strings, program name first. Empty if
// the OS will not tell.
std::vector<std::string> process_arguments();
// The process's identifier.
int32_t process_id();
// Absolute path of the running executable, or "" if unknown.
std::string executable_path();
// The value of an environment variable, or nullopt if it is not set.
std::optional<std::string> environment_variable(const std::string& name);
// The whole environment.
std::map<std::string, std::string> environment();

// Result of a file operation: ok, or the reason it failed.
struct Status {
  bool ok = true;
  bool not_found = false;  // the file or directory does not exist
  std::string error;       // human-readable, names the path
  explicit operator bool() const { return ok; }
  static Status failure(std::string why, bool missing = false) { return {false, missing, std::move(why)}; }
};

// The largest file read_file takes, and so the largest property list a
// file may hold.
inline constexpr size_t kMaxFileSize = size_t{16} << 20;

// Reads a whole regular file into contents. Opening never waits (a FIFO or
// device fails at once), anything but a regular file is refused, and so is
// a file longer than kMaxFileSize.
Status read_file(const std::string& path, std::string& contents);
// Writes contents to path atomically: into a temporary file, flushed, then
// renamed over path. When path is a symbolic link the file it leads to is
// replaced, in its own directory, and the link stays. The new file keeps
// the mode of the one it replaces; a new file is private to its user. On
// failure path is untouched and the temporary file is removed. Temporary
// files are named <file>.XXXXXX (six letters or digits) beside the file.
Status write_file_atomically(const std::string& path, const std::string& contents);
// Whether name is base followed by '.' and six letters or digits: how
// write_file_atomically names its temporary file for base, on every
// platform.
inline bool is_temporary_of(const std::string& name, const std::string& base) {
  if (name.size() != base.size() + 7 || name.compare(0, base.size(), base) != 0 || name[base.size()] != '.')
    return false;
  for (size_t i = base.size() + 1; i < name.size(); ++i) {
    char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes the temporary files write_file_atomically left beside the file
// path leads to (after a crash, a kill or a full disk). Only for a caller
// that holds the lock every writer of path takes, so that no live writer
// owns one of them.
void remove_stale_temporaries(const std::string& path);

// An exclusive lock on a lock file, created if missing (private to its
// user), held until release() or destruction. Opening the file never
// waits; taking the lock waits for the holder in another process.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }
  Status acquire(const std::string& path);
  void release();

 private:
  intptr_t handle_ = -1;
};
// Removes a file. A file that is already gone counts as success.
Status remove_file(const std::string& path);
// Creates path and any missing parents; an existing directory is fine.
Status make_directories(const std::string& path);
// The absolute form of an existing path, with symbolic links and "." and
// ".." resolved; path unchanged if it cannot be resolved.
std::string canonical_path(const std::string& path);
// True if path names an existing directory.
bool is_directory(const std::string& path);
// Names of the regular files directly inside directory (not sorted).
Status list_directory(const std::string& directory, std::vector<std::string>& names);
// Names of everything directly inside directory, directories included,
// but not "." and ".." (not sorted).
Status list_entries(const std::string& directory, std::vector<std::string>& names);

// The platform's directory separator, and the characters that separate
// directories in paths this platform accepts.
#if defined(_WIN32)
inline constexpr char kPathSeparator = '\\';
inline constexpr const char* kPathSeparators = "/\\";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr const char* kPathSeparators = "/";
#endif

// The directory part of path without a trailing separator; "" when path has
// none. "/x" yields "/".
inline std::string directory_of(const std::string& path) {
  size_t cut = path.find_last_of(kPathSeparators);
  if (cut == std::string::npos) return "";
  return cut == 0 ? path.substr(0, 1) : path.substr(0, cut);
}
// The last component of path.
inline std::string base_name(const std::string& path) {
  size_t cut = path.find_last_of(kPathSeparators);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}
inline std::string join_path(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  if (std::string(kPathSeparators).find(directory.back()) != std::string::npos) return directory + name;
  return directory + kPathSeparator + name;
}

}  // namespace foundation::os
