// POSIX side of the process interface: /proc/self for the command line and
// the executable, environ, and plain POSIX file calls.
#include <dirent.h>
#include <fcntl.h>
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
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return Status::failure(describe("cannot open", path, errno), errno == ENOENT || errno == ENOTDIR);
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    ::close(fd);
    return Status::failure(describe("cannot read", path, EISDIR));
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
  }
  ::close(fd);
  return {};
}

Status write_file_atomically(const std::string& path, const std::string& contents) {
  std::string temp = path + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) return Status::failure(describe("cannot create a temporary file beside", path, errno));
  ::fchmod(fd, 0644);
  bool written = write_all(fd, contents) && ::fsync(fd) == 0;
  int error = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (!written) {
    ::unlink(temp.c_str());
    return Status::failure(describe("cannot write", temp, error));
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    error = errno;
    ::unlink(temp.c_str());
    return Status::failure(describe("cannot replace", path, error));
  }
  return {};
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

Status list_directory(const std::string& directory, std::vector<std::string>& names) {
  names.clear();
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return Status::failure(describe("cannot list", directory, errno), errno == ENOENT);
  while (const dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (::stat(join_path(directory, name).c_str(), &info) == 0 && S_ISREG(info.st_mode))
      names.push_back(name);
  }
  ::closedir(dir);
  return {};
}

}  // namespace foundation::os
