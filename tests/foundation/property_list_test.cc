// Tests of the text property-list parser and writer: the syntax, error
// positions, hostile input, and that what the writer emits reads back.
#include "Foundation/PropertyList.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <sstream>
#include <string>

namespace {

plist::Value parse_ok(std::string_view text) {
  plist::Value value;
  plist::ParseError error;
  EXPECT_TRUE(plist::parse(text, "t.plist", value, error)) << error.describe();
  return value;
}

plist::ParseError parse_error(std::string_view text) {
  plist::Value value;
  plist::ParseError error;
  EXPECT_FALSE(plist::parse(text, "Info.plist", value, error)) << "parsed: " << text;
  return error;
}

TEST(PropertyListParse, DictionaryArraysAndStrings) {
  plist::Value v = parse_ok(
      "// leading comment\n"
      "{ Name = Corvane; /* inline */ Path = /usr/lib:x.y-z+$_;\n"
      "  \"Quoted key\" = \"a \\\"b\\\" \\\\ c\\n\\td\";\n"
      "  List = ( a, \"b c\", ( ), { } , );\n"
      "  Empty = \"\"; }");
  ASSERT_TRUE(v.is_dictionary());
  const plist::Dictionary& d = v.dictionary();
  EXPECT_EQ(d.find("Name")->string(), "Corvane");
  EXPECT_EQ(d.find("Path")->string(), "/usr/lib:x.y-z+$_");
  EXPECT_EQ(d.find("Quoted key")->string(), "a \"b\" \\ c\n\td");
  EXPECT_EQ(d.find("Empty")->string(), "");
  const plist::Array& list = d.find("List")->array();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[1].string(), "b c");
  EXPECT_TRUE(list[2].array().empty());
  EXPECT_TRUE(list[3].dictionary().empty());
  // Keys keep the order in which they were written.
  std::vector<std::string> keys;
  for (const auto& entry : d) keys.push_back(entry.first);
  EXPECT_EQ(keys, (std::vector<std::string>{"Name", "Path", "Quoted key", "List", "Empty"}));
}

TEST(PropertyListParse, DuplicateKeyKeepsFirstPositionAndLastValue) {
  plist::Value v = parse_ok("{ a = 1; b = 2; a = 3; }");
  auto it = v.dictionary().begin();
  EXPECT_EQ(it->first, "a");
  EXPECT_EQ(it->second.string(), "3");
  EXPECT_EQ(v.dictionary().size(), 2u);
}

TEST(PropertyListParse, UnicodeEscapesAndData) {
  EXPECT_EQ(parse_ok("\"\\U00e9\\u20AC\"").string(), "\xC3\xA9\xE2\x82\xAC");
  EXPECT_EQ(parse_ok("\"\\UD83D\\UDE00\"").string(), "\xF0\x9F\x98\x80");  // surrogate pair
  EXPECT_EQ(parse_ok("\"\\101\\102\"").string(), "AB");
  EXPECT_EQ(parse_ok("\"caf\xC3\xA9\"").string(), "caf\xC3\xA9");
  EXPECT_EQ(parse_ok("< 0aFF 10 >").data().bytes, (std::vector<uint8_t>{0x0a, 0xff, 0x10}));
}

TEST(PropertyListParse, ErrorsNameFileLineAndColumn) {
  plist::ParseError e = parse_error("{\n  A = 1;\n  Key = value oops;\n}");
  EXPECT_EQ(e.describe(), "Info.plist:3:15: expected ';' after value");
  e = parse_error("{ A = 1 }");
  EXPECT_EQ(e.line, 1);
  EXPECT_EQ(e.column, 9);
  EXPECT_EQ(e.message, "expected ';' after value");
  EXPECT_EQ(parse_error("{ A 1; }").message, "expected '=' after key \"A\"");
  EXPECT_EQ(parse_error("( a b )").message, "expected ',' or ')' after array element, found 'b'");
  EXPECT_EQ(parse_error("").message, "empty property list: expected a value");
  EXPECT_EQ(parse_error("  // only a comment\n").message, "empty property list: expected a value");
  EXPECT_EQ(parse_error("a b").message, "unexpected 'b' after the end of the property list");
  EXPECT_EQ(parse_error("{ = x; }").message, "unexpected '=', expected a key or '}'");
  EXPECT_EQ(parse_error("\"\\q\"").message, "unknown escape \\'q'");
  EXPECT_EQ(parse_error("<abc>").message, "odd number of hex digits in data");
  EXPECT_EQ(parse_error("\"\\UD83D\"").message, "unpaired UTF-16 surrogate in \\U escape");
  EXPECT_EQ(parse_error("\"\\u00\"").message, "expected four hex digits after \\u");
  EXPECT_EQ(parse_error("{ k = \x01; }").message, "unexpected byte 0x01, expected a value");
}

TEST(PropertyListParse, UnterminatedConstructsPointAtTheirStart) {
  plist::ParseError e = parse_error("{\n  k = \"never closed;\n}\n");
  EXPECT_EQ(e.message, "unterminated string");
  EXPECT_EQ(e.line, 2);
  EXPECT_EQ(e.column, 7);
  e = parse_error("( a, /* comment\n b )");
  EXPECT_EQ(e.message, "unterminated comment");
  EXPECT_EQ(e.column, 6);
  EXPECT_EQ(parse_error("\"ends in backslash\\").message, "unterminated string");
  EXPECT_EQ(parse_error("<00 11").message, "unterminated data, expected '>'");
  EXPECT_EQ(parse_error("{ a = (1, 2").message, "unexpected end of file, expected ',' or ')' in array");
  EXPECT_EQ(parse_error("{ a = ").message, "unexpected end of file, expected a value");
  EXPECT_EQ(parse_error("{ a = b;").message, "unexpected end of file, expected a key or '}'");
}

TEST(PropertyListParse, RejectsInvalidUtf8InStrings) {
  EXPECT_EQ(parse_error("\"\xC0\xAF\"").message, "invalid UTF-8 in string");      // overlong '/'
  EXPECT_EQ(parse_error("\"\xED\xA0\x80\"").message, "invalid UTF-8 in string");  // a surrogate
  EXPECT_EQ(parse_error("\"\xE2\x82\"").message, "invalid UTF-8 in string");      // cut short
  EXPECT_EQ(parse_error(std::string_view("\"a\0b\"", 5)).message, "NUL byte in string");
}

TEST(PropertyListParse, NestingIsBounded) {
  std::string ok(plist::kMaxDepth, '(');
  ok += std::string(plist::kMaxDepth, ')');
  parse_ok(ok);
  // Far too deep for the stack if it were unbounded.
  std::string deep(200000, '(');
  plist::ParseError e = parse_error(deep);
  EXPECT_EQ(e.message, "nesting deeper than 512 levels");
  EXPECT_EQ(e.column, plist::kMaxDepth + 1);
  std::string mixed;
  for (int i = 0; i < 1000; ++i) mixed += "{a=";
  EXPECT_EQ(parse_error(mixed).message, "nesting deeper than 512 levels");
}

// Random bytes and every prefix of a valid file must fail cleanly or parse;
// the sanitizers catch any out-of-bounds read.
TEST(PropertyListParse, SurvivesGarbageAndTruncation) {
  const std::string valid =
      "{ a = (1, \"two \\U00e9\", <0102>, { b = \"c\\\"\"; }); /* x */ d = e; // end\n}";
  for (size_t n = 0; n < valid.size(); ++n) {
    plist::Value value;
    plist::ParseError error;
    if (!plist::parse(valid.substr(0, n), "cut", value, error)) {
      EXPECT_GE(error.line, 1);
      EXPECT_GE(error.column, 1);
      EXPECT_FALSE(error.message.empty());
    }
  }
  std::mt19937 random(12345);
  const std::string alphabet = "{}()<>=;,\"\\/*abc019 \n\t\xC3\xA9\x80\xFF";
  for (int round = 0; round < 3000; ++round) {
    std::string text(random() % 64, '\0');
    for (char& c : text)
      c = round % 2 == 0 ? static_cast<char>(random() & 0xFF) : alphabet[random() % alphabet.size()];
    plist::Value value;
    plist::ParseError error;
    if (plist::parse(text, "fuzz", value, error)) {
      // Whatever parses must survive a write and read back equal.
      plist::Value again;
      ASSERT_TRUE(plist::parse(plist::write(value), "again", again, error)) << error.describe();
      EXPECT_EQ(again, value);
    } else {
      EXPECT_FALSE(error.message.empty());
    }
  }
}

TEST(PropertyListWrite, QuotesOnlyWhenNeeded) {
  EXPECT_EQ(plist::quote_if_needed("Plain-1.0_$+:/x"), "Plain-1.0_$+:/x");
  EXPECT_EQ(plist::quote_if_needed(""), "\"\"");
  EXPECT_EQ(plist::quote_if_needed("two words"), "\"two words\"");
  EXPECT_EQ(plist::quote_if_needed("//not a comment"), "\"//not a comment\"");
  EXPECT_EQ(plist::quote_if_needed("q\"b\\\n\x01"), "\"q\\\"b\\\\\\n\\U0001\"");
}

TEST(PropertyListWrite, RoundTripsNestedValues) {
  plist::Dictionary inner;
  inner.set("x y", plist::Value("1"));
  plist::Dictionary d;
  d.set("B", plist::Value(plist::Array{plist::Value("a"), plist::Value(""), plist::Value(std::move(inner))}));
  d.set("A", plist::Value("caf\xC3\xA9 \"x\""));
  d.set("C", plist::Value(plist::Data{{0xde, 0xad, 0xbe, 0xef, 0x01}}));
  d.set("E", plist::Value(plist::Array{}));
  plist::Value original(std::move(d));
  std::string pretty = plist::write(original);
  EXPECT_EQ(
      pretty,
      "{\n    B = (\n        a,\n        \"\",\n        {\n            \"x y\" = 1;\n        }\n    );\n"
      "    A = \"caf\xC3\xA9 \\\"x\\\"\";\n    C = <deadbeef 01>;\n    E = ();\n}\n");
  EXPECT_EQ(parse_ok(pretty), original);
  EXPECT_EQ(parse_ok(plist::write(original, false)), original);
}

// Pretty text is indented only so deep: a container kMaxIndentLevel levels
// down goes on one line, so a deep value cannot make its text balloon. The
// smallest text spends no byte it need not; a limit stops the writer.
TEST(PropertyListWrite, IndentationIsCappedAndALimitStopsTheWriter) {
  plist::Value deep = parse_ok(std::string(20, '(') + "a, b" + std::string(20, ')'));
  std::string pretty = plist::write(deep);
  size_t widest = 0;
  std::istringstream lines(pretty);
  for (std::string line; std::getline(lines, line);) widest = std::max(widest, line.find_first_not_of(' '));
  EXPECT_EQ(widest, 4u * plist::kMaxIndentLevel);
  EXPECT_NE(pretty.find("\n" + std::string(32, ' ') + std::string(12, '(') + "a, b" + std::string(12, ')')),
            std::string::npos)
      << pretty;
  EXPECT_EQ(parse_ok(pretty), deep);

  plist::Value tree = parse_ok("{ \"a b\" = (x, \"q\\\"\\n\", <01020304 05>); c = {}; \"//d\" = \"e//f\"; }");
  std::string smallest;
  ASSERT_TRUE(plist::write(tree, plist::Style::kSmallest, SIZE_MAX, smallest));
  EXPECT_EQ(smallest, "{\"a b\"=(x,\"q\\\"\n\",<0102030405>);c={};\"//d\"=e//f;}");
  EXPECT_EQ(parse_ok(smallest), tree);

  std::string out = "left over";
  EXPECT_FALSE(plist::write(tree, plist::Style::kPretty, 20, out));
  EXPECT_TRUE(out.empty());
  EXPECT_TRUE(plist::write_within(tree, smallest.size(), out));
  EXPECT_EQ(out, smallest);
  EXPECT_FALSE(plist::write_within(tree, smallest.size() - 1, out));
  EXPECT_TRUE(out.empty());
}

TEST(PropertyListWrite, WritableOnlyWhatReadsBack) {
  std::string why;
  EXPECT_TRUE(plist::is_writable(parse_ok("{ a = (\"caf\\U00e9 \\UD83D\\UDE00\", <00ff>); }"), why)) << why;
  plist::Dictionary bad_key;
  bad_key.set("k\xC3(", plist::Value("v"));
  const std::vector<std::pair<plist::Value, std::string>> refused = {
      {plist::Value("ab\xFF"), "the string starting ab holds bytes that are not UTF-8 at byte 2"},
      {plist::Value(plist::Array{plist::Value("ok"), plist::Value(std::string("a\0b", 3))}),
       "the string starting a holds a NUL byte at byte 1"},
      {plist::Value(bad_key), "the string starting k holds bytes that are not UTF-8 at byte 1"},
      {plist::Value("\xED\xA0\x80"), "the string starting \"\" holds bytes that are not UTF-8 at byte 0"},
  };
  for (const auto& [value, message] : refused) {
    EXPECT_FALSE(plist::is_writable(value, why));
    EXPECT_EQ(why, message);
    // Written anyway, it would not read back.
    plist::Value back;
    plist::ParseError error;
    EXPECT_FALSE(plist::parse(plist::write(value), "", back, error));
  }
}

TEST(PropertyListParse, ValueOrString) {
  EXPECT_TRUE(plist::parse_value_or_string("(a, b)").is_array());
  EXPECT_EQ(plist::parse_value_or_string("hello world").string(), "hello world");
  EXPECT_EQ(plist::parse_value_or_string("\"quoted\"").string(), "quoted");
  EXPECT_EQ(plist::parse_value_or_string("{ broken").string(), "{ broken");
  EXPECT_EQ(plist::parse_value_or_string("").string(), "");
}

}  // namespace

// Past a few keys the dictionary indexes them by hash: order, replacement
// in place, erasure (which moves later keys down) and copies must all
// behave as in a short one.
TEST(PropertyListDictionary, LargeDictionaryKeepsOrderThroughSetAndErase) {
  plist::Dictionary d;
  for (int i = 0; i < 1000; ++i) d.set("k" + std::to_string(i), std::to_string(i));
  d.set("k5", "five");  // replaced in place
  EXPECT_TRUE(d.erase("k0"));
  EXPECT_FALSE(d.erase("k0"));
  for (int i = 2; i < 1000; i += 2) EXPECT_TRUE(d.erase("k" + std::to_string(i)));
  ASSERT_EQ(d.size(), 500u);
  int expected = 1;
  for (const auto& [key, value] : d) {
    EXPECT_EQ(key, "k" + std::to_string(expected));
    EXPECT_EQ(value.string(), expected == 5 ? "five" : std::to_string(expected));
    expected += 2;
  }
  for (int i = 0; i < 1000; ++i) {
    const plist::Value* v = d.find("k" + std::to_string(i));
    EXPECT_EQ(v != nullptr, i % 2 == 1) << i;
  }
  plist::Dictionary copy = d;
  copy.set("new", "x");
  EXPECT_EQ(copy.find("k999")->string(), "999");
  EXPECT_EQ(d.find("new"), nullptr);
  // Shrinking back below the indexed size still finds every key.
  for (int i = 1; i < 995; i += 2) d.erase("k" + std::to_string(i));
  ASSERT_EQ(d.size(), 3u);
  EXPECT_EQ(d.find("k997")->string(), "997");
  EXPECT_EQ(d.find("k1"), nullptr);
}
