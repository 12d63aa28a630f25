// The table of the host's scenarios. Each lives in a file of its own.
#include "scenarios.h"

#include <cstring>

namespace host {

int run_matrix_scenario(std::FILE* out);
int run_page_layout_scenario(std::FILE* out);
int run_modal_scenario(std::FILE* out);
int run_nested_scenario(std::FILE* out);

const Scenario kScenarios[] = {
    {"matrix", "edit a matrix cell, scroll away, click another", run_matrix_scenario},
    {"pagelayout", "choose A5 and Cancel, then A5 and OK", run_page_layout_scenario},
    {"modal", "run Find modally, click the Inspector palette", run_modal_scenario},
    {"nested", "run A modally, B inside it, click the palette", run_nested_scenario},
    {nullptr, nullptr, nullptr},
};

const Scenario* find_scenario(const char* name) {
  for (const Scenario* s = kScenarios; s->name != nullptr; ++s)
    if (std::strcmp(s->name, name) == 0) return s;
  return nullptr;
}

}  // namespace host
