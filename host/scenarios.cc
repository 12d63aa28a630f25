// The table of the host's scenarios. Each lives in a file of its own.
#include "scenarios.h"

#include <cstring>

namespace host {

int run_matrix_scenario(std::FILE* out);
int run_page_layout_scenario(std::FILE* out);
int run_modal_scenario(std::FILE* out);
int run_nested_scenario(std::FILE* out);

const Scenario kScenarios[] = {
    {"matrix", "edit a matrix cell, scroll away, click another",
     "the click that ends the edit scrolls the matrix back to the edited cell, so row 7 is selected, not the "
     "row clicked",
     "the matrix stays where it was scrolled and the clicked row is selected; Return still scrolls back, as "
     "it "
     "should",
     run_matrix_scenario},
    {"pagelayout", "choose A5 and Cancel, then A5 and OK",
     "Cancel in the page-layout panel still changes the shared print settings to A5",
     "Cancel leaves them as they were; OK applies A5, through a new print-settings object",
     run_page_layout_scenario},
    {"modal", "run Find modally, click the Inspector palette",
     "the palette takes key from the modal Find panel, which stays behind it at level 0",
     "Find stays key and in front of the palette, at level 4", run_modal_scenario},
    {"nested", "run A modally, B inside it, click the palette",
     "the palette, and then the outer panel A, take key from the inner modal panel B",
     "the newest modal panel stays key and in front at level 4: B while it runs, then A",
     run_nested_scenario},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

const Scenario* find_scenario(const char* name) {
  for (const Scenario* s = kScenarios; s->name != nullptr; ++s)
    if (std::strcmp(s->name, name) == 0) return s;
  return nullptr;
}

}  // namespace host
