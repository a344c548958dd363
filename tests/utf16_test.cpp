#include "lang/utf16.h"

#include <gtest/gtest.h>

#include <string>

namespace kovracam {
namespace {

// U+00E9, U+20AC, U+1F600 in UTF-8.
const std::string kEAcute = "\xC3\xA9";
const std::string kEuro = "\xE2\x82\xAC";
const std::string kGrin = "\xF0\x9F\x98\x80";

TEST(Utf8ToUtf16, ConvertsEveryEncodingLength) {
  const auto out = utf8ToUtf16("a" + kEAcute + kEuro + kGrin);
  ASSERT_TRUE(out.has_value());
  EXPECT_EQ(*out, u"a\u00E9\u20AC\U0001F600");
  ASSERT_EQ(out->size(), 5u);
  EXPECT_EQ((*out)[3], 0xD83D);
  EXPECT_EQ((*out)[4], 0xDE00);
}

TEST(Utf8ToUtf16, ConvertsTheEdgesOfEachRange) {
  EXPECT_EQ(utf8ToUtf16(std::string("\0", 1)), std::u16string(1, u'\0'));
  EXPECT_EQ(utf8ToUtf16("\x7F"), u"\u007F");
  EXPECT_EQ(utf8ToUtf16("\xC2\x80"), u"\u0080");
  EXPECT_EQ(utf8ToUtf16("\xDF\xBF"), u"\u07FF");
  EXPECT_EQ(utf8ToUtf16("\xE0\xA0\x80"), u"\u0800");
  EXPECT_EQ(utf8ToUtf16("\xED\x9F\xBF"), u"\uD7FF");
  EXPECT_EQ(utf8ToUtf16("\xEE\x80\x80"), u"\uE000");
  EXPECT_EQ(utf8ToUtf16("\xEF\xBF\xBF"), u"\uFFFF");
  EXPECT_EQ(utf8ToUtf16("\xF0\x90\x80\x80"), u"\U00010000");
  EXPECT_EQ(utf8ToUtf16("\xF4\x8F\xBF\xBF"), u"\U0010FFFF");
  EXPECT_EQ(utf8ToUtf16(""), u"");
}

TEST(Utf8ToUtf16, RejectsInvalidSequences) {
  const char* bad[] = {
      "\x80",      // stray continuation byte
      "\xC3",      // sequence cut short at the end
      "\xE2\x82",  // sequence cut short at the end
      "\xE2\x82"
      "a",                 // sequence cut short by an ASCII byte
      "\xC0\xAF",          // overlong '/'
      "\xC1\xBF",          // overlong U+007F
      "\xE0\x80\xAF",      // overlong '/'
      "\xE0\x9F\xBF",      // overlong U+07FF
      "\xF0\x8F\xBF\xBF",  // overlong U+FFFF
      "\xED\xA0\x80",      // high surrogate U+D800
      "\xED\xBF\xBF",      // low surrogate U+DFFF
      "\xF4\x90\x80\x80",  // U+110000
      "\xF5\x80\x80\x80",  // lead byte beyond the Unicode range
      "\xF8\x88\x80\x80\x80",
      "\xFE",
      "\xFF",
  };
  for (const char* text : bad) {
    EXPECT_FALSE(utf8ToUtf16(text).has_value()) << testing::PrintToString(std::string(text));
    EXPECT_FALSE(utf8ToUtf16(std::string("ok") + text + "ok").has_value());
  }
}

TEST(Utf16ToUtf8, ConvertsSurrogatePairsAndBmp) {
  EXPECT_EQ(utf16ToUtf8(u"a\u00E9\u20AC\U0001F600"), "a" + kEAcute + kEuro + kGrin);
  EXPECT_EQ(utf16ToUtf8(u"\U0010FFFF"), "\xF4\x8F\xBF\xBF");
  EXPECT_EQ(utf16ToUtf8(u"\uFFFF\uE000"), "\xEF\xBF\xBF\xEE\x80\x80");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, u'\0')), std::string("\0", 1));
}

TEST(Utf16ToUtf8, RejectsUnpairedSurrogates) {
  const std::u16string bad[] = {
      {char16_t(0xD800)},
      {char16_t(0xDC00)},
      {u'a', char16_t(0xD83D)},
      {char16_t(0xD83D), u'a'},
      {char16_t(0xDE00), char16_t(0xD83D)},  // a pair in the wrong order
      {char16_t(0xD83D), char16_t(0xD83D), char16_t(0xDE00)},
  };
  for (const auto& text : bad) EXPECT_FALSE(utf16ToUtf8(text).has_value());
}

TEST(Utf16RoundTrip, EveryScalarValueSurvivesBothWays) {
  std::u16string all;
  for (char32_t cp = 1; cp <= 0x10FFFF; cp += (cp < 0x11000 ? 1 : 97)) {
    if (cp >= 0xD800 && cp <= 0xDFFF) continue;
    if (cp >= 0x10000) {
      all += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      all += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      all += static_cast<char16_t>(cp);
    }
  }
  const auto utf8 = utf16ToUtf8(all);
  ASSERT_TRUE(utf8.has_value());
  EXPECT_EQ(utf8ToUtf16(*utf8), all);
  EXPECT_EQ(utf16Length(*utf8), all.size());
}

TEST(Utf16Length, CountsUnitsNotBytes) {
  EXPECT_EQ(utf16Length(""), 0u);
  EXPECT_EQ(utf16Length("abc"), 3u);
  EXPECT_EQ(utf16Length(kEAcute + kEuro), 2u);
  EXPECT_EQ(utf16Length(kGrin), 2u);
  EXPECT_EQ(utf16Length("a" + kGrin + "b"), 4u);
}

TEST(Utf16Length, CountsEachBadByteAsOneUnit) {
  EXPECT_EQ(utf16Length("\xFF"), 1u);
  EXPECT_EQ(utf16Length("\xC0\xAF"), 2u);
  EXPECT_EQ(utf16Length("a\xE2\x82"), 3u);
  EXPECT_EQ(utf16Length("\xED\xA0\x80" + kGrin), 5u);
}

TEST(TruncateToUtf16Units, KeepsTextThatFits) {
  EXPECT_EQ(truncateToUtf16Units("abc", 3), "abc");
  EXPECT_EQ(truncateToUtf16Units("abc", 100), "abc");
  EXPECT_EQ(truncateToUtf16Units("", 0), "");
  EXPECT_EQ(truncateToUtf16Units("abc", 0), "");
  EXPECT_EQ(truncateToUtf16Units("abcdef", 4), "abcd");
}

TEST(TruncateToUtf16Units, NeverSplitsACharacterOrASurrogatePair) {
  const std::string text = "a" + kEuro + kGrin + "b";  // units: 1 + 1 + 2 + 1
  EXPECT_EQ(truncateToUtf16Units(text, 1), "a");
  EXPECT_EQ(truncateToUtf16Units(text, 2), "a" + kEuro);
  EXPECT_EQ(truncateToUtf16Units(text, 3), "a" + kEuro);  // the pair does not fit
  EXPECT_EQ(truncateToUtf16Units(text, 4), "a" + kEuro + kGrin);
  EXPECT_EQ(truncateToUtf16Units(text, 5), text);
  for (std::size_t n = 0; n <= 6; ++n) {
    const std::string cut = truncateToUtf16Units(text, n);
    EXPECT_TRUE(utf8ToUtf16(cut).has_value()) << n;
    EXPECT_LE(utf16Length(cut), n);
  }
}

TEST(TruncateToUtf16Units, StepsOverBadBytesOneUnitEach) {
  EXPECT_EQ(truncateToUtf16Units("a\xFF"
                                 "b",
                                 2),
            "a\xFF");
  EXPECT_EQ(truncateToUtf16Units("\xC0\xAF"
                                 "c",
                                 1),
            "\xC0");
}

}  // namespace
}  // namespace kovracam
