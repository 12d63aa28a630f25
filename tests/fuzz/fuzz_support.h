// Shared by the fuzz targets: failing a property loudly (so libFuzzer keeps
// the input as a crash), splitting an input into argument vectors, a
// private defaults directory per process, and the checks on a property
// list's error position and on values that went through Foundation objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "Foundation/PropertyList.h"

namespace fuzz {

// Prints what went wrong with the input it concerns, then aborts.
[[noreturn]] void fail(std::string_view what, std::string_view detail);
inline void require(bool ok, std::string_view what, std::string_view detail = {}) {
  if (!ok) fail(what, detail);
}

// Splits at every byte equal to separator; n separators give n + 1 parts.
std::vector<std::string> split(std::string_view text, char separator);

// Points USER_DEFAULTS_DIR at a new empty directory of this process's own,
// removed again when the process exits. Returns its path.
const std::string& private_defaults_directory();

// Checks that error names text's file (file_name), a line and column that
// lie inside text or just past its end, and a message.
void check_error_position(std::string_view text, std::string_view file_name, const plist::ParseError& error);

// value as it comes back from Foundation objects: data has no object class
// of its own and comes back as the string of its text form.
plist::Value through_objects_expected(const plist::Value& value);

// Converts value to Foundation objects and back, and checks that what comes
// back is through_objects_expected(value).
void check_objects_round_trip(const plist::Value& value);

}  // namespace fuzz
