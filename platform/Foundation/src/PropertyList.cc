// The old-style text property-list parser and writer over plist::Value.
// The parser is a recursive descent with an explicit depth bound; every
// failure becomes a ParseError with the line and column where it happened.
#include "Foundation/PropertyList.h"

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>

#include "keyed_hash.h"
#include "utf.h"

namespace plist {

// --- Dictionary --------------------------------------------------------

namespace {

// Up to this many entries a search compares keys directly.
constexpr size_t kDirectSearch = 8;

// Keyed per process: a file cannot hold keys chosen to share one slot.
size_t key_hash(std::string_view key) { return static_cast<size_t>(foundation::keyed_hash(key)); }

}  // namespace

ptrdiff_t Dictionary::position(std::string_view key) const {
  if (index_.empty()) {
    for (size_t i = 0; i < entries_.size(); ++i)
      if (entries_[i].first == key) return static_cast<ptrdiff_t>(i);
    return -1;
  }
  size_t mask = index_.size() - 1;
  for (size_t i = key_hash(key) & mask;; i = (i + 1) & mask) {
    uint32_t slot = index_[i];
    if (slot == 0) return -1;
    if (entries_[slot - 1].first == key) return static_cast<ptrdiff_t>(slot - 1);
  }
}

// Enters entries_[position] in the index, which has room for it.
void Dictionary::index_entry(size_t position) {
  size_t mask = index_.size() - 1;
  size_t i = key_hash(entries_[position].first) & mask;
  while (index_[i] != 0) i = (i + 1) & mask;
  index_[i] = static_cast<uint32_t>(position + 1);
}

void Dictionary::rebuild_index() {
  index_.clear();
  if (entries_.size() <= kDirectSearch) return;
  size_t capacity = 16;
  while (capacity < entries_.size() * 2) capacity *= 2;  // at most half full
  index_.assign(capacity, 0);
  for (size_t i = 0; i < entries_.size(); ++i) index_entry(i);
}

const Value* Dictionary::find(std::string_view key) const {
  ptrdiff_t at = position(key);
  return at >= 0 ? &entries_[static_cast<size_t>(at)].second : nullptr;
}

Value* Dictionary::find(std::string_view key) {
  ptrdiff_t at = position(key);
  return at >= 0 ? &entries_[static_cast<size_t>(at)].second : nullptr;
}

void Dictionary::set(std::string key, Value value) {
  if (Value* existing = find(key)) {
    *existing = std::move(value);
    return;
  }
  entries_.emplace_back(std::move(key), std::move(value));
  if (entries_.size() * 2 > index_.size())
    rebuild_index();
  else
    index_entry(entries_.size() - 1);
}

bool Dictionary::erase(std::string_view key) {
  ptrdiff_t at = position(key);
  if (at < 0) return false;
  entries_.erase(entries_.begin() + at);
  rebuild_index();  // later entries moved down one place
  return true;
}

// Equal when both hold the same keys with equal values, in any order.
bool Dictionary::operator==(const Dictionary& other) const {
  if (size() != other.size()) return false;
  for (const Entry& entry : entries_) {
    const Value* theirs = other.find(entry.first);
    if (theirs == nullptr || !(*theirs == entry.second)) return false;
  }
  return true;
}

std::string ParseError::describe() const {
  std::string prefix = file.empty() ? "" : file + ":";
  return prefix + std::to_string(line) + ":" + std::to_string(column) + ": " + message;
}

namespace {

bool is_bare_char(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '$' ||
         c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
}

int hex_value(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string describe_char(unsigned char c) {
  if (c >= 0x20 && c < 0x7F) return std::string("'") + static_cast<char>(c) + "'";
  char buffer[8];
  std::snprintf(buffer, sizeof buffer, "0x%02X", c);
  return std::string("byte ") + buffer;
}

class Parser {
 public:
  Parser(std::string_view text, std::string_view file, ParseError& error, bool comments = true)
      : text_(text), file_(file), error_(error), comments_(comments) {}

  bool parse_document(Value& value) {
    if (!skip_space()) return false;
    if (at_end()) return fail("empty property list: expected a value");
    if (!parse_value(value, 0, "a value")) return false;
    if (!skip_space()) return false;
    if (!at_end()) return fail("unexpected " + describe_char(peek()) + " after the end of the property list");
    return true;
  }

 private:
  bool at_end() const { return pos_ >= text_.size(); }
  unsigned char peek() const { return static_cast<unsigned char>(text_[pos_]); }

  // Moves one byte on, keeping the line and column current.
  void advance() {
    if (text_[pos_] == '\n') {
      ++line_;
      line_start_ = pos_ + 1;
    }
    ++pos_;
  }

  bool fail_at(size_t pos, int line, size_t line_start, std::string message) {
    error_.file = std::string(file_);
    error_.line = line;
    error_.column = static_cast<int>(pos - line_start) + 1;
    error_.message = std::move(message);
    return false;
  }
  bool fail(std::string message) { return fail_at(pos_, line_, line_start_, std::move(message)); }

  // Skips white space and comments. Fails only on an unterminated comment.
  bool skip_space() {
    while (!at_end()) {
      unsigned char c = peek();
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v') {
        advance();
      } else if (comments_ && c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
        while (!at_end() && peek() != '\n') advance();
      } else if (comments_ && c == '/' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '*') {
        size_t start = pos_;
        int start_line = line_;
        size_t start_line_start = line_start_;
        advance();
        advance();
        for (;;) {
          if (at_end()) return fail_at(start, start_line, start_line_start, "unterminated comment");
          if (peek() == '*' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '/') {
            advance();
            advance();
            break;
          }
          advance();
        }
      } else {
        break;
      }
    }
    return true;
  }

  // what: how the caller names the expected value, for the error message.
  bool parse_value(Value& value, int depth, const char* what) {
    if (at_end()) return fail(std::string("unexpected end of file, expected ") + what);
    unsigned char c = peek();
    if (c == '{' || c == '(') {
      if (depth >= kMaxDepth) return fail("nesting deeper than " + std::to_string(kMaxDepth) + " levels");
      return c == '{' ? parse_dictionary(value, depth + 1) : parse_array(value, depth + 1);
    }
    if (c == '<') return parse_data(value);
    if (c == '"' || is_bare_char(c)) {
      std::string s;
      if (!parse_string(s)) return false;
      value = Value(std::move(s));
      return true;
    }
    return fail("unexpected " + describe_char(c) + ", expected " + what);
  }

  bool parse_string(std::string& out) {
    if (peek() == '"') return parse_quoted(out);
    size_t start = pos_;
    while (!at_end() && is_bare_char(peek())) advance();
    out.assign(text_.substr(start, pos_ - start));
    return true;
  }

  bool parse_quoted(std::string& out) {
    size_t start = pos_;
    int start_line = line_;
    size_t start_line_start = line_start_;
    advance();                  // the opening quote
    uint32_t pending_high = 0;  // a high surrogate waiting for its low half
    for (;;) {
      if (at_end()) return fail_at(start, start_line, start_line_start, "unterminated string");
      unsigned char c = peek();
      if (c == '"') {
        if (pending_high != 0) return fail("unpaired UTF-16 surrogate in \\U escape");
        advance();
        return true;
      }
      if (c != '\\') {
        if (pending_high != 0) return fail("unpaired UTF-16 surrogate in \\U escape");
        size_t length = utf::utf8_sequence_length(text_, pos_);
        if (length == 0) return fail("invalid UTF-8 in string");
        if (c == 0) return fail("NUL byte in string");
        out.append(text_.substr(pos_, length));
        for (size_t k = 0; k < length; ++k) advance();
        continue;
      }
      size_t escape_pos = pos_;
      advance();
      if (at_end()) return fail_at(start, start_line, start_line_start, "unterminated string");
      unsigned char e = peek();
      if (e == 'U' || e == 'u') {
        advance();
        uint32_t unit = 0;
        for (int k = 0; k < 4; ++k) {
          int digit = at_end() ? -1 : hex_value(peek());
          if (digit < 0)
            return fail("expected four hex digits after \\" + std::string(1, static_cast<char>(e)));
          unit = unit * 16 + static_cast<uint32_t>(digit);
          advance();
        }
        if (pending_high != 0) {
          if (unit < 0xDC00 || unit > 0xDFFF) return fail("unpaired UTF-16 surrogate in \\U escape");
          utf::append_utf8(out, 0x10000 + ((pending_high - 0xD800) << 10) + (unit - 0xDC00));
          pending_high = 0;
        } else if (unit >= 0xD800 && unit <= 0xDBFF) {
          pending_high = unit;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
          return fail_at(escape_pos, line_, line_start_, "unpaired UTF-16 surrogate in \\U escape");
        } else if (unit == 0) {
          return fail_at(escape_pos, line_, line_start_, "NUL character in string");
        } else {
          utf::append_utf8(out, unit);
        }
        continue;
      }
      if (pending_high != 0) return fail("unpaired UTF-16 surrogate in \\U escape");
      if (e >= '0' && e <= '7') {
        unsigned value = 0;
        for (int k = 0; k < 3 && !at_end() && peek() >= '0' && peek() <= '7'; ++k) {
          value = value * 8 + (peek() - '0');
          advance();
        }
        if (value == 0 || value > 0x7F)
          return fail_at(escape_pos, line_, line_start_,
                         "octal escape outside 1..177 (use \\U for other characters)");
        out += static_cast<char>(value);
        continue;
      }
      char plain;
      switch (e) {
        case '"':
          plain = '"';
          break;
        case '\\':
          plain = '\\';
          break;
        case 'n':
          plain = '\n';
          break;
        case 't':
          plain = '\t';
          break;
        case 'r':
          plain = '\r';
          break;
        case 'a':
          plain = '\a';
          break;
        case 'b':
          plain = '\b';
          break;
        case 'f':
          plain = '\f';
          break;
        case 'v':
          plain = '\v';
          break;
        case '\n':
          plain = '\n';
          break;  // an escaped line break is a line break
        default:
          return fail_at(escape_pos, line_, line_start_, "unknown escape \\" + describe_char(e));
      }
      advance();
      out += plain;
    }
  }

  bool parse_data(Value& value) {
    size_t start = pos_;
    int start_line = line_;
    size_t start_line_start = line_start_;
    advance();  // '<'
    Data data;
    int high = -1;
    for (;;) {
      if (at_end()) return fail_at(start, start_line, start_line_start, "unterminated data, expected '>'");
      unsigned char c = peek();
      if (c == '>') break;
      if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
        advance();
        continue;
      }
      int digit = hex_value(c);
      if (digit < 0) return fail("unexpected " + describe_char(c) + " in data, expected a hex digit or '>'");
      if (high < 0) {
        high = digit;
      } else {
        data.bytes.push_back(static_cast<uint8_t>(high * 16 + digit));
        high = -1;
      }
      advance();
    }
    if (high >= 0) return fail("odd number of hex digits in data");
    advance();  // '>'
    value = Value(std::move(data));
    return true;
  }

  bool parse_array(Value& value, int depth) {
    advance();  // '('
    Array array;
    if (!skip_space()) return false;
    if (!at_end() && peek() == ')') {
      advance();
      value = Value(std::move(array));
      return true;
    }
    for (;;) {
      Value element;
      if (!parse_value(element, depth, "a value or ')'")) return false;
      array.push_back(std::move(element));
      if (!skip_space()) return false;
      if (at_end()) return fail("unexpected end of file, expected ',' or ')' in array");
      if (peek() == ')') break;
      if (peek() != ',')
        return fail("expected ',' or ')' after array element, found " + describe_char(peek()));
      advance();
      if (!skip_space()) return false;
      if (!at_end() && peek() == ')') break;  // trailing comma
    }
    advance();  // ')'
    value = Value(std::move(array));
    return true;
  }

  bool parse_dictionary(Value& value, int depth) {
    advance();  // '{'
    Dictionary dictionary;
    for (;;) {
      if (!skip_space()) return false;
      if (at_end()) return fail("unexpected end of file, expected a key or '}'");
      unsigned char c = peek();
      if (c == '}') break;
      if (c != '"' && !is_bare_char(c))
        return fail("unexpected " + describe_char(c) + ", expected a key or '}'");
      std::string key;
      if (!parse_string(key)) return false;
      if (!skip_space()) return false;
      if (at_end() || peek() != '=') return fail("expected '=' after key \"" + key + "\"");
      advance();
      if (!skip_space()) return false;
      Value element;
      if (!parse_value(element, depth, "a value")) return false;
      if (!skip_space()) return false;
      if (at_end() || peek() != ';') return fail("expected ';' after value");
      advance();
      dictionary.set(std::move(key), std::move(element));
    }
    advance();  // '}'
    value = Value(std::move(dictionary));
    return true;
  }

  std::string_view text_;
  std::string_view file_;
  ParseError& error_;
  bool comments_;  // whether // and /* */ are comments; else they end the value
  size_t pos_ = 0;
  int line_ = 1;
  size_t line_start_ = 0;
};

// --- Writer ------------------------------------------------------------

// Whether text can be written without quotes: every byte allowed in a bare
// string, and no comment marker where the reader would see one. A bare
// string only starts a comment at its start; the spaced styles quote any
// marker, as they always have.
bool can_be_bare(std::string_view text, bool smallest) {
  if (text.empty() || !std::all_of(text.begin(), text.end(),
                                   [](char c) { return is_bare_char(static_cast<unsigned char>(c)); }))
    return false;
  if (smallest) return !text.starts_with("//") && !text.starts_with("/*");
  return text.find("//") == std::string_view::npos && text.find("/*") == std::string_view::npos;
}

// The bytes a character takes inside quotes. The smallest style escapes
// only what ends or escapes a string; the others also spell out control
// characters, so that a line holds one entry.
size_t quoted_length(unsigned char c, bool smallest) {
  if (c == '"' || c == '\\') return 2;
  if (smallest) return 1;
  if (c == '\n' || c == '\t' || c == '\r') return 2;
  return c < 0x20 || c == 0x7F ? 6 : 1;
}

void append_quoted(std::string& out, std::string_view text, bool smallest) {
  out += '"';
  for (char ch : text) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (smallest || quoted_length(c, false) == 1) {
      out += ch;
    } else if (c == '\n' || c == '\t' || c == '\r') {
      out += c == '\n' ? "\\n" : c == '\t' ? "\\t" : "\\r";
    } else {
      char buffer[8];
      std::snprintf(buffer, sizeof buffer, "\\U%04X", c);
      out += buffer;
    }
  }
  out += '"';
}

// Writes a value into out in one style, never letting out pass limit
// bytes: each piece is measured before it is appended, and once one does
// not fit nothing more is written.
class Writer {
 public:
  Writer(Style style, size_t limit, std::string& out) : style_(style), limit_(limit), out_(out) {}

  // False when the text would pass the limit.
  bool write(const Value& value) {
    write_value(value, 0);
    if (style_ == Style::kPretty) put("\n");
    assert(out_.size() <= limit_);
    return !over_;
  }

 private:
  bool room(size_t bytes) {
    if (!over_ && bytes > limit_ - out_.size()) over_ = true;
    return !over_;
  }
  void put(std::string_view text) {
    if (room(text.size())) out_.append(text);
  }
  void newline(int level) {
    if (!room(1 + static_cast<size_t>(level) * 4)) return;
    out_ += '\n';
    out_.append(static_cast<size_t>(level) * 4, ' ');
  }

  void write_string(std::string_view text) {
    bool smallest = style_ == Style::kSmallest;
    if (can_be_bare(text, smallest)) return put(text);
    size_t length = 2;
    for (char c : text) length += quoted_length(static_cast<unsigned char>(c), smallest);
    if (room(length)) append_quoted(out_, text, smallest);
  }

  void write_data(const Data& data) {
    static const char digits[] = "0123456789abcdef";
    const auto& bytes = data.bytes;
    bool spaced = style_ != Style::kSmallest;
    if (!room(2 + bytes.size() * 2 + (spaced && !bytes.empty() ? (bytes.size() - 1) / 4 : 0))) return;
    out_ += '<';
    for (size_t i = 0; i < bytes.size(); ++i) {
      if (spaced && i > 0 && i % 4 == 0) out_ += ' ';
      out_ += digits[bytes[i] >> 4];
      out_ += digits[bytes[i] & 15];
    }
    out_ += '>';
  }

  void write_value(const Value& value, int level) {
    if (value.is_string()) return write_string(value.string());
    if (value.is_data()) return write_data(value.data());
    // One element a line down to the indentation cap; on one line below it.
    bool lines = style_ == Style::kPretty && level < kMaxIndentLevel;
    bool spaced = style_ != Style::kSmallest;
    if (value.is_array()) {
      const Array& array = value.array();
      if (array.empty()) return put("()");
      put("(");
      for (size_t i = 0; i < array.size() && !over_; ++i) {
        if (i > 0) put(spaced && !lines ? ", " : ",");
        if (lines) newline(level + 1);
        write_value(array[i], level + 1);
      }
      if (lines) newline(level);
      return put(")");
    }
    const Dictionary& dictionary = value.dictionary();
    if (dictionary.empty()) return put("{}");
    put(spaced && !lines ? "{ " : "{");
    for (const auto& [key, element] : dictionary) {
      if (over_) return;
      if (lines) newline(level + 1);
      write_string(key);
      put(spaced ? " = " : "=");
      write_value(element, level + 1);
      put(spaced && !lines ? "; " : ";");
    }
    if (lines) newline(level);
    put("}");
  }

  Style style_;
  size_t limit_;
  std::string& out_;
  bool over_ = false;
};

}  // namespace

bool parse(std::string_view text, std::string_view file_name, Value& value, ParseError& error) {
  Value result;
  Parser parser(text, file_name, error);
  if (!parser.parse_document(result)) {
    value = Value();
    return false;
  }
  value = std::move(result);
  return true;
}

bool parse_file(std::string_view text, std::string_view file_name, Value& value, ParseError& error) {
  // Editors on Windows often start a UTF-8 file with a byte-order mark.
  // Columns on the first line then count from after it.
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  return parse(text, file_name, value, error);
}

Value parse_value_or_string(std::string_view text) {
  // Without comments: "a // b" is the string typed, not "a" with the rest
  // thrown away.
  Value result;
  ParseError ignored;
  Parser parser(text, "", ignored, false);
  if (parser.parse_document(result)) return result;
  return Value(std::string(text));
}

namespace {

bool is_writable_string(std::string_view text, std::string& why) {
  for (size_t i = 0; i < text.size();) {
    size_t length = utf::utf8_sequence_length(text, i);
    if (length == 0 || text[i] == '\0') {
      why = "the string starting " + quote_if_needed(text.substr(0, i)) + " holds " +
            (length == 0 ? "bytes that are not UTF-8" : "a NUL byte") + " at byte " + std::to_string(i);
      return false;
    }
    i += length;
  }
  return true;
}

}  // namespace

bool is_writable(const Value& value, std::string& why) {
  if (value.is_string()) return is_writable_string(value.string(), why);
  if (value.is_array())
    return std::all_of(value.array().begin(), value.array().end(),
                       [&](const Value& element) { return is_writable(element, why); });
  if (value.is_dictionary())
    return std::all_of(value.dictionary().begin(), value.dictionary().end(),
                       [&](const Dictionary::Entry& entry) {
                         return is_writable_string(entry.first, why) && is_writable(entry.second, why);
                       });
  return true;
}

std::string quote_if_needed(std::string_view text) {
  if (can_be_bare(text, false)) return std::string(text);
  std::string out;
  append_quoted(out, text, false);
  return out;
}

bool write(const Value& value, Style style, size_t limit, std::string& out) {
  out.clear();
  if (Writer(style, limit, out).write(value)) return true;
  out.clear();
  out.shrink_to_fit();
  return false;
}

bool write_within(const Value& value, size_t limit, std::string& out) {
  return write(value, Style::kPretty, limit, out) || write(value, Style::kSmallest, limit, out);
}

std::string write(const Value& value, bool pretty) {
  std::string out;
  write(value, pretty ? Style::kPretty : Style::kOneLine, SIZE_MAX, out);
  return out;
}

}  // namespace plist
