#include "capture/virtual/virtual_camera_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <tuple>

// The parser is shared; each build checks ids and patterns with its own platform.
#ifdef _WIN32
#include "capture/win/virtual/win_camera_platform.h"
constexpr auto* platform = &kovracam::winVirtualCameraPlatform;
#else
#include "capture/linux/virtual/gst_camera_platform.h"
#include "capture/linux/virtual/virtual_camera_file.h"
#include "tests/test_env.h"
constexpr auto* platform = &kovracam::gstVirtualCameraPlatform;
#endif

namespace kovracam {
namespace {

// The cameras of `text` and the diagnostics it gave.
std::pair<std::vector<VirtualCamera>, std::string> parse(const std::string& text) {
  std::istringstream in(text);
  std::ostringstream diagnostics;
  auto cameras = parseVirtualCameras(in, "cameras.conf", diagnostics, platform());
  return {cameras, diagnostics.str()};
}

TEST(VirtualCameraConfig, ReadsEveryKeyAndSkipsWhatIsNotACamera) {
  const auto [cameras, diagnostics] = parse(
      "\xEF\xBB\xBF# cameras for the lab\n\n   \t \n  # an indented comment\n"
      "  id = back ;;  name =  Back  Camera ;\tformats =  YUY2   640x480@30 ,RGB24 8x8@7.5 ; \r\n"
      "id=\xD0\xBA\xD0\xB0\xD0\xBC\xD1\x83_2.0;name=N;formats=MJPG 1280x720@29.97, I420 "
      "8192x8192@1000, YUY2 8x8@0.000001, YUY2 8x8@0001, YUY2 8x8@12.25;pattern=ball;powerline=60\n"
      "id=none;name=N;formats=YUY2 8x8@1;powerline=none\nid=off;name=N;formats=YUY2 8x8@1;"
      "powerline=off\nid=auto;name=N;formats=YUY2 8x8@1;powerline=auto\n");
  EXPECT_EQ(diagnostics, "");
  ASSERT_EQ(cameras.size(), 5u);
  EXPECT_EQ(cameras[0].displayName(), "virtual:back");
  EXPECT_EQ(cameras[0].name, "Back  Camera");
  EXPECT_EQ(cameras[0].pattern, "smpte");
  EXPECT_EQ(cameras[0].powerline, PowerLineSetting::Hz50);
  EXPECT_EQ(cameras[0].formats, (std::vector<CaptureFormat>{{Subtype::YUY2, 640, 480, {30, 1}},
                                                            {Subtype::RGB24, 8, 8, {15, 2}}}));
  EXPECT_EQ(cameras[1].id, "\xD0\xBA\xD0\xB0\xD0\xBC\xD1\x83_2.0");
  EXPECT_EQ(cameras[1].pattern, "ball");
  EXPECT_EQ(cameras[1].formats, (std::vector<CaptureFormat>{{Subtype::MJPG, 1280, 720, {2997, 100}},
                                                            {Subtype::I420, 8192, 8192, {1000, 1}},
                                                            {Subtype::YUY2, 8, 8, {1, 1000000}},
                                                            {Subtype::YUY2, 8, 8, {1, 1}},
                                                            {Subtype::YUY2, 8, 8, {49, 4}}}));
  const PowerLineSetting powerlines[] = {PowerLineSetting::Hz60, PowerLineSetting::None,
                                         PowerLineSetting::Off, PowerLineSetting::Auto};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(cameras[i + 1].powerline, powerlines[i]) << i;
}

TEST(VirtualCameraConfig, ReadsThePinsAndTheFaultsOfAFailingCamera) {
  const auto [cameras, diagnostics] = parse(
      "id=a;name=A;formats=YUY2 8x8@1;pins=capture, preview ,still;unplug=stream+2.5;"
      "stall=1.125+86400;end=0.5;busy=yes\nid=b;name=B;formats=YUY2 8x8@1;pins=preview\n");
  ASSERT_EQ(cameras.size(), 2u) << diagnostics;
  EXPECT_TRUE(cameras[0].previewPin && cameras[0].stillPin && cameras[1].previewPin);
  EXPECT_TRUE(!cameras[1].stillPin && !cameras[1].unplugAfterStream && !cameras[1].stallAt &&
              !cameras[1].endAfter && cameras[0].busy && !cameras[1].busy);
  EXPECT_EQ(std::tuple(*cameras[0].unplugAfterStream, *cameras[0].stallAt, cameras[0].stallFor,
                       *cameras[0].endAfter),
            std::tuple(2.5, 1.125, 86400.0, 0.5));
}

const std::string kFormatShape = " (expected FOURCC WxH@FPS)";

// The file's format is read by others as well: each fault has its own words.
TEST(VirtualCameraConfig, EachDamagedLineIsSkippedWithOneDiagnosticLine) {
  const std::string good = "id=a;name=A;formats=YUY2 8x8@1";
  const std::string keys =
      " (expected id, name, formats, pattern, powerline, pins, unplug, stall, end or busy)";
  const std::string fourcc = "; expected YUY2, RGB24, MJPG or I420)";
  std::vector<std::pair<std::string, std::string>> cases = {
      {good + ";ID=b", "unknown key \"ID\"" + keys},
      {"id=a;name=A;name=B;formats=YUY2 8x8@1", "duplicate key \"name\""},
      {"id=good1;name=A;formats=YUY2 8x8@1", "duplicate id \"good1\" (already on line 1)"},
      {good + "; pattern", "field \"pattern\" has no '=' (expected key=value)"},
      {good + ";=ball", "field \"=ball\" has no key (expected key=value)"},
      {"name=A;formats=YUY2 8x8@1", "missing required key \"id\""},
      {"id=a;formats=YUY2 8x8@1", "missing required key \"name\""},
      {"id=a;name=A;pattern=ball", "missing required key \"formats\""},
      {"id=" + std::string(252, 'a') + ";name=A;formats=YUY2 8x8@1",
       "id too long (at most 251 UTF-16 code units)"},
      {"id=a;name=;formats=YUY2 8x8@1", "empty name"},
      {"id=a;name=\xC3(;formats=YUY2 8x8@1", "name is not valid UTF-8"},
      {good + ";pattern=", "empty pattern"},
      {good + ";pattern=plaid",
       "unknown pattern \"plaid\" (" + std::string(platform().patternSource()) + " offers "},
      {good + ";powerline=Auto", "bad powerline \"Auto\" (expected none, off, 50, 60 or auto)"},
      {good + ";pins=,still", "bad pins \",still\" (expected capture, preview or still, "},
      {good + ";unplug=open+1", "bad unplug \"open+1\" (expected stream+SECONDS)"},
      {good + ";stall=1+86401", "bad stall \"1+86401\" (expected AT+SECONDS)"},
      {good + ";end=-1", "bad end \"-1\" (expected SECONDS)"},
      {good + ";busy=1", "bad busy \"1\" (expected yes or no)"},
      {good + ", yuy2 8x8@30", "bad format \"yuy2 8x8@30\" (unknown FOURCC \"yuy2\"" + fourcc},
      {good + ", NV12 8x8@30", "bad format \"NV12 8x8@30\" (unknown FOURCC \"NV12\"" + fourcc}};
  for (std::string id : {"", "a b", "a:b", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "a\xFF"}) {
    cases.emplace_back("id=" + id + ";name=A;formats=YUY2 8x8@1",
                       "bad id \"" + id + "\" (letters, digits, '.', '_' and '-' only, not empty)");
  }
  const std::pair<std::string, std::vector<std::string>> formats[] = {
      {kFormatShape,
       {"YUY2", "YUY2 640x@30", "YUY2 640x480", "640x480@30", "YUY2 640 x 480@30",
        "YUY2 -640x480@30", "YUY2 640x480@30fps", "YUY2 640x480@.5", "YUY2 640x480@5.", ""}},
      {" (width and height must be from 1 to 8192)",
       {"YUY2 640x0@30", "YUY2 8193x480@30", "YUY2 640x99999999999999999999@30"}},
      {" (frame rate must be above 0 and at most 1000, with at most 6 decimals)",
       {"YUY2 640x480@0", "YUY2 640x480@1000.5", "YUY2 640x480@1.0000001"}}};
  for (const auto& [why, texts] : formats) {
    for (const std::string& text : texts)
      cases.emplace_back(good + ", " + text, "bad format \"" + text + "\"" + why);
  }
  for (const auto& [line, message] : cases) {
    SCOPED_TRACE(line);
    const auto [cameras, diagnostics] = parse("id=good1;name=G;formats=YUY2 8x8@1\n" + line +
                                              "\nid=good2;name=G;formats=YUY2 8x8@1\n");
    EXPECT_EQ(diagnostics.rfind("cameras.conf:2: " + message, 0), 0u) << diagnostics;
    EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1) << diagnostics;
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].id + cameras[1].id, "good1good2");
  }
}

#ifndef _WIN32  // the Windows build's file is read by its engine, tested there
TEST(VirtualCameraConfig, LoadsTheFileTheVariableNames) {
  testing::VirtualCameraEnv env(
      "id=one;name=One;formats=YUY2 8x8@1\nid=two;name=Two;formats=YUY2 8x@1\n");
  std::ostringstream diagnostics;
  const auto cameras = loadVirtualCameras(diagnostics);
  ASSERT_EQ(cameras.size(), 1u);
  EXPECT_EQ(diagnostics.str(),
            env.path().string() + ":2: bad format \"YUY2 8x@1\"" + kFormatShape + "\n");
  // No file named is no camera and no complaint; a file that cannot be read says so on one line.
  for (const std::string path : {"", "/nonexistent.conf", "/tmp"}) {
    ::setenv(kVirtualCamerasEnv, path.c_str(), 1);  // the environment puts the variable back
    diagnostics.str("");
    EXPECT_TRUE(loadVirtualCameras(diagnostics).empty());
    const std::string text = diagnostics.str();
    EXPECT_EQ(text.rfind(path + ": cannot read the virtual camera list (", 0),
              path.empty() ? std::string::npos : 0u)
        << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), !path.empty());
  }
}

#endif

}  // namespace
}  // namespace kovracam
