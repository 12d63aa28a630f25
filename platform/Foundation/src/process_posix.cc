// POSIX side of the process interface: /proc/self for the command line and
// the executable, environ, and plain POSIX file calls. Every file-system
// call goes through one of the small wrappers below, which retry a call a
// signal interrupted and, in a fault-injection build, may fail it first.
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "os_process.h"

#if defined(CORVANE_FAULT_INJECTION)
#  include "io_faults.h"
#endif

namespace foundation::os {
namespace {

// Whether the call about to be made is to fail (errno set) instead.
bool faulted([[maybe_unused]] FileCall call) {
#if defined(CORVANE_FAULT_INJECTION)
  if (int error = faults::inject(call)) {
    errno = error;
    return true;
  }
#endif
  return false;
}

// Makes call again while a signal interrupts it before it did anything.
template <class Call>
auto retrying(Call call) {
  for (;;) {
    auto result = call();
    if (result != -1 || errno != EINTR) return result;
  }
}

int open_file(const char* path, int flags, mode_t mode = 0) {
  return retrying([&] { return faulted(FileCall::kOpen) ? -1 : ::open(path, flags, mode); });
}
int stat_path(const char* path, struct stat* info) {
  return faulted(FileCall::kStat) ? -1 : ::stat(path, info);
}
int lstat_path(const char* path, struct stat* info) {
  return faulted(FileCall::kStat) ? -1 : ::lstat(path, info);
}
int stat_open_file(int fd, struct stat* info) { return faulted(FileCall::kStat) ? -1 : ::fstat(fd, info); }
ssize_t read_some(int fd, char* buffer, size_t size) {
  return retrying([&] { return faulted(FileCall::kRead) ? ssize_t{-1} : ::read(fd, buffer, size); });
}
ssize_t write_some(int fd, const char* data, size_t size) {
  return retrying([&] { return faulted(FileCall::kWrite) ? ssize_t{-1} : ::write(fd, data, size); });
}
int sync_file(int fd) {
  return retrying([&] { return faulted(FileCall::kSync) ? -1 : ::fsync(fd); });
}
int rename_file(const char* from, const char* to) {
  return faulted(FileCall::kRename) ? -1 : ::rename(from, to);
}
int lock_file(int fd, int operation) {
  return retrying([&] { return faulted(FileCall::kLock) ? -1 : ::flock(fd, operation); });
}
// mkstemp: a new file 0600 (less what the umask takes away), named from
// pattern, whose last six characters it replaces.
int create_temporary(char* pattern) {
  return retrying([&] { return faulted(FileCall::kCreateTemporary) ? -1 : ::mkstemp(pattern); });
}
int change_mode(int fd, mode_t mode) { return faulted(FileCall::kChangeMode) ? -1 : ::fchmod(fd, mode); }
int change_owner(int fd, uid_t owner, gid_t group) {
  return faulted(FileCall::kChangeOwner) ? -1 : ::fchown(fd, owner, group);
}
int unlink_file(const char* path) { return faulted(FileCall::kUnlink) ? -1 : ::unlink(path); }
int make_directory(const char* path, mode_t mode) {
  return faulted(FileCall::kMakeDirectory) ? -1 : ::mkdir(path, mode);
}
ssize_t read_link(const char* path, char* buffer, size_t size) {
  return faulted(FileCall::kReadLink) ? -1 : ::readlink(path, buffer, size);
}
DIR* open_listing(const char* path) { return faulted(FileCall::kListDirectory) ? nullptr : ::opendir(path); }
// The descriptor is gone whatever close says, so it is never closed
// again: an interrupted close has closed it, and counts as done.
int close_file(int fd) {
  int error = faulted(FileCall::kClose) ? errno : 0;
  int result = ::close(fd);
  if (error != 0) {
    errno = error;
    result = -1;
  }
  return result == -1 && errno == EINTR ? 0 : result;
}
void close_listing(DIR* listing) {
  faulted(FileCall::kClose);  // nothing to report: the listing was read
  ::closedir(listing);
}

std::string describe(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

// Writes all of data to fd, going on after short writes.
bool write_all(int fd, const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = write_some(fd, data.data() + done, data.size() - done);
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// "alice (uid 1000)", or the number alone when it names no user.
std::string user_name(uid_t uid) {
  std::string number = std::to_string(uid);
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return "uid " + number;
  return std::string(found->pw_name) + " (uid " + number + ")";
}
std::string group_name(gid_t gid) {
  std::string number = std::to_string(gid);
  std::vector<char> buffer(16384);
  struct group entry {};
  struct group* found = nullptr;
  if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr)
    return "gid " + number;
  return std::string(found->gr_name) + " (gid " + number + ")";
}

// The replace that would hand a file to another owner, refused.
Status owner_refusal(const std::string& target, const struct stat& old, int error) {
  return Status::failure("not replacing " + target + ": it belongs to user " + user_name(old.st_uid) +
                         " and group " + group_name(old.st_gid) +
                         ", and this process cannot give the new file that owner and group (" +
                         std::strerror(error) + ")");
}

// Flushes the folder holding target, so that a rename in it survives a
// power loss. A file system that cannot flush folders says EINVAL, and
// there is nothing more to do.
Status sync_folder_of(const std::string& target) {
  std::string dir = directory_of(target);
  if (dir.empty()) dir = ".";
  int fd = open_file(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  int error = fd < 0 ? errno : sync_file(fd) != 0 && errno != EINVAL ? errno : 0;
  if (fd >= 0) close_file(fd);
  if (error == 0) return {};
  return Status::failure("replaced " + target + ", but cannot flush its folder " + dir +
                         " to disk: " + std::strerror(error));
}

}  // namespace

bool random_bytes(void* buffer, size_t size) {
  auto* out = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t n = ::getrandom(out, size, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    out += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

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

// Non-blocking, so that a FIFO or a device opens at once and is refused
// rather than waiting for a writer.
Status open_for_reading(const std::string& path, ReadableFile& file) {
  int fd = open_file(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0)
    return Status::failure(describe("cannot open", path, errno), errno == ENOENT || errno == ENOTDIR);
  struct stat info {};
  if (stat_open_file(fd, &info) != 0) {
    int error = errno;
    close_file(fd);
    return Status::failure(describe("cannot read", path, error));
  }
  file.handle = fd;
  file.kind = S_ISREG(info.st_mode)   ? FileKind::kRegular
              : S_ISDIR(info.st_mode) ? FileKind::kDirectory
                                      : FileKind::kOther;
  file.size = static_cast<uint64_t>(info.st_size);
  return {};
}

Status read_some_of(const ReadableFile& file, const std::string& path, char* buffer, size_t size, size_t& n) {
  ssize_t got = read_some(static_cast<int>(file.handle), buffer, size);
  if (got < 0) return Status::failure(describe("cannot read", path, errno));
  n = static_cast<size_t>(got);
  return {};
}

// All of it was read, or reading failed already: a failing close changes
// nothing.
void close_read_file(const ReadableFile& file) { close_file(static_cast<int>(file.handle)); }

Status final_target(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (lstat_path(target.c_str(), &info) != 0) {
      if (errno == ENOENT || errno == ENOTDIR) return {};  // not there (yet)
      return Status::failure(describe("cannot follow", target, errno));
    }
    if (!S_ISLNK(info.st_mode)) return {};
    char link[PATH_MAX];
    ssize_t n = read_link(target.c_str(), link, sizeof link);
    if (n < 0 || n >= static_cast<ssize_t>(sizeof link))
      return Status::failure(describe("cannot follow", target, n < 0 ? errno : ENAMETOOLONG));
    std::string next(link, static_cast<size_t>(n));
    std::string dir = directory_of(target);
    target = next.front() == '/' || dir.empty() ? next : join_path(dir, next);
  }
  return Status::failure(describe("cannot follow", path, ELOOP));
}

Status write_file_atomically(const std::string& target, const std::string& contents) {
  struct stat old {};
  bool replacing = stat_path(target.c_str(), &old) == 0;
  if (!replacing && errno != ENOENT) return Status::failure(describe("cannot replace", target, errno));
  std::string temp = join_path(directory_of(target), temporary_prefix(base_name(target)) + "XXXXXX");
  int fd = create_temporary(temp.data());
  if (fd < 0) return Status::failure(describe("cannot create a temporary file beside", target, errno));
  // Everything after this point that fails removes the temporary file.
  auto abandon = [&](Status why, bool open) {
    if (open) close_file(fd);
    unlink_file(temp.c_str());
    return why;
  };
  if (replacing) {
    // The owner first: a change of owner may clear set-id bits, which the
    // mode then restores.
    struct stat mine {};
    if (stat_open_file(fd, &mine) != 0)
      return abandon(Status::failure(describe("cannot write", temp, errno)), true);
    if ((mine.st_uid != old.st_uid || mine.st_gid != old.st_gid) &&
        change_owner(fd, old.st_uid, old.st_gid) != 0) {
      int error = errno;
      return abandon(error == EPERM ? owner_refusal(target, old, error)
                                    : Status::failure(describe("cannot give an owner to", temp, error)),
                     true);
    }
    if (change_mode(fd, old.st_mode & 07777) != 0)
      return abandon(Status::failure(describe("cannot give a mode to", temp, errno)), true);
  }
  if (!write_all(fd, contents) || sync_file(fd) != 0)
    return abandon(Status::failure(describe("cannot write", temp, errno)), true);
  if (close_file(fd) != 0) return abandon(Status::failure(describe("cannot write", temp, errno)), false);
  if (rename_file(temp.c_str(), target.c_str()) != 0)
    return abandon(Status::failure(describe("cannot replace", target, errno)), false);
  return sync_folder_of(target);
}

void remove_stale_temporaries(const std::string& target) {
  std::string dir = directory_of(target), base = base_name(target);
  DIR* listing = open_listing(dir.empty() ? "." : dir.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (!is_temporary_of(name, base)) continue;
    std::string file = join_path(dir, name);
    struct stat info {};
    if (lstat_path(file.c_str(), &info) == 0 && S_ISREG(info.st_mode)) unlink_file(file.c_str());
  }
  close_listing(listing);
}

Status open_lock_file(const std::string& path, intptr_t& handle) {
  // Never through a link: O_NOFOLLOW fails on one, dangling or not, rather
  // than create or lock the file it names.
  int fd = open_file(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW, 0600);
  if (fd < 0) {
    if (errno == ELOOP)
      return Status::failure("cannot lock " + path + ": it is a symbolic link, not a regular file");
    return Status::failure(describe("cannot open the lock file", path, errno));
  }
  struct stat info {};
  if (stat_open_file(fd, &info) != 0) {
    int error = errno;
    close_file(fd);
    return Status::failure(describe("cannot lock", path, error));
  }
  if (!S_ISREG(info.st_mode)) {
    close_file(fd);
    return Status::failure("cannot lock " + path + ": not a regular file");
  }
  handle = fd;
  return {};
}

// flock, not fcntl: its lock belongs to this open file, so two openers in
// one process exclude each other as well.
LockAttempt try_lock(intptr_t handle, const std::string& path, Status& failure) {
  if (lock_file(static_cast<int>(handle), LOCK_EX | LOCK_NB) == 0) return LockAttempt::kTaken;
  if (errno == EWOULDBLOCK) return LockAttempt::kBusy;
  failure = Status::failure(describe("cannot lock", path, errno));
  return LockAttempt::kFailed;
}

void close_lock_file(intptr_t handle) { close_file(static_cast<int>(handle)); }  // lets the lock go

Status remove_file(const std::string& path) {
  if (unlink_file(path.c_str()) == 0 || errno == ENOENT) return {};
  return Status::failure(describe("cannot remove", path, errno));
}

Status make_directories(const std::string& path) {
  if (path.empty() || is_directory(path)) return {};
  std::string parent = directory_of(path);
  if (!parent.empty() && parent != path) {
    if (Status status = make_directories(parent); !status) return status;
  }
  if (make_directory(path.c_str(), 0700) == 0 || (errno == EEXIST && is_directory(path))) return {};
  return Status::failure(describe("cannot create directory", path, errno));
}

std::string canonical_path(const std::string& path) {
  if (faulted(FileCall::kStat)) return path;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return path;
  std::string result = resolved;
  std::free(resolved);
  return result;
}

bool is_directory(const std::string& path, Status* failure) {
  struct stat info {};
  if (stat_path(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  if (failure != nullptr && errno != ENOENT && errno != ENOTDIR)
    *failure = Status::failure(describe("cannot look at", path, errno));
  return false;
}

namespace {
// The names in directory but "." and "..", only those of regular files when
// files_only.
Status list_names(const std::string& directory, std::vector<std::string>& names, bool files_only) {
  names.clear();
  DIR* dir = open_listing(directory.c_str());
  if (dir == nullptr) return Status::failure(describe("cannot list", directory, errno), errno == ENOENT);
  while (const dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat info {};
    if (!files_only || (stat_path(join_path(directory, name).c_str(), &info) == 0 && S_ISREG(info.st_mode)))
      names.push_back(name);
  }
  close_listing(dir);
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
