// The fault-injection hook of the process interface, in builds with
// CORVANE_FAULT_INJECTION only (io_faults.cc): the per-platform file calls
// ask it before each call, and a driver (tests/faults/io_fault_driver.cc)
// arms it to fail one of them.
#pragma once

#include <vector>

#include "Foundation/NSObject.h"
#include "os_process.h"

namespace foundation::os::faults {

// A short name for a kind of call ("open", "fsync", ...).
FOUNDATION_EXPORT const char* name(FileCall call);
// Starts a new count of calls: the call numbered index (from 0) fails once
// with error (an errno value); index -1 fails none. Not for use while
// other threads make file calls.
FOUNDATION_EXPORT void arm(long index, int error);
// The kinds of the calls made since the last arm, in order.
FOUNDATION_EXPORT std::vector<FileCall> calls();
// Asked by the per-platform files before each call: the error it is to
// fail with, or 0 to make it.
int inject(FileCall call);

}  // namespace foundation::os::faults
