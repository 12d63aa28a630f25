// The paths the fault driver runs: the framework paths the sample host
// relies on and the host's scenarios, each written as host code that
// cleans up after a raise (closes what it opened, discards the events it
// queued) so that the same path can run again in the same process.
#pragma once

#include <string>

#include "fault_kinds.h"

namespace faults {

struct Path {
  const char* name;
  void (*run)(std::string& out);  // appends what it shows
  bool scenario;                  // one of the host's scenarios
};

// Every path, ending with {nullptr, nullptr, false}.
const Path* paths();

// The patches' own state, which every run must leave as it found it: the
// matrix patch's counter and the modal window stack ("" when the bundle is
// not part of the program).
std::string bundle_state();

// The bundle's load with both switches on and the kind armed at n.
struct BundleRun {
  bool struck = false;
  bool consistent = true;
};
BundleRun load_bundle_with_fault(const FaultKind& kind, long n);

}  // namespace faults
