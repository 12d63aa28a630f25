// Runs a program of the build as a child process and captures what it
// printed and how it ended. For end-to-end tests of the host and tools.
// Scratch directories and user defaults: fresh_defaults.h.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "fresh_defaults.h"

namespace test_support {

struct ProcessResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// The build directory the tests belong to (set by CTest).
inline std::filesystem::path build_dir() {
  const char* dir = std::getenv("CORVANE_BUILD_DIR");
  return dir != nullptr ? dir : ".";
}

inline std::filesystem::path program(const char* name) {
#if defined(_WIN32)
  return build_dir() / "bin" / (std::string(name) + ".exe");
#else
  return build_dir() / "bin" / name;
#endif
}

inline std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A path as UTF-8, and a path from UTF-8: std::filesystem's narrow strings
// are in the ANSI code page on Windows when a path is made from one.
inline std::string utf8(const std::filesystem::path& path) {
  std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}
inline std::filesystem::path from_utf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

#if defined(_WIN32)
// A command line in UTF-8 as the wide-character call takes it. Each byte of
// malformed UTF-8 becomes the unpaired surrogate U+DC00 + byte, which the
// programs read back as malformed, so tests of malformed arguments mean the
// same on every platform.
inline std::wstring command_line_wide(const std::string& text) {
  std::wstring out;
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  size_t n = text.size();
  for (size_t i = 0; i < n;) {
    unsigned char c = s[i];
    size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    unsigned long code = length == 1 ? c : length == 2 ? c & 0x1F : length == 3 ? c & 0x0F : c & 0x07;
    bool valid = length > 0 && i + length <= n;
    for (size_t k = 1; valid && k < length; ++k) {
      valid = (s[i + k] & 0xC0) == 0x80;
      code = (code << 6) | (s[i + k] & 0x3F);
    }
    static const unsigned long kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    valid = valid && code >= kSmallest[length] && code <= 0x10FFFF && !(code >= 0xD800 && code < 0xE000);
    if (!valid) {
      out += static_cast<wchar_t>(0xDC00 + c);
      ++i;
      continue;
    }
    if (code >= 0x10000) {
      out += static_cast<wchar_t>(0xD800 + ((code - 0x10000) >> 10));
      out += static_cast<wchar_t>(0xDC00 + ((code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<wchar_t>(code);
    }
    i += length;
  }
  return out;
}
#endif

// Runs program with arguments (each quoted, UTF-8) and the environment of
// this process; the caller sets variables such as USER_DEFAULTS_DIR
// beforehand. The child's standard input is empty. On Windows the command
// line goes to the wide-character call, so that the child reads every letter
// of its arguments.
// CHILD_RUNNER, when set, goes before the program: a checker that runs
// every child, such as valgrind (scripts/test-valgrind).
inline ProcessResult run(const std::filesystem::path& program, const std::vector<std::string>& arguments) {
  auto dir = fresh_directory("run");
  std::string command = "\"" + utf8(program) + "\"";
  if (const char* runner = std::getenv("CHILD_RUNNER"); runner != nullptr && *runner != '\0')
    command = std::string(runner) + " " + command;
  for (const std::string& a : arguments) command += " \"" + a + "\"";
  ProcessResult result;
  result.exit_code = run_command_line(command, dir / "out", dir / "err");
  result.out = slurp(dir / "out");
  result.err = slurp(dir / "err");
#if defined(_WIN32)
  // The C run-time writes text with CR LF line ends; the tests compare lines.
  for (std::string* text : {&result.out, &result.err}) std::erase(*text, '\r');
#endif
  std::filesystem::remove_all(dir);
  return result;
}

// The bundle the build laid out.
inline std::filesystem::path built_bundle() { return build_dir() / "Corvane.bundle"; }

// The line of the host's load report that names the classes the bundle
// brought, in the order they were registered.
inline constexpr char kBundleClassesLine[] = "classes:   CorvaneMatrix, Corvane, CorvaneApplication";

// Runs the sample host on bundle; arguments follow -bundle PATH.
inline ProcessResult run_host(std::vector<std::string> arguments,
                              const std::filesystem::path& bundle = built_bundle()) {
  arguments.insert(arguments.begin(), {"-bundle", utf8(bundle)});
  return run(program("SampleHost"), arguments);
}

// Whether text holds line as a whole line.
inline bool has_line(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

}  // namespace test_support
