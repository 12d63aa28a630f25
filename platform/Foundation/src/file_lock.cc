// FileLock's waiting, the same on every platform: the lock is tried
// without blocking, again and again with growing pauses (1 ms, doubling up
// to 20 ms), until it is taken or the caller's time is up. The opening,
// the attempt and the closing are per platform (process_*.cc).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>

#include "os_process.h"

namespace foundation::os {

Status FileLock::acquire(const std::string& path, int timeout_ms) {
  release();
  intptr_t handle = -1;
  if (Status status = open_lock_file(path, handle); !status) return status;
  auto start = std::chrono::steady_clock::now();
  int pause_ms = 1;
  for (;;) {
    Status failure;
    switch (try_lock(handle, path, failure)) {
      case LockAttempt::kTaken:
        handle_ = handle;
        return {};
      case LockAttempt::kFailed:
        close_lock_file(handle);
        return failure;
      case LockAttempt::kBusy:
        break;
    }
    auto waited =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    if (waited.count() >= timeout_ms) {
      close_lock_file(handle);
      char seconds[32];
      std::snprintf(seconds, sizeof seconds, "%g", timeout_ms / 1000.0);
      return Status::failure("cannot lock " + path + ": another process has held it for " +
                             std::string(seconds) + " s; giving up");
    }
    std::this_thread::sleep_for(
        std::chrono::milliseconds(std::min<long long>(pause_ms, timeout_ms - waited.count())));
    pause_ms = std::min(pause_ms * 2, 20);
  }
}

void FileLock::release() {
  if (handle_ == -1) return;
  close_lock_file(handle_);
  handle_ = -1;
}

}  // namespace foundation::os
