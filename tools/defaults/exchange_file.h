// The files `defaults export` writes and `defaults import` reads: a whole
// domain as a property list in the text format. "-" is standard output or
// standard input. Paths are UTF-8 on every platform.
#pragma once

#include <string>

namespace defaults_tool {

// Reads the whole of path (or standard input for "-") into text. Refuses
// anything but a regular file, and more than the 16 MiB a domain may hold.
bool read_exchange_file(const std::string& path, std::string& text, std::string& why);

// Writes text to path (or standard output for "-"): into a temporary file
// beside it, which is read back and compared before it is renamed over
// path, so that path holds the old contents or all of the new ones. On
// failure path is untouched and the temporary file is gone.
bool write_exchange_file(const std::string& path, const std::string& text, std::string& why);

}  // namespace defaults_tool
