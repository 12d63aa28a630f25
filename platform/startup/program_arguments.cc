// See program_arguments.h.
#include "program_arguments.h"

#if defined(_WIN32)
// windows.h must come first: shellapi.h relies on its definitions.
#  include <windows.h>

#  include <shellapi.h>
#endif

namespace startup {

#if defined(_WIN32)
namespace {

std::string utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string result(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), n, nullptr, nullptr);
  result.pop_back();  // the terminator
  return result;
}

}  // namespace

std::vector<std::string> program_arguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  arguments.reserve(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) arguments.push_back(utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}
#else
std::vector<std::string> program_arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}
#endif

}  // namespace startup
