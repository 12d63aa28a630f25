// Fuzzes the text property-list reader (plist::parse) on raw bytes. For every
// input it checks:
//   - a rejected input's error names the file, a line and a column inside the
//     text, and a message, and leaves the value empty;
//   - an accepted value written back out, pretty, on one line or smallest,
//     parses back equal, and writing that again gives the same text; the
//     smallest text is no longer than the input;
//   - the value survives conversion to Foundation objects and back;
//   - parse_value_or_string gives the parsed value, or else the input itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "Foundation/PropertyList.h"
#include "fuzz_support.h"

namespace {

constexpr std::string_view kFile = "fuzz.plist";

std::string check_written_form(const plist::Value& value, plist::Style style) {
  std::string text;
  plist::write(value, style, SIZE_MAX, text);
  plist::Value again;
  plist::ParseError error;
  fuzz::require(plist::parse(text, kFile, again, error), "written text does not parse",
                error.describe() + "\n  written: " + text);
  fuzz::require(again == value, "written text parses to a different value", text);
  std::string rewritten;
  plist::write(again, style, SIZE_MAX, rewritten);
  fuzz::require(rewritten == text, "writing the value read back changes the text", text);
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  plist::Value value;
  plist::ParseError error;
  bool parsed = plist::parse(text, kFile, value, error);
  plist::Value fallback = plist::parse_value_or_string(text);
  // parse_value_or_string takes no comments, so where comment markers
  // appear it may read an input differently from the full parser, either
  // way; elsewhere it reads what the parser reads, or keeps the input.
  bool has_comment = text.find("//") != std::string_view::npos || text.find("/*") != std::string_view::npos;
  if (!parsed) {
    fuzz::check_error_position(text, kFile, error);
    fuzz::require(value == plist::Value(), "a rejected input leaves a value behind", error.describe());
    fuzz::require(has_comment || (fallback.is_string() && fallback.string() == text),
                  "parse_value_or_string does not keep a rejected input as given");
    return 0;
  }
  fuzz::require(fallback == value || has_comment,
                "parse_value_or_string reads an accepted input differently");
  check_written_form(value, plist::Style::kPretty);
  check_written_form(value, plist::Style::kOneLine);
  fuzz::require(check_written_form(value, plist::Style::kSmallest).size() <= text.size(),
                "the smallest text is longer than the input");
  fuzz::check_objects_round_trip(value);
  return 0;
}
