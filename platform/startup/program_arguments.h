// A program's command-line arguments as UTF-8 strings, program name first.
// On Windows main's argv holds them in the ANSI code page, which loses
// every letter outside it (a folder named 日本 cannot be named at all), so
// they are read from the wide-character command line instead.
#pragma once

#include <string>
#include <vector>

namespace startup {

// argc and argv are main's; on Windows they only stand in when the
// wide-character command line cannot be read.
std::vector<std::string> program_arguments(int argc, char** argv);

}  // namespace startup
