// The operating-system access behind NSProcessInfo, NSUserDefaults and
// NSBundle: the process's arguments and executable, environment variables,
// and the few file operations the defaults store and bundles need. The
// rules they share (what read_file takes, and what it says when it does
// not) are in process.cc; each platform's file (process_posix.cc,
// process_win32.cc) holds only its system calls. Nothing else in Foundation
// touches these OS calls directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Foundation/PropertyListLimits.h"

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

// Fills size bytes at buffer from the system's random source. False if the
// system would not give them.
bool random_bytes(void* buffer, size_t size);

// Result of a file operation: ok, or the reason it failed.
struct Status {
  bool ok = true;
  bool not_found = false;  // the file or directory does not exist
  std::string error;       // human-readable, names the path
  explicit operator bool() const { return ok; }
  static Status failure(std::string why, bool missing = false) { return {false, missing, std::move(why)}; }
};

// The largest file read_file takes: the reader's limit.
inline constexpr size_t kMaxFileSize = plist::kMaxFileSize;

// Reads a whole regular file into contents. Opening never waits (a FIFO or
// device fails at once), anything but a regular file is refused, and so is
// a file longer than kMaxFileSize. Readers never stand in the way of a
// writer replacing the file (on Windows the file is opened for sharing with
// deletion).
Status read_file(const std::string& path, std::string& contents);

// The per-platform steps of read_file (process.cc holds its rules): opening
// for reading without waiting, and saying what was opened; reading up to
// size bytes (n == 0 at the end); closing. Failures name the path.
enum class FileKind { kRegular, kDirectory, kOther };
struct ReadableFile {
  intptr_t handle = -1;
  FileKind kind = FileKind::kOther;
  uint64_t size = 0;  // of a regular file, when opened
};
Status open_for_reading(const std::string& path, ReadableFile& file);
Status read_some_of(const ReadableFile& file, const std::string& path, char* buffer, size_t size, size_t& n);
void close_read_file(const ReadableFile& file);

// The file path leads to: symbolic links followed, each relative one from
// its own folder. path itself when it is not a link or does not exist; the
// last link's target when that does not exist yet. Fails when a link
// cannot be read or the chain is too long.
Status final_target(const std::string& path, std::string& target);

// Writes contents to target atomically: into a temporary file beside it,
// flushed to disk, then renamed over target; on POSIX the folder is flushed
// after the rename, so that the new name survives a power loss. target
// must not be a symbolic link (see final_target): a link would be replaced
// by the file. A new file is private to its user; a replaced one keeps its
// mode, and its owner and group: when this process may not give the new
// file that owner, the replace is refused with an error naming the owner.
// On Windows, a replace that a reader's open handle blocks is retried for
// up to two seconds. On failure target is untouched and the temporary file
// is removed (when even that fails, the next write under the lock removes
// it).
Status write_file_atomically(const std::string& target, const std::string& contents);

// How write_file_atomically names its temporary file for a target named
// base, on every platform: '.', base, ".tmp-" and six letters or digits.
// The leading dot and the marker keep it clear of any name a user gives a
// file, and of domain files, whose names never start with '.'.
inline constexpr const char* kTemporaryMarker = ".tmp-";
inline constexpr size_t kTemporaryRandomLength = 6;
inline std::string temporary_prefix(const std::string& base) { return "." + base + kTemporaryMarker; }
inline bool is_temporary_of(const std::string& name, const std::string& base) {
  std::string prefix = temporary_prefix(base);
  if (name.size() != prefix.size() + kTemporaryRandomLength || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size(); ++i) {
    char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// Removes the temporary files write_file_atomically left beside target
// (after a crash, a kill or a full disk), and nothing else. Only for a
// caller that holds the lock every writer of target takes, so that no live
// writer owns one of them. A folder that cannot be listed is left as it is.
void remove_stale_temporaries(const std::string& target);

// An exclusive lock on a lock file, created if missing (private to its
// user), held until release() or destruction. The lock file itself must be
// a regular file: a symbolic link (dangling or not), a folder or a device
// is refused, and nothing is ever created through a link. Opening never
// waits; taking the lock waits at most timeout_ms milliseconds for its
// holder (0: one try), then fails saying so.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() { release(); }
  Status acquire(const std::string& path, int timeout_ms);
  void release();

 private:
  intptr_t handle_ = -1;
};

// The per-platform steps of FileLock (file_lock.cc holds the waiting):
// opening the lock file as a FileLock requires, one attempt at the lock
// (kBusy when another holder has it), and closing, which lets it go.
enum class LockAttempt { kTaken, kBusy, kFailed };
Status open_lock_file(const std::string& path, intptr_t& handle);
LockAttempt try_lock(intptr_t handle, const std::string& path, Status& failure);
void close_lock_file(intptr_t handle);

// Removes a file. A file that is already gone counts as success.
Status remove_file(const std::string& path);
// Creates path and any missing parents, each private to its user (0700 on
// POSIX); an existing directory is fine.
Status make_directories(const std::string& path);
// The absolute form of an existing path, with symbolic links and "." and
// ".." resolved; path unchanged if it cannot be resolved.
std::string canonical_path(const std::string& path);
// True if path names an existing directory. When failure is given, it
// says whether the answer could be had: a path that is missing or not a
// directory leaves it ok, any other error of the system sets it.
bool is_directory(const std::string& path, Status* failure = nullptr);
// Names of the regular files directly inside directory (not sorted).
Status list_directory(const std::string& directory, std::vector<std::string>& names);
// Names of everything directly inside directory, directories included,
// but not "." and ".." (not sorted).
Status list_entries(const std::string& directory, std::vector<std::string>& names);

// The file-system calls the functions above make, by kind. In a build
// with CORVANE_FAULT_INJECTION each of them first asks faults::inject
// (io_faults.h), which can make it fail as the system would; otherwise
// nothing asks.
enum class FileCall {
  kOpen,             // opening a file, a folder or a lock file
  kStat,             // stat, lstat, fstat
  kRead,             // reading a file
  kWrite,            // writing the temporary file
  kSync,             // flushing a file or folder to disk
  kRename,           // the replace
  kLock,             // taking a lock
  kCreateTemporary,  // creating the temporary file
  kChangeMode,       // giving the temporary the old file's mode
  kChangeOwner,      // giving the temporary the old file's owner and group
  kUnlink,           // removing a file
  kClose,            // closing a file, a folder or a lock file
  kMakeDirectory,    // creating a folder
  kReadLink,         // reading a symbolic link
  kListDirectory,    // opening a folder's listing
  kCount
};

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
