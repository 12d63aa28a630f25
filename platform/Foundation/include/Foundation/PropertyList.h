// Property lists in the old-style text format, as a plain C++ value tree:
// the parser (with file:line:column errors), the writer, and the value type
// they share. Conversion to and from Foundation objects lives in
// PropertyListObjects.h.
//
// Syntax accepted:
//   dictionary  { Key = Value; "Other key" = (a, b); }
//   array       ( a, "b c", { k = v; } )      a trailing comma is allowed
//   string      bare: letters, digits and _ $ + / : . -
//               quoted: "..." with \" \\ \n \t \r \a \b \f \v, \ooo (octal
//               byte) and \UXXXX / \uXXXX (a UTF-16 unit, pairs joined)
//   data        < 0a1b 2c3d >                 hex digits, spaces ignored
//   comments    // to the end of the line, /* ... */
// Nesting is limited to kMaxDepth levels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/PropertyListLimits.h"

namespace plist {

struct Value;

// Bytes written as <hex>.
struct Data {
  std::vector<uint8_t> bytes;
  bool operator==(const Data&) const = default;
};
using Array = std::vector<Value>;

// Keys keep the order in which they were first added. Setting an existing
// key replaces its value in place. Look-up is hashed once the dictionary
// holds more than a few keys, so reading a large domain is linear in its
// size; erasing is linear.
class FOUNDATION_EXPORT Dictionary {
 public:
  using Entry = std::pair<std::string, Value>;

  const Value* find(std::string_view key) const;
  Value* find(std::string_view key);
  void set(std::string key, Value value);
  // Returns true if the key was present.
  bool erase(std::string_view key);

  // Defined below Value: they need Entry complete.
  size_t size() const;
  bool empty() const;
  std::vector<Entry>::const_iterator begin() const;
  std::vector<Entry>::const_iterator end() const;
  bool operator==(const Dictionary&) const;

 private:
  ptrdiff_t position(std::string_view key) const;  // -1 if absent
  void index_entry(size_t position);
  void rebuild_index();

  std::vector<Entry> entries_;
  // Open-addressed, power-of-two sized: position + 1 of an entry, 0 for an
  // empty slot. Empty while entries_ is short enough to search directly.
  std::vector<uint32_t> index_;
};

struct Value {
  std::variant<std::string, Array, Dictionary, Data> v;

  Value() = default;
  Value(std::string s) : v(std::move(s)) {}
  Value(const char* s) : v(std::string(s)) {}
  Value(Array a) : v(std::move(a)) {}
  Value(Dictionary d) : v(std::move(d)) {}
  Value(Data d) : v(std::move(d)) {}

  bool is_string() const { return std::holds_alternative<std::string>(v); }
  bool is_array() const { return std::holds_alternative<Array>(v); }
  bool is_dictionary() const { return std::holds_alternative<Dictionary>(v); }
  bool is_data() const { return std::holds_alternative<Data>(v); }
  const std::string& string() const { return std::get<std::string>(v); }
  const Array& array() const { return std::get<Array>(v); }
  const Dictionary& dictionary() const { return std::get<Dictionary>(v); }
  Dictionary& dictionary() { return std::get<Dictionary>(v); }
  const Data& data() const { return std::get<Data>(v); }
  bool operator==(const Value&) const = default;
};

inline size_t Dictionary::size() const { return entries_.size(); }
inline bool Dictionary::empty() const { return entries_.empty(); }
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::begin() const { return entries_.begin(); }
inline std::vector<Dictionary::Entry>::const_iterator Dictionary::end() const { return entries_.end(); }

// Where and why parsing failed. Lines and columns count from 1; a column
// counts bytes.
struct FOUNDATION_EXPORT ParseError {
  std::string file;  // as given to parse; may be empty
  int line = 0;
  int column = 0;
  std::string message;
  // "Info.plist:3:14: expected ';' after value" (without "file:" when the
  // file name is empty).
  std::string describe() const;
};

// Parses text holding exactly one value. On failure returns false and fills
// error; value is then left empty. Never throws on bad input.
FOUNDATION_EXPORT bool parse(std::string_view text, std::string_view file_name, Value& value,
                             ParseError& error);

// parse for the contents of a file: a leading UTF-8 byte-order mark is
// skipped.
FOUNDATION_EXPORT bool parse_file(std::string_view text, std::string_view file_name, Value& value,
                                  ParseError& error);

// Reads text as a value if all of it parses as one, comments not allowed,
// otherwise as the string text itself: how command-line values are taken
// ("(a, b)" is an array, "hello world" and "a // b" are strings).
FOUNDATION_EXPORT Value parse_value_or_string(std::string_view text);

// Whether write(value) reads back as value: the reader takes only strings
// (keys included) that are UTF-8 without NUL bytes. Returns false with why
// naming the first string that is not.
FOUNDATION_EXPORT bool is_writable(const Value& value, std::string& why);

// How the writer lays a value out:
//   kPretty    one element a line, four spaces of indentation per level, a
//              final newline; a container kMaxIndentLevel levels down is
//              written on one line, so indentation never passes
//              4 * kMaxIndentLevel spaces however deep the value nests;
//   kOneLine   all on one line, spaced: { a = 1; b = (x, y); };
//   kSmallest  the fewest bytes that read back as the value: no spaces,
//              strings bare where they can be, and in quotes only '"' and
//              '\' escaped. No text that reads as the value is shorter,
//              so a value read from a file fits in as many bytes as the
//              file took (less any byte-order mark and comments).
enum class Style { kPretty, kOneLine, kSmallest };
inline constexpr int kMaxIndentLevel = 8;

// Serialises value in the text format, in the given style, as long as it
// takes at most limit bytes. Returns false, with out cleared, once the text
// would pass limit: the writer stops there, so it never builds more than
// limit bytes whatever the value.
FOUNDATION_EXPORT bool write(const Value& value, Style style, size_t limit, std::string& out);
// Pretty when that fits in limit bytes, else smallest; false, with out
// cleared, when neither fits.
FOUNDATION_EXPORT bool write_within(const Value& value, size_t limit, std::string& out);
// Pretty (the default) or on one line, however long.
FOUNDATION_EXPORT std::string write(const Value& value, bool pretty = true);

// A string as the writer emits it: bare when every byte is allowed in a bare
// string, else quoted and escaped.
FOUNDATION_EXPORT std::string quote_if_needed(std::string_view text);

}  // namespace plist
