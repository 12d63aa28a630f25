// What the load method of startup_test's probe unit found while the
// program attached (startup_probe.cc).
#pragma once

struct StartupProbeReport {
  int loads = 0;
  bool initialisers_had_run = false;  // the unit's dynamic initialiser had run
  bool class_methods_complete = false;
  bool instance_methods_complete = false;
  bool category_complete = false;
  bool string_complete = false;
};
extern StartupProbeReport at_load;
// Set by the probe unit's dynamic initialiser.
extern bool initialisers_ran;
// The probe class's record, whose class the runtime writes back.
struct objc_class_def;
extern objc_class_def probe_class;
