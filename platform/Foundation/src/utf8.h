// UTF-8 encoding shared by the property-list reader, the defaults store
// (domain names) and the Windows process layer (which converts UTF-16 from
// the system).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace plist {
// Appends code (at most 0x10FFFF) in UTF-8. A surrogate's code gets the
// three bytes it would have, which are not valid UTF-8.
void append_utf8(std::string& out, uint32_t code);
// Whether text is well-formed UTF-8: no overlong forms, surrogates or
// values past U+10FFFF.
bool is_utf8(std::string_view text);
}  // namespace plist
