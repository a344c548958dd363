// Device enumeration and binding against the fake kernel.

#include "capture/linux/device_enumerator.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <sstream>

#include "base/utf16.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/test_env.h"

namespace kovracam {
namespace {

using Names = std::vector<std::string>;

class DeviceEnumeratorTest : public ::testing::Test {
 protected:
  FakeDevice* addCamera(int number, const std::string& card) {
    const std::string node = "/dev/video" + std::to_string(number);
    io.addDevice(node, fakeUvcCamera(card));
    return io.device(node);
  }
  // The display names listed, after checking the status; the diagnostics land in `diagnostics`.
  Names enumerate(Status expected = kOk) {
    diagnostics.str("");
    EXPECT_EQ(enumerateDevices(io, &list, diagnostics), expected);
    Names names;
    for (const auto& record : list.pRecords) names.push_back(record.szDisplayName);
    return names;
  }
  long lines() const {
    const std::string text = diagnostics.str();
    return std::count(text.begin(), text.end(), '\n');
  }

  testing::VirtualCameraEnv virtualCameras{""};  // none, whatever the user has configured
  FakeV4l2Io io;
  DeviceList list;
  std::ostringstream diagnostics;
};

TEST_F(DeviceEnumeratorTest, ListsOnlyNodesThatCaptureVideoFramesByNodeNumber) {
  constexpr std::uint32_t kCapture = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  addCamera(10, "Tenth");
  addCamera(2, "Second");
  io.addDevice("/dev/video1", fakeUvcMetadataNode("Second"));
  addCamera(3, "Touch Pad")->deviceCaps = kCapture | V4L2_CAP_TOUCH;
  addCamera(4, "Output")->deviceCaps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
  addCamera(5, "Loopback")->deviceCaps = kCapture | V4L2_CAP_VIDEO_OUTPUT;
  addCamera(7, "Formatless")->formats.clear();
  FakeDevice* old = addCamera(9, "Old Driver");  // without DEVICE_CAPS `capabilities` count
  old->capabilities = kCapture;
  old->deviceCaps = 0;
  FakeDevice* oldOutput = addCamera(11, "Old Output");
  oldOutput->capabilities = V4L2_CAP_VIDEO_OUTPUT;
  oldOutput->deviceCaps = kCapture;
  // Not video nodes at all, whatever they answer.
  io.addDevice("/dev/media0", fakeUvcCamera("Media Controller"));
  io.addDevice("/dev/video-extra", fakeUvcCamera("Oddly Named"));

  EXPECT_EQ(enumerate(), (Names{"/dev/video2", "/dev/video9", "/dev/video10"}));
  EXPECT_TRUE(list.pRecords[0].szFriendlyName == "Second" &&
              list.pRecords[2].szDevicePath == "/dev/video10");
  EXPECT_EQ(diagnostics.str(), "");
  EXPECT_TRUE(io.ioctlCount("/dev/media0", VIDIOC_QUERYCAP) == 0 && io.openFdCount() == 0);
}

TEST_F(DeviceEnumeratorTest, CutsLongFieldsTo259Utf16Units) {
  // 15 units of directory, 244 letters, then a character that takes two units: it must go whole.
  io.addLink("/dev/v4l/by-id/" + std::string(244, 'n') + "\xF0\x9F\x93\xB7-video", "../../video0");
  addCamera(0, std::string(28, 'c') + "\xC3\xA9\xC3\xA9");  // the kernel cuts inside the 2nd é
  virtualCameras.write("id=v;name=" + std::string(300, 'k') + ";formats=YUY2 8x8@1\n");
  ASSERT_EQ(enumerate().size(), 2u);
  const DeviceRecord& path = list.pRecords[0];
  EXPECT_TRUE(path.szDisplayName == "/dev/v4l/by-id/" + std::string(244, 'n') &&
              utf16Length(path.szDisplayName) == kDeviceFieldUnits);
  EXPECT_EQ(path.szFriendlyName + list.pRecords[1].szFriendlyName,
            std::string(28, 'c') + "\xC3\xA9" + std::string(kDeviceFieldUnits, 'k'));
}

TEST_F(DeviceEnumeratorTest, ListsAtMost17DevicesAndSaysHowManyWereLeftOut) {
  virtualCameras.write("id=front; name=Front; formats=YUY2 640x480@30\n");
  for (int i = 0; i < 17; ++i) addCamera(i, "Camera " + std::to_string(i));  // 18 in all
  EXPECT_EQ(enumerate().back(), "/dev/video16");
  EXPECT_TRUE(list.nCount() == kMaxListedDevices && lines() == 1);
  EXPECT_NE(diagnostics.str().find("1 was left out"), std::string::npos) << diagnostics.str();
  io.vanish("/dev/video16");
  EXPECT_EQ(enumerate().back(), "virtual:front");
  EXPECT_TRUE(list.nCount() == kMaxListedDevices && diagnostics.str().empty());
}

TEST_F(DeviceEnumeratorTest, SkipsNodesThatCannotBeOpenedAndSaysWhyWhenItMatters) {
  list.pRecords.push_back({"stale", "stale", "stale"});
  addCamera(0, "Locked");
  addCamera(1, "Unplugged Meanwhile");
  io.failOpen("/dev/video0", EACCES);
  io.failOpen("/dev/video1", ENOENT);
  EXPECT_TRUE(enumerate(kNoDevice).empty() && lines() == 1);
  EXPECT_NE(diagnostics.str().find("/dev/video0"), std::string::npos) << diagnostics.str();
  EXPECT_EQ(enumerateDevices(io, nullptr, diagnostics), kInvalidArg);
}

}  // namespace
}  // namespace kovracam
