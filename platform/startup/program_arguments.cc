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

void append_utf8(std::string& out, unsigned long code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (code >> 18));
    out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

// UTF-16 to UTF-8. A surrogate without its partner has no UTF-8 form; it
// gets the three bytes its code would have, which are not valid UTF-8, so
// whoever reads the text refuses it as it would refuse any other malformed
// bytes, instead of seeing a replacement character that reads as valid.
std::string utf8(const wchar_t* text) {
  std::string out;
  for (const wchar_t* c = text; *c != L'\0'; ++c) {
    unsigned long code = static_cast<unsigned short>(*c);
    if (code >= 0xD800 && code < 0xDC00 && c[1] >= 0xDC00 && c[1] < 0xE000) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<unsigned short>(c[1]) - 0xDC00);
      ++c;
    }
    append_utf8(out, code);
  }
  return out;
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
