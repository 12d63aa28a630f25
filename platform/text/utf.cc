// UTF-8 and UTF-16 conversion; the policy for malformed input is in utf.h.
#include "utf.h"

namespace utf {
namespace {

bool is_surrogate(uint32_t code) { return code >= 0xD800 && code <= 0xDFFF; }
bool is_high_surrogate(uint32_t code) { return code >= 0xD800 && code <= 0xDBFF; }
bool is_low_surrogate(uint32_t code) { return code >= 0xDC00 && code <= 0xDFFF; }

// The code of the sequence at text[i] and its length, surrogates' three-byte
// forms included; length 0 when the bytes there are not such a sequence.
struct Decoded {
  uint32_t code;
  size_t length;
};
Decoded decode(std::string_view text, size_t i) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  size_t length;
  uint32_t code;
  if (lead < 0x80) return {lead, 1};
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    code = lead & 0x1Fu;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    code = lead & 0x0Fu;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    code = lead & 0x07u;
  } else {
    return {0, 0};
  }
  if (i + length > text.size()) return {0, 0};
  for (size_t k = 1; k < length; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) return {0, 0};
    code = (code << 6) | (byte(i + k) & 0x3Fu);
  }
  if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF) return {0, 0};
  return {code, length};
}

template <class Unit>
std::string units_to_utf8(std::basic_string_view<Unit> text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t code = static_cast<uint16_t>(text[i]);
    if (is_high_surrogate(code) && i + 1 < text.size() &&
        is_low_surrogate(static_cast<uint16_t>(text[i + 1]))) {
      code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint16_t>(text[i + 1]) - 0xDC00);
      ++i;
    }
    append_utf8(out, code);
  }
  return out;
}

template <class Unit>
std::optional<std::basic_string<Unit>> utf8_to_units(std::string_view text) {
  std::basic_string<Unit> out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    Decoded d = decode(text, i);
    if (d.length == 0) return std::nullopt;
    if (d.code >= 0x10000) {
      out += static_cast<Unit>(0xD800 + ((d.code - 0x10000) >> 10));
      out += static_cast<Unit>(0xDC00 + ((d.code - 0x10000) & 0x3FF));
    } else {
      out += static_cast<Unit>(d.code);
    }
    i += d.length;
  }
  return out;
}

}  // namespace

void append_utf8(std::string& out, uint32_t code) {
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

size_t utf8_sequence_length(std::string_view text, size_t i) {
  Decoded d = decode(text, i);
  return is_surrogate(d.code) ? 0 : d.length;
}

bool is_utf8(std::string_view text) {
  for (size_t i = 0; i < text.size();) {
    size_t length = utf8_sequence_length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

std::string to_utf8(std::u16string_view text) { return units_to_utf8(text); }
std::optional<std::u16string> to_utf16(std::string_view text) { return utf8_to_units<char16_t>(text); }

#if defined(_WIN32)
static_assert(sizeof(wchar_t) == 2, "wide characters are UTF-16 units on Windows");
std::string to_utf8(std::wstring_view text) { return units_to_utf8(text); }
std::optional<std::wstring> to_wide(std::string_view text) { return utf8_to_units<wchar_t>(text); }
#endif

}  // namespace utf
