// The host's demonstrations: each scenario plays a sequence of user actions
// on the stand-in framework and prints what the user would see, so that a
// run with a patch off and one with it on can be read side by side.
#pragma once

#include <cstdio>

namespace host {

struct Scenario {
  const char* name;
  const char* summary;          // what the user does
  const char* without_patches;  // what goes wrong with the patches off
  const char* with_patches;     // what the patches change
  int (*run)(std::FILE* out);   // returns the process exit code
};

// Every scenario the host knows, ending with one whose name is nullptr.
extern const Scenario kScenarios[];

const Scenario* find_scenario(const char* name);

}  // namespace host
