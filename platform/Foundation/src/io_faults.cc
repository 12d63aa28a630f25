// Fault injection for the file calls of the process interface, compiled
// into fault-injection builds only (CORVANE_FAULT_INJECTION): a count of
// the calls made since the driver last armed it, and the one call that is
// to fail. Nothing is counted until the driver first arms it, so a process
// that never does behaves as in any other build.
#include <iterator>
#include <mutex>

#include "io_faults.h"

namespace foundation::os::faults {
namespace {

struct Plan {
  std::mutex lock;
  bool armed = false;
  long next = 0;      // the number the next call gets
  long failing = -1;  // the call that fails, or -1
  int error = 0;      // with this errno value
  std::vector<FileCall> log;
};

Plan& plan() {
  static auto* p = new Plan;
  return *p;
}

}  // namespace

const char* name(FileCall call) {
  static const char* const names[] = {"open",   "stat",  "read",    "write",    "fsync",
                                      "rename", "lock",  "mkstemp", "fchmod",   "fchown",
                                      "unlink", "close", "mkdir",   "readlink", "opendir"};
  static_assert(std::size(names) == static_cast<size_t>(FileCall::kCount));
  return names[static_cast<size_t>(call)];
}

void arm(long index, int error) {
  Plan& p = plan();
  std::lock_guard guard(p.lock);
  p.armed = true;
  p.next = 0;
  p.failing = index;
  p.error = error;
  p.log.clear();
}

std::vector<FileCall> calls() {
  Plan& p = plan();
  std::lock_guard guard(p.lock);
  return p.log;
}

int inject(FileCall call) {
  Plan& p = plan();
  std::lock_guard guard(p.lock);
  if (!p.armed) return 0;
  p.log.push_back(call);
  return p.next++ == p.failing ? p.error : 0;
}

}  // namespace foundation::os::faults
