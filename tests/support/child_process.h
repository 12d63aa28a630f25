// Starting a program of the build and waiting for it, with its output in
// files: the one system call the end-to-end tests need, apart from the
// runtime's headers (<windows.h> defines a BOOL of its own).
// child_process_posix.cc and child_process_win32.cc.
#pragma once

#include <filesystem>
#include <string>

namespace test_support {

// Runs command_line (UTF-8: the program, then each argument in double
// quotes, as sh and the C run-time's parser read them) with its standard
// input empty and its standard output and error in the files out and err.
// Returns its exit code, 128 + the signal that ended it, or -1 if it could
// not be started, with why in err.
int run_command_line(const std::string& command_line, const std::filesystem::path& out,
                     const std::filesystem::path& err);

}  // namespace test_support
