// The host's demonstrations: each scenario plays a sequence of user actions
// on the stand-in framework and prints what the user would see, so that a
// run with a patch off and one with it on can be read side by side.
#pragma once

#include <cstdio>

namespace host {

struct Scenario {
  const char* name;
  const char* summary;
  int (*run)(std::FILE* out);  // returns the process exit code
};

// Every scenario the host knows, ending with {nullptr, nullptr, nullptr}.
extern const Scenario kScenarios[];

const Scenario* find_scenario(const char* name);

}  // namespace host
