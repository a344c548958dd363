#include "lang/string_table.h"

#include <gtest/gtest.h>

#include <vector>

#include "lang/ui_text_table.h"

namespace kovracam {
namespace {

// Block 314 holds ids 5008..5023; entries as length + units.
std::vector<std::uint16_t> block(std::initializer_list<std::u16string> entries) {
  std::vector<std::uint16_t> units;
  for (const auto& e : entries) {
    units.push_back(static_cast<std::uint16_t>(e.size()));
    units.insert(units.end(), e.begin(), e.end());
  }
  return units;
}

// An entry is found by its position in its block; an empty one, one past the block's end, one
// in a missing block and one whose length overruns the block are absent.
TEST(StringTable, ReadsOnlyWhatTheBlockHolds) {
  const auto units = block({u"Frequency", u"", u"&Start"});
  const std::vector<std::uint16_t> overrun = {40, u'a', u'b'};
  const StringBlock blocks[] = {{314, units.data(), units.size()}};
  EXPECT_EQ(loadString(blocks, 5008), u"Frequency");
  EXPECT_EQ(loadString(blocks, 5010), u"&Start");
  EXPECT_FALSE(loadString(blocks, 5009));
  EXPECT_FALSE(loadString(blocks, 5011));
  EXPECT_FALSE(loadString(blocks, 5001));
  const StringBlock lying[] = {{314, overrun.data(), overrun.size()}};
  EXPECT_FALSE(loadString(lying, 5008));
}

TEST(ProgramStrings, HoldTwentyUiTextsAndTheTitle) {
  EXPECT_EQ(CountUiTexts(), 20u);
  UiTextTable table(CountUiTexts());
  LoadUiTexts(table, table.size());
  EXPECT_EQ(table[IDS_ERROR_CAPTION], "ERROR");
  EXPECT_EQ(table[IDS_NO_CAMERA], "Can't find Camera device");
  EXPECT_EQ(table[IDS_MENU_CAPTURE], "&Captue");
  EXPECT_EQ(table[IDS_OK], "OK");
  EXPECT_EQ(table[kUiTextCount], "");
  EXPECT_EQ(programTitle(), "KOVRACAM");
}

}  // namespace
}  // namespace kovracam
