// UTF-8 and UTF-16: the one place text changes encoding. The Windows
// process layer and loader (wide-character system calls), the property-list
// reader (\U escapes) and the defaults store (domain names) all go through
// here. It sits below all of them and uses nothing but the standard library.
//
// Malformed input is never replaced (no U+FFFD) and never silently dropped:
//   - UTF-16 to UTF-8 joins surrogate pairs and writes a surrogate without
//     its partner as the three bytes its code would have. Those bytes are
//     not UTF-8, so the result is UTF-8 exactly when the input was valid
//     UTF-16, and whoever checks (is_utf8, the property-list reader) refuses
//     it as it would any other malformed bytes, instead of reading a
//     replacement character as valid text.
//   - UTF-8 to UTF-16 takes exactly what the other direction writes:
//     well-formed UTF-8, and the three-byte form of a surrogate, which
//     becomes that surrogate again, so a name the system gave (a file or
//     folder named with a lone surrogate) reaches the system again
//     unchanged. Anything else (stray or missing continuation bytes,
//     overlong forms, values past U+10FFFF) is refused.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace utf {

// Appends code (at most 0x10FFFF) in UTF-8. A surrogate's code gets the
// three bytes it would have, which are not valid UTF-8.
void append_utf8(std::string& out, uint32_t code);

// The length of the well-formed UTF-8 sequence starting at text[i], or 0:
// overlong forms, surrogates and values past U+10FFFF are not UTF-8.
size_t utf8_sequence_length(std::string_view text, size_t i);

// Whether all of text is well-formed UTF-8.
bool is_utf8(std::string_view text);

// UTF-16 (native byte order) to UTF-8, as described above.
std::string to_utf8(std::u16string_view text);
// UTF-8 to UTF-16, as described above; nullopt when text is malformed.
std::optional<std::u16string> to_utf16(std::string_view text);

#if defined(_WIN32)
// The same for the system's wide characters, which are UTF-16 units there.
std::string to_utf8(std::wstring_view text);
std::optional<std::wstring> to_wide(std::string_view text);
#endif

}  // namespace utf
