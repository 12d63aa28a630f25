// The runtime-wide lock and the fatal-error exit, shared by every file of
// the runtime.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "runtime_internal.h"

namespace objc::rt {

RuntimeMutex& runtime_lock() {
  static auto* lock = new RuntimeMutex;  // lives for the process
  return *lock;
}

void fatal(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::fputs("objc: ", stderr);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::abort();
}

}  // namespace objc::rt
