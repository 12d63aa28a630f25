// Operating-system access for reclaiming memory that lock-free readers may
// hold: whether the calling thread is the only thread in the process. One
// implementation per platform (threads_posix.cc, threads_win32.cc).
#pragma once

namespace objc::os {

// True only when the process has exactly one thread, the caller. False
// when it has more, or when the platform cannot tell.
bool only_thread();

}  // namespace objc::os
