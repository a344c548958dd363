// The device-choice file's bytes and the search for the stored name, as both builds have them.

#include "view/device_choice_bytes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace kovracam {
namespace {

TEST(DeviceChoiceBytes, ACountThenTheNameInUtf16) {
  const std::vector<std::uint8_t> bytes = encodeDeviceChoice("virtual:\xC3\xA9\xF0\x9F\x98\x80");
  const std::vector<std::uint8_t> expected = {11,  0,   0,    0,   'v',  0,    'i',  0,   'r',
                                              0,   't', 0,    'u', 0,    'a',  0,    'l', 0,
                                              ':', 0,   0xE9, 0,   0x3D, 0xD8, 0x00, 0xDE};
  EXPECT_EQ(bytes, expected);
  EXPECT_EQ(decodeDeviceChoice(bytes), "virtual:\xC3\xA9\xF0\x9F\x98\x80");
  EXPECT_TRUE(encodeDeviceChoice("bad \xC3(").empty());
}

TEST(FindDeviceChoice, TheLastExactMatchWins) {
  DeviceList list;
  for (const char* name : {"virtual:a", "virtual:Cam", "virtual:a", "virtual:cam2"}) {
    list.pRecords.push_back({name, "Friendly", name});
  }
  EXPECT_EQ(findDeviceChoice(list, "virtual:a"), 2u);
  EXPECT_EQ(findDeviceChoice(list, "virtual:Cam"), 1u);
  for (const char* other : {"virtual:cam", "VIRTUAL:Cam", "virtual:Ca", ""}) {
    EXPECT_EQ(findDeviceChoice(list, other), std::nullopt) << other;
  }
}

}  // namespace
}  // namespace kovracam
