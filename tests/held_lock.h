// Holds a domain's lock file as another writer would (flock, or LockFileEx
// on Windows), for tests of what waits for it.
#pragma once

#include <filesystem>

#if defined(_WIN32)
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#else
#  include <fcntl.h>
#  include <sys/file.h>
#  include <unistd.h>
#endif

namespace test_support {

class HeldLock {
 public:
  explicit HeldLock(const std::filesystem::path& path) {
#if defined(_WIN32)
    file_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    OVERLAPPED where{};
    held_ = file_ != INVALID_HANDLE_VALUE &&
            LockFileEx(file_, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &where);
#else
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
#endif
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  ~HeldLock() {
#if defined(_WIN32)
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  bool held() const { return held_; }

 private:
  bool held_ = false;
#if defined(_WIN32)
  HANDLE file_ = INVALID_HANDLE_VALUE;
#else
  int fd_ = -1;
#endif
};

}  // namespace test_support
