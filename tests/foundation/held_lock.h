// Holds a domain's lock file as another writer would (flock, or a lock on
// its first byte on Windows, which the store's LockFileEx respects), for
// tests of what waits for it.
#pragma once

#include <filesystem>

#if defined(_WIN32)
#  include <fcntl.h>
#  include <io.h>
#  include <share.h>
#  include <sys/locking.h>
#  include <sys/stat.h>
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
    _wsopen_s(&fd_, path.c_str(), _O_RDWR | _O_CREAT | _O_BINARY, _SH_DENYNO, _S_IREAD | _S_IWRITE);
    held_ = fd_ >= 0 && _locking(fd_, _LK_NBLCK, 1) == 0;
#else
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
#endif
  }
  HeldLock(const HeldLock&) = delete;
  HeldLock& operator=(const HeldLock&) = delete;
  ~HeldLock() {
#if defined(_WIN32)
    if (fd_ >= 0) _close(fd_);
#else
    if (fd_ >= 0) ::close(fd_);
#endif
  }
  bool held() const { return held_; }

 private:
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace test_support
