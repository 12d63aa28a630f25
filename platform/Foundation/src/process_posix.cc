// POSIX side of the process interface: /proc/self for the command line and
// the executable, environ, and plain POSIX file calls.
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "os_process.h"

extern char** environ;

namespace foundation::os {
namespace {

std::string describe(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

// Writes all of data to fd, retrying short writes and interruptions.
bool write_all(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// The file path leads to: symbolic links followed, each relative one from
// its own directory. path itself when it is not a link or does not exist;
// the last link's target when that does not exist yet.
bool resolve_links(const std::string& path, std::string& resolved, int& error) {
  resolved = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(resolved.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    char target[PATH_MAX];
    ssize_t n = ::readlink(resolved.c_str(), target, sizeof target);
    if (n < 0 || n >= static_cast<ssize_t>(sizeof target)) {
      error = n < 0 ? errno : ENAMETOOLONG;
      return false;
    }
    std::string next(target, static_cast<size_t>(n));
    std::string dir = directory_of(resolved);
    resolved = next.front() == '/' || dir.empty() ? next : join_path(dir, next);
  }
  error = ELOOP;
  return false;
}

}  // namespace

std::vector<std::string> process_arguments() {
  std::string raw;
  if (!read_file("/proc/self/cmdline", raw)) return {};
  std::vector<std::string> arguments;
  size_t start = 0;
  while (start < raw.size()) {
    size_t end = raw.find('\0', start);
    if (end == std::string::npos) end = raw.size();
    arguments.push_back(raw.substr(start, end - start));
    start = end + 1;
  }
  return arguments;
}

int32_t process_id() { return static_cast<int32_t>(::getpid()); }

std::string executable_path() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return "";
  return std::string(buffer, static_cast<size_t>(n));
}

std::optional<std::string> environment_variable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

std::map<std::string, std::string> environment() {
  std::map<std::string, std::string> result;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const char* equals = std::strchr(*entry, '=');
    if (equals == nullptr) continue;
    result.emplace(std::string(*entry, static_cast<size_t>(equals - *entry)), std::string(equals + 1));
  }
  return result;
}

Status read_file(const std::string& path, std::string& contents) {
  contents.clear();
  // Non-blocking, so that a FIFO or a device opens at once and is refused
  // below rather than waiting for a writer.
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return Status::failure(describe("cannot open", path, errno), errno == ENOENT || errno == ENOTDIR);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    int error = errno;
    ::close(fd);
    return Status::failure(describe("cannot read", path, error));
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    if (S_ISDIR(info.st_mode)) return Status::failure(describe("cannot read", path, EISDIR));
    return Status::failure("cannot read " + path + ": not a regular file");
  }
  const std::string too_large =
      "cannot read " + path + ": larger than " + std::to_string(kMaxFileSize >> 20) + " MiB";
  if (static_cast<uintmax_t>(info.st_size) > kMaxFileSize) {
    ::close(fd);
    return Status::failure(too_large);
  }
  char buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      ::close(fd);
      contents.clear();
      return Status::failure(describe("cannot read", path, error));
    }
    contents.append(buffer, static_cast<size_t>(n));
    if (contents.size() > kMaxFileSize) {  // it grew while being read
      ::close(fd);
      contents.clear();
      return Status::failure(too_large);
    }
  }
  ::close(fd);
  return {};
}

Status write_file_atomically(const std::string& path, const std::string& contents) {
  std::string target;
  int error = 0;
  if (!resolve_links(path, target, error)) return Status::failure(describe("cannot follow", path, error));
  struct stat old {};
  bool replacing = ::stat(target.c_str(), &old) == 0;
  std::string temp = target + ".XXXXXX";
  // mkstemp makes the file 0600 (less what the umask takes away): a new
  // domain is private to its user.
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return Status::failure(describe("cannot create a temporary file beside", target, errno));
  bool written =
      (!replacing || ::fchmod(fd, old.st_mode & 07777) == 0) && write_all(fd, contents) && ::fsync(fd) == 0;
  error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    return Status::failure(describe("cannot write", temp, error));
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    error = errno;
    ::unlink(temp.c_str());
    return Status::failure(describe("cannot replace", target, error));
  }
  return {};
}

void remove_stale_temporaries(const std::string& path) {
  std::string target;
  int error = 0;
  if (!resolve_links(path, target, error)) return;
  std::string dir = directory_of(target), base = base_name(target);
  DIR* listing = ::opendir(dir.empty() ? "." : dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (!is_temporary_of(name, base)) continue;
    std::string file = join_path(dir, name);
    struct stat info {};
    if (::lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(file.c_str());
  }
  ::closedir(listing);
}

Status FileLock::acquire(const std::string& path) {
  release();
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY, 0600);
  if (fd < 0) return Status::failure(describe("cannot open the lock file", path, errno));
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Status::failure("cannot lock " + path + ": not a regular file");
  }
  // flock, not fcntl: its lock belongs to this open file, so two openers in
  // one process exclude each other as well.
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    int error = errno;
    ::close(fd);
    return Status::failure(describe("cannot lock", path, error));
  }
  handle_ = fd;
  return {};
}

void FileLock::release() {
  if (handle_ < 0) return;
  ::close(static_cast<int>(handle_));  // closing lets the lock go
  handle_ = -1;
}

Status remove_file(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return {};
  return Status::failure(describe("cannot remove", path, errno));
}

Status make_directories(const std::string& path) {
  if (path.empty() || is_directory(path)) return {};
  std::string parent = directory_of(path);
  if (!parent.empty() && parent != path) {
    if (Status status = make_directories(parent); !status) return status;
  }
  if (::mkdir(path.c_str(), 0755) == 0 || (errno == EEXIST && is_directory(path))) return {};
  return Status::failure(describe("cannot create directory", path, errno));
}

std::string canonical_path(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  std::free(resolved);
  return result;
}

bool is_directory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

namespace {
// The names in directory but "." and "..", only those of regular files when
// files_only.
Status list_names(const std::string& directory, std::vector<std::string>& names, bool files_only) {
  names.clear();
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return Status::failure(describe("cannot list", directory, errno), errno == ENOENT);
  while (const dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (!files_only || (::stat(join_path(directory, name).c_str(), &info) == 0 && S_ISREG(info.st_mode)))
      names.push_back(name);
  }
  ::closedir(dir);
  return {};
}
}  // namespace

Status list_directory(const std::string& directory, std::vector<std::string>& names) {
  return list_names(directory, names, true);
}

Status list_entries(const std::string& directory, std::vector<std::string>& names) {
  return list_names(directory, names, false);
}

}  // namespace foundation::os
