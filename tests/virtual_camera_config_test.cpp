#include "capture/virtual/virtual_camera_config.h"

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "tests/virtual_camera_env.h"

namespace kovracam {
namespace {

// The cameras of `text` and the diagnostics it gave.
std::pair<std::vector<VirtualCamera>, std::string> parse(const std::string& text) {
  std::istringstream in(text);
  std::ostringstream diagnostics;
  auto cameras = parseVirtualCameras(in, "cameras.conf", diagnostics);
  return {cameras, diagnostics.str()};
}

// The one camera of a line that must be good.
VirtualCamera parseOne(const std::string& line) {
  const auto [cameras, diagnostics] = parse(line);
  EXPECT_EQ(diagnostics, "") << line;
  return cameras.size() == 1 ? cameras[0] : VirtualCamera{};
}

TEST(VirtualCameraConfig, ReadsEveryKeyAndDefaultsTheOptionalOnes) {
  const VirtualCamera c = parseOne(
      "id=front; name=Front Camera; formats=YUY2 640x480@30, RGB24 320x240@7.5, MJPG "
      "1280x720@29.97, I420 8192x8192@1000; pattern=ball; powerline=60\n");
  EXPECT_EQ(c.displayName(), "virtual:front");
  EXPECT_EQ(c.name, "Front Camera");
  EXPECT_EQ(c.pattern, "ball");
  EXPECT_EQ(c.powerline, PowerLineSetting::Hz60);
  EXPECT_EQ(c.formats, (std::vector<CaptureFormat>{{Subtype::YUY2, 640, 480, {30, 1}},
                                                   {Subtype::RGB24, 320, 240, {15, 2}},
                                                   {Subtype::MJPG, 1280, 720, {2997, 100}},
                                                   {Subtype::I420, 8192, 8192, {1000, 1}}}));
  const VirtualCamera plain = parseOne("id=a;name=A;formats=YUY2 320x240@15");
  EXPECT_EQ(plain.pattern, "smpte");
  EXPECT_EQ(plain.powerline, PowerLineSetting::Hz50);

  const char* names[] = {"none", "off", "50", "60", "auto"};
  const PowerLineSetting settings[] = {PowerLineSetting::None, PowerLineSetting::Off,
                                       PowerLineSetting::Hz50, PowerLineSetting::Hz60,
                                       PowerLineSetting::Auto};
  for (std::size_t i = 0; i < std::size(names); ++i) {
    EXPECT_EQ(
        parseOne(std::string("id=a;name=A;formats=YUY2 8x8@1;powerline=") + names[i]).powerline,
        settings[i]);
  }
}

TEST(VirtualCameraConfig, StoresDecimalRatesAsExactFractions) {
  const VirtualCamera c = parseOne(
      "id=a;name=A;formats=YUY2 8x8@0001, YUY2 8x8@30.0, YUY2 8x8@0.5, YUY2 8x8@59.94, "
      "YUY2 8x8@0.000001, YUY2 8x8@12.25");
  std::vector<FrameRate> rates;
  for (const CaptureFormat& format : c.formats) rates.push_back(format.fps);
  EXPECT_EQ(rates,
            (std::vector<FrameRate>{{1, 1}, {30, 1}, {1, 2}, {2997, 50}, {1, 1000000}, {49, 4}}));
}

TEST(VirtualCameraConfig, IgnoresAByteOrderMarkSpacesEmptyFieldsCommentsAndBlankLines) {
  const auto [cameras, diagnostics] = parse(
      "\xEF\xBB\xBF# cameras for the lab\n"
      "\n"
      "   \t \n"
      "  # an indented comment\n"
      "  id = back ;;  name =  Back  Camera ;\tformats =  YUY2   640x480@30 ,RGB24 8x8@5 ; \r\n"
      "id=x;name=X;formats=YUY2 8x8@1;\n");
  EXPECT_EQ(diagnostics, "");
  ASSERT_EQ(cameras.size(), 2u);
  EXPECT_EQ(cameras[0].id, "back");
  EXPECT_EQ(cameras[0].name, "Back  Camera");
  EXPECT_EQ(cameras[0].formats.at(1), (CaptureFormat{Subtype::RGB24, 8, 8, {5, 1}}));
  EXPECT_EQ(cameras[1].id, "x");
}

TEST(VirtualCameraConfig, AcceptsLettersOfAnyScriptInIds) {
  // Cyrillic, Latin with a diaeresis, Devanagari with its vowel marks.
  const char* ids[] = {"\xD0\xBA\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x80\xD0\xB0", "\u00DCber-Cam_2.0",
                       "\xE0\xA4\xB9\xE0\xA4\xBF\xE0\xA4\xA8\xE0\xA5\x8D"};
  for (const char* id : ids) {
    EXPECT_EQ(parseOne(std::string("id=") + id + ";name=N;formats=YUY2 8x8@1").displayName(),
              std::string("virtual:") + id);
  }
}

TEST(VirtualCameraConfig, RejectsPatternsVideotestsrcDoesNotHave) {
  GstElementFactory* factory = gst_element_factory_find("videotestsrc");
  if (factory == nullptr) GTEST_SKIP() << "videotestsrc is not installed";
  gst_object_unref(factory);
  const auto [cameras, diagnostics] = parse("id=a;name=A;formats=YUY2 8x8@1;pattern=zebra\n");
  EXPECT_TRUE(cameras.empty());
  EXPECT_EQ(diagnostics.rfind("cameras.conf:1: unknown pattern \"zebra\" (videotestsrc offers ", 0),
            0u)
      << diagnostics;
  EXPECT_NE(diagnostics.find("ball"), std::string::npos);
  EXPECT_EQ(std::count(diagnostics.begin(), diagnostics.end(), '\n'), 1);
}

const std::string kFormatShape = " (expected FOURCC WxH@FPS)";

TEST(VirtualCameraConfig, EachDamagedLineIsSkippedWithOneDiagnosticLine) {
  const std::string good = "id=a;name=A;formats=YUY2 8x8@1";
  const std::string keys = " (expected id, name, formats, pattern or powerline)";
  const std::string fourcc = "; expected YUY2, RGB24, MJPG or I420)";
  std::vector<std::pair<std::string, std::string>> cases = {
      {good + ";colour=red", "unknown key \"colour\"" + keys},
      {good + ";ID=b", "unknown key \"ID\"" + keys},
      {"id=a;name=A;name=B;formats=YUY2 8x8@1", "duplicate key \"name\""},
      {good + "; pattern", "field \"pattern\" has no '=' (expected key=value)"},
      {good + ";=ball", "field \"=ball\" has no key (expected key=value)"},
      {"name=A;formats=YUY2 8x8@1", "missing required key \"id\""},
      {"id=a;formats=YUY2 8x8@1", "missing required key \"name\""},
      {"id=a;name=A;pattern=ball", "missing required key \"formats\""},
      {";;", "missing required key \"id\""},
      {"id=" + std::string(252, 'a') + ";name=A;formats=YUY2 8x8@1",
       "id too long (at most 251 UTF-16 code units)"},
      {"id=a;name=;formats=YUY2 8x8@1", "empty name"},
      {"id=a;name=\xC3(;formats=YUY2 8x8@1", "name is not valid UTF-8"},
      {good + ";pattern=", "empty pattern"},
      {good + ";powerline=Auto", "bad powerline \"Auto\" (expected none, off, 50, 60 or auto)"},
      {good + ", yuy2 640x480@30",
       "bad format \"yuy2 640x480@30\" (unknown FOURCC \"yuy2\"" + fourcc},
      {good + ", NV12 640x480@30",
       "bad format \"NV12 640x480@30\" (unknown FOURCC \"NV12\"" + fourcc}};
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
    for (const std::string& text : texts) {
      cases.emplace_back(good + ", " + text, "bad format \"" + text + "\"" + why);
    }
  }
  for (const auto& [line, message] : cases) {
    SCOPED_TRACE(line);
    const auto [cameras, diagnostics] = parse("id=good1;name=G;formats=YUY2 8x8@1\n" + line +
                                              "\nid=good2;name=G;formats=YUY2 8x8@1\n");
    EXPECT_EQ(diagnostics, "cameras.conf:2: " + message + "\n");
    ASSERT_EQ(cameras.size(), 2u);
    EXPECT_EQ(cameras[0].id, "good1");
    EXPECT_EQ(cameras[1].id, "good2");
  }
}

TEST(VirtualCameraConfig, AnIdIsTakenOnlyByAGoodLineAndCaseMatters) {
  const auto [cameras, diagnostics] = parse(
      "id=cam;name=Broken;formats=YUY2 8x@1\n"
      "id=cam;name=First;formats=YUY2 8x8@1\n"
      "# a comment still counts as a line\n"
      "id=cam;name=Second;formats=RGB24 8x8@1\n"
      "id=Cam;name=Third;formats=RGB24 8x8@1\n");
  EXPECT_EQ(diagnostics, "cameras.conf:1: bad format \"YUY2 8x@1\"" + kFormatShape +
                             "\ncameras.conf:4: duplicate id \"cam\" (already on line 2)\n");
  ASSERT_EQ(cameras.size(), 2u);
  EXPECT_EQ(cameras[0].name, "First");
  EXPECT_EQ(cameras[1].name, "Third");
}

TEST(VirtualCameraConfig, LoadsTheFileTheVariableNames) {
  testing::VirtualCameraEnv env(
      "id=one;name=One;formats=YUY2 8x8@1\nid=two;name=Two;formats=YUY2 8x@1\n");
  std::ostringstream diagnostics;
  const auto cameras = loadVirtualCameras(diagnostics);
  ASSERT_EQ(cameras.size(), 1u);
  EXPECT_EQ(cameras[0].id, "one");
  EXPECT_EQ(diagnostics.str(),
            env.path().string() + ":2: bad format \"YUY2 8x@1\"" + kFormatShape + "\n");

  diagnostics.str("");
  ::setenv(kVirtualCamerasEnv, "", 1);  // the environment puts the variable back afterwards
  EXPECT_TRUE(loadVirtualCameras(diagnostics).empty());
  ::unsetenv(kVirtualCamerasEnv);
  EXPECT_TRUE(loadVirtualCameras(diagnostics).empty());
  EXPECT_EQ(diagnostics.str(), "");

  const std::string folder = env.path().parent_path().string();
  for (const std::string& path : {env.path().string() + ".missing", folder}) {
    ::setenv(kVirtualCamerasEnv, path.c_str(), 1);
    diagnostics.str("");
    EXPECT_TRUE(loadVirtualCameras(diagnostics).empty());
    const std::string text = diagnostics.str();
    EXPECT_EQ(text.rfind(path + ": cannot read the virtual camera list (", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
}

}  // namespace
}  // namespace kovracam
