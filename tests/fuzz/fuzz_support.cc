// The fuzz targets' shared checks and set-up (fuzz_support.h).
#include "fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "Foundation/NSAutoreleasePool.h"
#include "Foundation/PropertyListObjects.h"

namespace fuzz {

namespace {

std::string* directory_path = nullptr;

void remove_private_directory() {
  std::error_code ignored;
  std::filesystem::remove_all(*directory_path, ignored);
}

}  // namespace

void fail(std::string_view what, std::string_view detail) {
  std::fprintf(stderr, "fuzz check failed: %.*s\n", static_cast<int>(what.size()), what.data());
  if (!detail.empty()) std::fprintf(stderr, "  %.*s\n", static_cast<int>(detail.size()), detail.data());
  // The abort skips the exit handlers; the directory is not needed any more.
  if (directory_path != nullptr) remove_private_directory();
  std::abort();
}

std::vector<std::string> split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(separator, start);
    if (end == std::string_view::npos) break;
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  parts.emplace_back(text.substr(start));
  return parts;
}

const std::string& private_defaults_directory() {
  if (directory_path == nullptr) {
    std::string pattern = (std::filesystem::temp_directory_path() / "corvane-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fail("cannot make a private defaults directory", pattern);
    directory_path = new std::string(pattern);
    setenv("USER_DEFAULTS_DIR", directory_path->c_str(), 1);
    std::atexit(remove_private_directory);
  }
  return *directory_path;
}

void check_error_position(std::string_view text, std::string_view file_name, const plist::ParseError& error) {
  std::string described = error.describe();
  require(error.file == file_name, "the error does not name the file", described);
  require(!error.message.empty(), "the error has no message", described);
  require(error.line >= 1 && error.column >= 1, "the error has no line and column", described);
  // The line must exist, and the column lie on it or just past its end.
  size_t line_start = 0;
  for (int line = 1; line < error.line; ++line) {
    size_t newline = text.find('\n', line_start);
    require(newline != std::string_view::npos, "the error's line is past the end of the text", described);
    line_start = newline + 1;
  }
  size_t line_end = std::min(text.find('\n', line_start), text.size());
  require(static_cast<size_t>(error.column) - 1 <= line_end - line_start,
          "the error's column is past the end of its line", described);
  std::string prefix =
      std::string(file_name) + ":" + std::to_string(error.line) + ":" + std::to_string(error.column) + ": ";
  require(described.starts_with(prefix), "describe() does not start with file:line:column", described);
}

plist::Value through_objects_expected(const plist::Value& value) {
  if (value.is_data()) return plist::Value(plist::write(value, false));
  if (value.is_array()) {
    plist::Array array;
    for (const plist::Value& element : value.array()) array.push_back(through_objects_expected(element));
    return plist::Value(std::move(array));
  }
  if (value.is_dictionary()) {
    plist::Dictionary dictionary;
    for (const auto& [key, element] : value.dictionary())
      dictionary.set(key, through_objects_expected(element));
    return plist::Value(std::move(dictionary));
  }
  return value;
}

void check_objects_round_trip(const plist::Value& value) {
  NSAutoreleaseScope pool;
  id objects = NSObjectFromPropertyList(value);
  plist::Value back;
  std::string why;
  require(NSPropertyListFromObject(objects, back, why),
          "objects made from a property list do not convert back", why);
  require(back == through_objects_expected(value), "objects made from a property list come back different",
          plist::write(back, false));
}

}  // namespace fuzz
