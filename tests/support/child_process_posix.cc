// Children through sh, which does the redirection.
#include "child_process.h"

#include <sys/wait.h>

#include <cstdlib>

namespace test_support {

int run_command_line(const std::string& command_line, const std::filesystem::path& out,
                     const std::filesystem::path& err) {
  std::string command = command_line + " < /dev/null > \"" + out.string() + "\" 2> \"" + err.string() + "\"";
  int status = std::system(command.c_str());
  if (status == -1) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace test_support
