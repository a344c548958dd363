// The menu rules for every popup the frame opens, in each of the frame's states.

#include "app/menu_rules.h"

#include <gtest/gtest.h>

#include "res/command_ids.h"

namespace kovracam {
namespace {

constexpr ItemEnable L = ItemEnable::Leave, E = ItemEnable::Enable, G = ItemEnable::Gray;
constexpr ItemCheck l = ItemCheck::Leave, C = ItemCheck::Check, U = ItemCheck::Uncheck;

struct Row {
  int index;
  std::uint32_t id;
  MenuFlags flags;
  ItemRule expected;
};

constexpr MenuFlags kOff{false, false, ID_DEVICE_FIRST, 1};
constexpr MenuFlags kOn{true, false, ID_DEVICE_FIRST, 2};
constexpr MenuFlags kRec{true, true, ID_DEVICE_FIRST + 1, -1};

const Row kRows[] = {
    {0, ID_APP_EXIT, kRec, {E, l}},
    {1, ID_DEVICE_FIRST, kOn, {E, C}},
    {1, ID_DEVICE_FIRST, kRec, {E, U}},
    {2, ID_OPTION_PREVIEW, kOff, {E, U}},
    {2, ID_OPTION_PREVIEW, kOn, {E, C}},
    {2, ID_OPTION_PREVIEW, kRec, {G, C}},
    {2, ID_OPTION_FILTER_PROPERTIES, kOff, {G, l}},
    {2, ID_OPTION_PIN_PROPERTIES, kRec, {E, l}},
    {2, kSubmenuItemId, kOff, {G, l}},
    {2, kSubmenuItemId, kOn, {E, l}},
    {2, kSubmenuItemId, kRec, {G, l}},
    {2, kSeparatorItemId, kOn, {L, l}},
    {3, ID_CAPTURE_START, kOn, {E, l}},
    {3, ID_CAPTURE_START, kRec, {G, l}},
    {3, ID_CAPTURE_STOP, kOn, {G, l}},
    {3, ID_CAPTURE_STOP, kRec, {E, l}},
    {3, ID_CAPTURE_SNAPSHOT, kOff, {G, l}},
    {3, ID_CAPTURE_SNAPSHOT, kRec, {E, l}},
    {4, ID_FREQUENCY_50HZ, kOn, {E, U}},
    {4, ID_FREQUENCY_60HZ, kOn, {E, C}},
    {4, ID_FREQUENCY_50HZ, {true, false, ID_DEVICE_FIRST, 1}, {E, C}},
    {4, ID_FREQUENCY_60HZ, kOff, {E, l}},
    {4, ID_FREQUENCY_50HZ, kRec, {E, l}},
    {4, ID_APP_ABOUT, kOn, {E, l}},
};

TEST(MenuRules, EachItemFollowsPreviewRecordingSelectionAndPowerLine) {
  for (const Row& row : kRows) {
    const ItemRule rule = menuItemRule(row.index, row.id, row.flags);
    EXPECT_TRUE(rule == row.expected) << "popup " << row.index << " item " << row.id;
  }
  EXPECT_TRUE(!powerLineNeeded(2, false) && powerLineNeeded(4, true) && !powerLineNeeded(3, true));
}

// Seventeen cameras, 32772 to 32788; the ids around them are other commands.
TEST(MenuRules, TheDeviceRangeHoldsSeventeenIds) {
  EXPECT_TRUE(isDeviceCommand(ID_DEVICE_FIRST) && isDeviceCommand(ID_DEVICE_LAST));
  EXPECT_EQ(ID_DEVICE_LAST - ID_DEVICE_FIRST + 1, 17u);
  EXPECT_FALSE(isDeviceCommand(ID_DEVICE_FIRST - 1) || isDeviceCommand(ID_DEVICE_LAST + 1));
}

}  // namespace
}  // namespace kovracam
