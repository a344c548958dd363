// Device enumeration and binding against the fake kernel.

#include "capture/device_enumerator.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "capture/fake_v4l2_io.h"
#include "capture/virtual_camera_config.h"
#include "lang/utf16.h"

namespace kovracam {
namespace {

// Hides the user's virtual cameras from the test and restores the variable afterwards.
class ScopedVirtualCameras {
 public:
  ScopedVirtualCameras() {
    if (const char* value = std::getenv(kVirtualCamerasEnv)) saved_ = value;
    unsetenv(kVirtualCamerasEnv);
  }
  ~ScopedVirtualCameras() {
    if (saved_) {
      setenv(kVirtualCamerasEnv, saved_->c_str(), 1);
    } else {
      unsetenv(kVirtualCamerasEnv);
    }
    if (!file_.empty()) std::remove(file_.c_str());
  }
  ScopedVirtualCameras(const ScopedVirtualCameras&) = delete;
  ScopedVirtualCameras& operator=(const ScopedVirtualCameras&) = delete;

  void use(const std::string& text) {
    file_ = ::testing::TempDir() + "kovracam_virtual_" + std::to_string(::getpid()) + ".txt";
    std::ofstream(file_) << text;
    setenv(kVirtualCamerasEnv, file_.c_str(), 1);
  }

 private:
  std::optional<std::string> saved_;
  std::string file_;
};

class DeviceEnumeratorTest : public ::testing::Test {
 protected:
  void addCamera(int number, const std::string& card) {
    io.addDevice("/dev/video" + std::to_string(number), fakeUvcCamera(card));
  }

  // The enumeration's status; the records land in `list`, the diagnostics in `diagnostics`.
  Status enumerate() {
    diagnostics.str("");
    return enumerateDevices(io, &list, diagnostics);
  }

  std::vector<std::string> displayNames() const {
    std::vector<std::string> names;
    for (const auto& record : list.pRecords) names.push_back(record.szDisplayName);
    return names;
  }

  ScopedVirtualCameras virtualCameras;
  FakeV4l2Io io;
  DeviceList list;
  std::ostringstream diagnostics;
};

std::size_t lineCount(const std::string& text) {
  return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(DeviceEnumeratorTest, ListsCaptureNodesByNodeNumber) {
  addCamera(10, "Tenth");
  addCamera(2, "Second");
  addCamera(0, "First");
  ASSERT_EQ(enumerate(), kOk);
  ASSERT_EQ(list.nCount(), 3u);
  EXPECT_EQ(displayNames(),
            (std::vector<std::string>{"/dev/video0", "/dev/video2", "/dev/video10"}));
  EXPECT_EQ(list.pRecords[1].szFriendlyName, "Second");
  EXPECT_EQ(list.pRecords[2].szDevicePath, "/dev/video10");
  EXPECT_EQ(diagnostics.str(), "");
  EXPECT_EQ(io.openFdCount(), 0u);
}

TEST_F(DeviceEnumeratorTest, LeavesOutNodesThatDoNotCaptureVideoFrames) {
  addCamera(0, "Camera");
  io.addDevice("/dev/video1", fakeUvcMetadataNode("Camera"));
  FakeDevice touch = fakeUvcCamera("Touch Pad");
  touch.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_TOUCH | V4L2_CAP_STREAMING;
  io.addDevice("/dev/video2", touch);
  FakeDevice output = fakeUvcCamera("Output");
  output.deviceCaps = V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_STREAMING;
  io.addDevice("/dev/video3", output);
  FakeDevice loopback = fakeUvcCamera("Loopback");
  loopback.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_VIDEO_OUTPUT;
  io.addDevice("/dev/video4", loopback);
  FakeDevice codec = fakeUvcCamera("Codec");
  codec.deviceCaps = V4L2_CAP_VIDEO_M2M | V4L2_CAP_STREAMING;
  io.addDevice("/dev/video5", codec);
  FakeDevice formatless = fakeUvcCamera("Formatless");
  formatless.formats.clear();
  io.addDevice("/dev/video6", formatless);
  FakeDevice multiplanar = fakeUvcCamera("Multiplanar");
  multiplanar.deviceCaps = V4L2_CAP_VIDEO_CAPTURE_MPLANE | V4L2_CAP_STREAMING;
  io.addDevice("/dev/video7", multiplanar);
  // Not video nodes at all, whatever they answer.
  io.addDevice("/dev/media0", fakeUvcCamera("Media Controller"));
  io.addDevice("/dev/video-extra", fakeUvcCamera("Oddly Named"));

  ASSERT_EQ(enumerate(), kOk);
  ASSERT_EQ(list.nCount(), 1u);
  EXPECT_EQ(list.pRecords[0].szFriendlyName, "Camera");
  EXPECT_EQ(io.ioctlCount("/dev/media0", VIDIOC_QUERYCAP), 0);
}

TEST_F(DeviceEnumeratorTest, UsesCapabilitiesWhenTheDriverHasNoDeviceCaps) {
  FakeDevice old = fakeUvcCamera("Old Driver");
  old.capabilities = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING;
  old.deviceCaps = 0;
  io.addDevice("/dev/video0", old);
  FakeDevice oldOutput = fakeUvcCamera("Old Output");
  oldOutput.capabilities = V4L2_CAP_VIDEO_OUTPUT;
  oldOutput.deviceCaps = V4L2_CAP_VIDEO_CAPTURE;  // ignored without V4L2_CAP_DEVICE_CAPS
  io.addDevice("/dev/video1", oldOutput);
  ASSERT_EQ(enumerate(), kOk);
  EXPECT_EQ(displayNames(), std::vector<std::string>{"/dev/video0"});
}

TEST_F(DeviceEnumeratorTest, DisplayNamePrefersByIdThenByPathThenTheNode) {
  addCamera(0, "Both Links");
  addCamera(1, "Path Only");
  addCamera(2, "No Link");
  io.addLink("/dev/v4l/by-path/pci-0000:00:14.0-usb-0:1:1.0-video-index0", "../../video0");
  io.addLink("/dev/v4l/by-id/usb-Maker_Cam_B-video-index0", "../../video0");
  io.addLink("/dev/v4l/by-id/usb-Maker_Cam_A-video-index0", "../../video0");
  io.addLink("/dev/v4l/by-path/pci-0000:00:14.0-usb-0:2:1.0-video-index0", "/dev/video1");
  io.addLink("/dev/v4l/by-id/usb-Gone-video-index0", "../../video9");  // dangling
  ASSERT_EQ(enumerate(), kOk);
  EXPECT_EQ(displayNames(),
            (std::vector<std::string>{"/dev/v4l/by-id/usb-Maker_Cam_A-video-index0",
                                      "/dev/v4l/by-path/pci-0000:00:14.0-usb-0:2:1.0-video-index0",
                                      "/dev/video2"}));
  for (std::size_t i = 0; i < list.pRecords.size(); ++i) {
    EXPECT_EQ(list.pRecords[i].szDevicePath, "/dev/video" + std::to_string(i));
  }
}

TEST_F(DeviceEnumeratorTest, CutsLongFieldsTo259Utf16Units) {
  // 15 units of directory, 244 letters, then a character that takes two units: it must go whole.
  const std::string linkName = std::string(244, 'n') + "\xF0\x9F\x93\xB7" + "-video";
  io.addLink("/dev/v4l/by-id/" + linkName, "../../video0");
  FakeDevice camera = fakeUvcCamera("");
  camera.card = std::string(28, 'c') + "\xC3\xA9\xC3\xA9";  // the kernel cuts inside the 2nd é
  io.addDevice("/dev/video0", camera);
  ASSERT_EQ(enumerate(), kOk);
  const DeviceRecord& record = list.pRecords.at(0);
  EXPECT_EQ(record.szDisplayName, "/dev/v4l/by-id/" + std::string(244, 'n'));
  EXPECT_EQ(utf16Length(record.szDisplayName), kDeviceFieldUnits);
  EXPECT_EQ(record.szFriendlyName, std::string(28, 'c') + "\xC3\xA9");

  const std::string longCard(300, 'k');
  EXPECT_EQ(boundedDeviceField(longCard), std::string(kDeviceFieldUnits, 'k'));
  EXPECT_EQ(boundedDeviceField("short"), "short");
}

TEST_F(DeviceEnumeratorTest, ListsAtMost17AndSaysHowManyWereLeftOut) {
  for (int i = 0; i < 18; ++i) addCamera(i, "Camera " + std::to_string(i));
  ASSERT_EQ(enumerate(), kOk);
  ASSERT_EQ(list.nCount(), kMaxListedDevices);
  EXPECT_EQ(list.pRecords.back().szFriendlyName, "Camera 16");
  EXPECT_EQ(lineCount(diagnostics.str()), 1u);
  EXPECT_NE(diagnostics.str().find("1 was left out"), std::string::npos) << diagnostics.str();

  io.vanish("/dev/video17");
  ASSERT_EQ(enumerate(), kOk);
  EXPECT_EQ(list.nCount(), kMaxListedDevices);
  EXPECT_EQ(diagnostics.str(), "");
}

TEST_F(DeviceEnumeratorTest, ListsVirtualCamerasAfterRealOnes) {
  virtualCameras.use(
      "id=front; name=Front Camera; formats=YUY2 640x480@30\n"
      "id=back; name=Back Camera; formats=RGB24 320x240@15\n");
  addCamera(3, "Real");
  ASSERT_EQ(enumerate(), kOk);
  EXPECT_EQ(displayNames(),
            (std::vector<std::string>{"/dev/video3", "virtual:front", "virtual:back"}));
  EXPECT_EQ(list.pRecords[1].szFriendlyName, "Front Camera");

  // The menu's bound counts virtual cameras too.
  for (int i = 4; i < 19; ++i) addCamera(i, "More");
  ASSERT_EQ(enumerate(), kOk);
  EXPECT_EQ(list.nCount(), kMaxListedDevices);
  EXPECT_EQ(list.pRecords.back().szDisplayName, "virtual:front");
  EXPECT_NE(diagnostics.str().find("1 was left out"), std::string::npos) << diagnostics.str();
}

TEST_F(DeviceEnumeratorTest, NoDeviceIsStatusOneWithAnEmptyList) {
  list.pRecords.push_back({"stale", "stale", "stale"});
  io.addDevice("/dev/video1", fakeUvcMetadataNode("Camera"));
  EXPECT_EQ(enumerate(), kNoDevice);
  EXPECT_EQ(list.nCount(), 0u);
  EXPECT_EQ(enumerateDevices(io, nullptr, diagnostics), kInvalidArg);
}

TEST_F(DeviceEnumeratorTest, SkipsNodesThatCannotBeOpenedAndSaysWhyWhenItMatters) {
  addCamera(0, "Locked");
  addCamera(1, "Unplugged Meanwhile");
  addCamera(2, "Fine");
  io.failOpen("/dev/video0", EACCES);
  io.failOpen("/dev/video1", ENOENT);
  ASSERT_EQ(enumerate(), kOk);
  EXPECT_EQ(displayNames(), std::vector<std::string>{"/dev/video2"});
  EXPECT_EQ(lineCount(diagnostics.str()), 1u);
  EXPECT_NE(diagnostics.str().find("/dev/video0"), std::string::npos) << diagnostics.str();
}

TEST_F(DeviceEnumeratorTest, ResolvesPresentDevicesByExactDisplayName) {
  virtualCameras.use("id=front; name=Front Camera; formats=YUY2 640x480@30\n");
  addCamera(0, "Desk");
  addCamera(1, "Door");
  io.addLink("/dev/v4l/by-id/usb-Door-video-index0", "../../video1");

  auto door = resolveDevice(io, "/dev/v4l/by-id/usb-Door-video-index0", diagnostics);
  ASSERT_NE(door, nullptr);
  EXPECT_EQ(door->record().szDevicePath, "/dev/video1");
  EXPECT_EQ(door->record().szFriendlyName, "Door");
  const auto format = door->currentFormat();
  ASSERT_TRUE(format.has_value());
  EXPECT_EQ(format->width, 640);

  auto front = resolveDevice(io, "virtual:front", diagnostics);
  ASSERT_NE(front, nullptr);
  EXPECT_EQ(front->record().szFriendlyName, "Front Camera");

  EXPECT_EQ(resolveDevice(io, "/dev/v4l/by-id/usb-Door", diagnostics), nullptr);
  EXPECT_EQ(resolveDevice(io, "virtual:back", diagnostics), nullptr);
  io.vanish("/dev/video1");
  EXPECT_EQ(resolveDevice(io, "/dev/v4l/by-id/usb-Door-video-index0", diagnostics), nullptr);
  EXPECT_NE(resolveDevice(io, "/dev/video0", diagnostics), nullptr);
}

}  // namespace
}  // namespace kovracam
