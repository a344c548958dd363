#include "base/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace kovracam {
namespace {

TEST(Utf16, ConvertsBothWaysAtTheEdgesOfEachEncodingLength) {
  const std::pair<std::string, std::u16string> cases[] = {
      {"", u""},
      {std::string("\0", 1), std::u16string(1, u'\0')},
      // U+00E9, U+20AC and U+1F600 in UTF-8: two, three and four bytes.
      {"a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80", u"a\u00E9\u20AC\xD83D\xDE00"},
      {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80", u"\u007F\u0080\u07FF\u0800"},
      {"\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF", u"\uD7FF\uE000\uFFFF"},
      {"\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", u"\U00010000\U0010FFFF"}};
  for (const auto& [utf8, utf16] : cases) {
    EXPECT_EQ(utf8ToUtf16(utf8), utf16) << ::testing::PrintToString(utf8);
    EXPECT_EQ(utf16ToUtf8(utf16), utf8) << ::testing::PrintToString(utf8);
  }
  std::u16string all;  // every scalar value below U+11000, then a sample of the rest
  for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x11000 ? 1 : 97)) {
    if (cp >= 0x10000) {
      all += {char16_t(0xD800 + ((cp - 0x10000) >> 10)), char16_t(0xDC00 + (cp & 0x3FF))};
    } else if (cp < 0xD800 || cp > 0xDFFF) {
      all += char16_t(cp);
    }
  }
  const auto utf8 = utf16ToUtf8(all);
  ASSERT_TRUE(utf8.has_value());
  EXPECT_EQ(utf8ToUtf16(*utf8), all);
  EXPECT_EQ(utf16Length(*utf8), all.size());
}

TEST(Utf16, RejectsInvalidInput) {
  // A stray continuation byte, sequences cut short at the end and by ASCII, overlong forms of
  // U+007F, U+07FF and U+FFFF, surrogates, values above U+10FFFF and bytes never used.
  const char* bad[] = {"\x80",
                       "\xC3",
                       "\xE2\x82\x61",
                       "\xC1\xBF",
                       "\xE0\x9F\xBF",
                       "\xF0\x8F\xBF\xBF",
                       "\xED\xA0\x80",
                       "\xED\xBF\xBF",
                       "\xF4\x90\x80\x80",
                       "\xF5\x80\x80\x80",
                       "\xFE",
                       "\xFF"};
  for (const char* text : bad) {
    EXPECT_FALSE(utf8ToUtf16(text).has_value()) << ::testing::PrintToString(std::string(text));
    EXPECT_FALSE(utf8ToUtf16(std::string("ok") + text + "ok").has_value());
  }
  const std::u16string unpaired[] = {u"\xD800", u"\xDC00", u"a\xD83D", u"\xDE00\xD83D",
                                     u"\xD83D\xD83D\xDE00"};
  for (const auto& text : unpaired) EXPECT_FALSE(utf16ToUtf8(text).has_value());
}

}  // namespace
}  // namespace kovracam
