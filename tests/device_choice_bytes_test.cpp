// The search for the stored name among the cameras, as both builds have it.

#include "view/device_choice_bytes.h"

#include <gtest/gtest.h>

namespace kovracam {
namespace {

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
