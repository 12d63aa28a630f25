// The `defaults` command: reads and edits persistent user-defaults domains
// through the same store that NSUserDefaults uses.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace defaults_tool {

// Exit codes.
inline constexpr int kOk = 0;
inline constexpr int kNotFound = 1;  // missing domain or key, or a store failure
inline constexpr int kUsage = 2;

// Runs the command with args (without the program name). Normal output goes
// to out, diagnostics to err. Returns the exit code.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace defaults_tool
