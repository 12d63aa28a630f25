// The one UTF-8/UTF-16 conversion and its policy for malformed input
// (platform/text/utf.h): nothing is replaced; text from the system comes
// back unchanged; bytes that are neither UTF-8 nor a surrogate's form are
// refused.
#include "utf.h"

#include <gtest/gtest.h>

TEST(Utf, ConvertsBothWaysAndKeepsLoneSurrogatesMalformed) {
  struct Case {
    std::u16string utf16;
    std::string utf8;
    bool valid;  // whether utf8 is well-formed UTF-8
  };
  const Case cases[] = {
      {u"", "", true},
      {u"a\u00e9\u20ac", "a\xC3\xA9\xE2\x82\xAC", true},
      {u"\U0001F600", "\xF0\x9F\x98\x80", true},                                  // a pair, joined
      {std::u16string(1, u'\xD83D'), "\xED\xA0\xBD", false},                      // a high surrogate alone
      {std::u16string(1, u'\xDE00') + u"x", "\xED\xB8\x80x", false},              // a low one alone
      {std::u16string{u'\xDE00', u'\xD83D'}, "\xED\xB8\x80\xED\xA0\xBD", false},  // reversed: not a pair
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(utf::to_utf8(c.utf16), c.utf8);
    EXPECT_EQ(utf::is_utf8(c.utf8), c.valid);
    EXPECT_EQ(utf::to_utf16(c.utf8), c.utf16);  // back unchanged
  }
}

TEST(Utf, RefusesBytesThatAreNotUtf8) {
  for (const char* bad :
       {"\x80", "\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80", "a\xFF"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(utf::is_utf8(bad));
    EXPECT_FALSE(utf::to_utf16(bad).has_value());
  }
}
