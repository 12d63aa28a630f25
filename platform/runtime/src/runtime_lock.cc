// The runtime-wide lock and the fatal-error exit, shared by every file of
// the runtime, and the process's policy for allocation failure.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <new>

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

void objc_out_of_memory() {
  std::fputs("*** out of memory: stopping the process\n", stderr);
  std::abort();
}

namespace {

// Installed when the runtime library is loaded, unless the program has a
// new-handler of its own: operator new then never throws.
[[gnu::constructor]] void install_new_handler() {
  if (std::get_new_handler() == nullptr) std::set_new_handler(&objc_out_of_memory);
}

}  // namespace
