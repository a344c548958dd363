#include "capture/virtual_camera_config.h"

#include <gst/gst.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace kovracam {
namespace {

struct Parsed {
  std::vector<VirtualCamera> cameras;
  std::string diagnostics;
};

Parsed parse(const std::string& text) {
  std::istringstream in(text);
  std::ostringstream diagnostics;
  Parsed result;
  result.cameras = parseVirtualCameras(in, "cameras.conf", diagnostics);
  result.diagnostics = diagnostics.str();
  return result;
}

TEST(VirtualCameraConfig, ReadsEveryKey) {
  const Parsed p = parse(
      "id=front; name=Front Camera; formats=YUY2 640x480@30, RGB24 320x240@7.5, MJPG "
      "1280x720@29.97, I420 8192x8192@1000; pattern=ball; powerline=60\n");
  EXPECT_EQ(p.diagnostics, "");
  ASSERT_EQ(p.cameras.size(), 1u);
  const VirtualCamera& c = p.cameras[0];
  EXPECT_EQ(c.id, "front");
  EXPECT_EQ(c.displayName(), "virtual:front");
  EXPECT_EQ(c.name, "Front Camera");
  EXPECT_EQ(c.pattern, "ball");
  EXPECT_EQ(c.powerline, PowerLineSetting::Hz60);
  const std::vector<CaptureFormat> expected = {
      {Subtype::YUY2, 640, 480, {30, 1}},
      {Subtype::RGB24, 320, 240, {15, 2}},
      {Subtype::MJPG, 1280, 720, {2997, 100}},
      {Subtype::I420, 8192, 8192, {1000, 1}},
  };
  EXPECT_EQ(c.formats, expected);
}

TEST(VirtualCameraConfig, OptionalKeysHaveDefaults) {
  const Parsed p = parse("id=a;name=A;formats=YUY2 320x240@15");
  ASSERT_EQ(p.cameras.size(), 1u);
  EXPECT_EQ(p.cameras[0].pattern, "smpte");
  EXPECT_EQ(p.cameras[0].powerline, PowerLineSetting::Hz50);
}

TEST(VirtualCameraConfig, ReadsEveryPowerLineSetting) {
  const std::pair<const char*, PowerLineSetting> cases[] = {{"none", PowerLineSetting::None},
                                                            {"off", PowerLineSetting::Off},
                                                            {"50", PowerLineSetting::Hz50},
                                                            {"60", PowerLineSetting::Hz60},
                                                            {"auto", PowerLineSetting::Auto}};
  for (const auto& [text, setting] : cases) {
    const Parsed p = parse(std::string("id=a;name=A;formats=YUY2 8x8@1;powerline=") + text);
    ASSERT_EQ(p.cameras.size(), 1u) << text << ": " << p.diagnostics;
    EXPECT_EQ(p.cameras[0].powerline, setting) << text;
  }
}

TEST(VirtualCameraConfig, StoresDecimalRatesAsExactFractions) {
  const std::pair<const char*, FrameRate> cases[] = {
      {"7.5", {15, 2}},    {"29.97", {2997, 100}},     {"30.0", {30, 1}},
      {"0.5", {1, 2}},     {"0001", {1, 1}},           {"59.94", {2997, 50}},
      {"1000", {1000, 1}}, {"0.000001", {1, 1000000}}, {"12.25", {49, 4}},
  };
  for (const auto& [text, rate] : cases) {
    const Parsed p = parse(std::string("id=a;name=A;formats=YUY2 8x8@") + text);
    ASSERT_EQ(p.cameras.size(), 1u) << text << ": " << p.diagnostics;
    EXPECT_EQ(p.cameras[0].formats.at(0).fps, rate) << text;
  }
}

TEST(VirtualCameraConfig, IgnoresSpacesEmptyFieldsCommentsAndBlankLines) {
  const Parsed p = parse(
      "# cameras for the lab\n"
      "\n"
      "   \t \n"
      "  # an indented comment\n"
      "  id = back ;;  name =  Back  Camera ;\tformats =  YUY2   640x480@30 ,RGB24 8x8@5 ; \r\n"
      "id=x;name=X;formats=YUY2 8x8@1;\n");
  EXPECT_EQ(p.diagnostics, "");
  ASSERT_EQ(p.cameras.size(), 2u);
  EXPECT_EQ(p.cameras[0].id, "back");
  EXPECT_EQ(p.cameras[0].name, "Back  Camera");
  ASSERT_EQ(p.cameras[0].formats.size(), 2u);
  EXPECT_EQ(p.cameras[0].formats[1], (CaptureFormat{Subtype::RGB24, 8, 8, {5, 1}}));
  EXPECT_EQ(p.cameras[1].id, "x");
}

TEST(VirtualCameraConfig, AcceptsLettersOfAnyScriptInIds) {
  const char* ids[] = {
      "\xD0\xBA\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x80\xD0\xB0",  // Cyrillic
      "\xE3\x82\xAB\xE3\x83\xA1\xE3\x83\xA9",              // Katakana
      "\xC3\x9C"
      "ber-Cam_2.0",                                       // Latin with a diaeresis
      "\xE0\xA4\xB9\xE0\xA4\xBF\xE0\xA4\xA8\xE0\xA5\x8D",  // Devanagari with its vowel marks
      "\xCE\xB1\xCE\xB2\xCE\xB3",                          // Greek
  };
  for (const char* id : ids) {
    const Parsed p = parse(std::string("id=") + id + ";name=N;formats=YUY2 8x8@1");
    ASSERT_EQ(p.cameras.size(), 1u) << id << ": " << p.diagnostics;
    EXPECT_EQ(p.cameras[0].displayName(), std::string("virtual:") + id);
  }
}

TEST(VirtualCameraConfig, AcceptsEveryVideotestsrcPattern) {
  GstElement* src = gst_element_factory_make("videotestsrc", nullptr);
  if (src == nullptr) GTEST_SKIP() << "videotestsrc is not installed";
  GParamSpec* patternProperty = g_object_class_find_property(G_OBJECT_GET_CLASS(src), "pattern");
  ASSERT_NE(patternProperty, nullptr);
  const GEnumClass* values = G_PARAM_SPEC_ENUM(patternProperty)->enum_class;
  ASSERT_GT(values->n_values, 0u);
  for (guint i = 0; i < values->n_values; ++i) {
    const std::string nick = values->values[i].value_nick;
    const Parsed p = parse("id=a;name=A;formats=YUY2 8x8@1;pattern=" + nick);
    ASSERT_EQ(p.cameras.size(), 1u) << nick << ": " << p.diagnostics;
    EXPECT_EQ(p.cameras[0].pattern, nick);
  }
  gst_object_unref(src);
}

// Each damaged line is skipped with exactly one diagnostics line; its good neighbours stay.
void expectRejected(const std::string& line, const std::string& message) {
  const Parsed p = parse("id=good1;name=G;formats=YUY2 8x8@1\n" + line +
                         "\nid=good2;name=G;formats=YUY2 8x8@1\n");
  EXPECT_EQ(p.diagnostics, "cameras.conf:2: " + message + "\n") << line;
  ASSERT_EQ(p.cameras.size(), 2u) << line;
  EXPECT_EQ(p.cameras[0].id, "good1");
  EXPECT_EQ(p.cameras[1].id, "good2");
}

const std::string kFormatShape = " (expected FOURCC WxH@FPS)";
const std::string kSizeRange = " (width and height must be from 1 to 8192)";
const std::string kRateRange =
    " (frame rate must be above 0 and at most 1000, with at most 6 decimals)";

TEST(VirtualCameraConfig, RejectsBadFormats) {
  const std::pair<const char*, std::string> cases[] = {
      {"YUY2 640x@30", kFormatShape},
      {"YUY2 640x480", kFormatShape},
      {"YUY2", kFormatShape},
      {"640x480@30", kFormatShape},
      {"YUY2 640*480@30", kFormatShape},
      {"YUY2 -640x480@30", kFormatShape},
      {"YUY2 640x480@-30", kFormatShape},
      {"YUY2 640x480@30fps", kFormatShape},
      {"YUY2 640x480@.5", kFormatShape},
      {"YUY2 640x480@5.", kFormatShape},
      {"YUY2 640 x 480@30", kFormatShape},
      {"", kFormatShape},
      {"yuy2 640x480@30", " (unknown FOURCC \"yuy2\"; expected YUY2, RGB24, MJPG or I420)"},
      {"NV12 640x480@30", " (unknown FOURCC \"NV12\"; expected YUY2, RGB24, MJPG or I420)"},
      {"YUY2 0x480@30", kSizeRange},
      {"YUY2 640x0@30", kSizeRange},
      {"YUY2 8193x480@30", kSizeRange},
      {"YUY2 640x99999999999999999999@30", kSizeRange},
      {"YUY2 640x480@0", kRateRange},
      {"YUY2 640x480@0.0", kRateRange},
      {"YUY2 640x480@1000.5", kRateRange},
      {"YUY2 640x480@5000", kRateRange},
      {"YUY2 640x480@1.0000001", kRateRange},
  };
  for (const auto& [format, why] : cases) {
    expectRejected(std::string("id=a;name=A;formats=YUY2 8x8@1, ") + format,
                   "bad format \"" + std::string(format) + "\"" + why);
  }
}

TEST(VirtualCameraConfig, RejectsBadFieldsAndKeys) {
  expectRejected("id=a;name=A;formats=YUY2 8x8@1;colour=red",
                 "unknown key \"colour\" (expected id, name, formats, pattern or powerline)");
  expectRejected("id=a;name=A;formats=YUY2 8x8@1;ID=b",
                 "unknown key \"ID\" (expected id, name, formats, pattern or powerline)");
  expectRejected("id=a;name=A;name=B;formats=YUY2 8x8@1", "duplicate key \"name\"");
  expectRejected("id=a; name=A ;formats=YUY2 8x8@1; pattern",
                 "field \"pattern\" has no '=' (expected key=value)");
  expectRejected("id=a;name=A;formats=YUY2 8x8@1;=ball",
                 "field \"=ball\" has no key (expected key=value)");
  expectRejected("just some words", "field \"just some words\" has no '=' (expected key=value)");
}

TEST(VirtualCameraConfig, RejectsMissingRequiredKeys) {
  expectRejected("name=A;formats=YUY2 8x8@1", "missing required key \"id\"");
  expectRejected("id=a;formats=YUY2 8x8@1", "missing required key \"name\"");
  expectRejected("id=a;name=A;pattern=ball", "missing required key \"formats\"");
  expectRejected(";;", "missing required key \"id\"");
}

TEST(VirtualCameraConfig, RejectsBadValues) {
  const std::string idRule = " (letters, digits, '.', '_' and '-' only, not empty)";
  expectRejected("id=;name=A;formats=YUY2 8x8@1", "bad id \"\"" + idRule);
  expectRejected("id=a b;name=A;formats=YUY2 8x8@1", "bad id \"a b\"" + idRule);
  expectRejected("id=a/b;name=A;formats=YUY2 8x8@1", "bad id \"a/b\"" + idRule);
  expectRejected("id=a:b;name=A;formats=YUY2 8x8@1", "bad id \"a:b\"" + idRule);
  expectRejected("id=\xE2\x82\xAC;name=A;formats=YUY2 8x8@1", "bad id \"\xE2\x82\xAC\"" + idRule);
  expectRejected("id=\xF0\x9F\x98\x80;name=A;formats=YUY2 8x8@1",
                 "bad id \"\xF0\x9F\x98\x80\"" + idRule);
  expectRejected("id=a\xFF;name=A;formats=YUY2 8x8@1", "bad id \"a\xFF\"" + idRule);
  expectRejected("id=" + std::string(252, 'a') + ";name=A;formats=YUY2 8x8@1",
                 "id too long (at most 251 UTF-16 code units)");
  expectRejected("id=a;name=;formats=YUY2 8x8@1", "empty name");
  expectRejected("id=a;name=\xC3(;formats=YUY2 8x8@1", "name is not valid UTF-8");
  expectRejected("id=a;name=A;formats=YUY2 8x8@1;pattern=", "empty pattern");
  expectRejected("id=a;name=A;formats=YUY2 8x8@1;powerline=55",
                 "bad powerline \"55\" (expected none, off, 50, 60 or auto)");
  expectRejected("id=a;name=A;formats=YUY2 8x8@1;powerline=Auto",
                 "bad powerline \"Auto\" (expected none, off, 50, 60 or auto)");
}

TEST(VirtualCameraConfig, RejectsPatternsVideotestsrcDoesNotHave) {
  GstElementFactory* factory = gst_element_factory_find("videotestsrc");
  if (factory == nullptr) GTEST_SKIP() << "videotestsrc is not installed";
  gst_object_unref(factory);
  const Parsed p = parse("id=a;name=A;formats=YUY2 8x8@1;pattern=zebra\n");
  EXPECT_TRUE(p.cameras.empty());
  EXPECT_EQ(
      p.diagnostics.rfind("cameras.conf:1: unknown pattern \"zebra\" (videotestsrc offers ", 0), 0u)
      << p.diagnostics;
  EXPECT_NE(p.diagnostics.find("ball"), std::string::npos);
  EXPECT_EQ(std::count(p.diagnostics.begin(), p.diagnostics.end(), '\n'), 1);
}

TEST(VirtualCameraConfig, RejectsAnIdAlreadyTaken) {
  const Parsed p = parse(
      "id=cam;name=First;formats=YUY2 8x8@1\n"
      "# a comment still counts as a line\n"
      "id=cam;name=Second;formats=RGB24 8x8@1\n"
      "id=Cam;name=Third;formats=RGB24 8x8@1\n");
  EXPECT_EQ(p.diagnostics, "cameras.conf:3: duplicate id \"cam\" (already on line 1)\n");
  ASSERT_EQ(p.cameras.size(), 2u);
  EXPECT_EQ(p.cameras[0].name, "First");
  EXPECT_EQ(p.cameras[1].name, "Third");
}

TEST(VirtualCameraConfig, AnIdOfARejectedLineIsStillFree) {
  const Parsed p = parse(
      "id=cam;name=Broken;formats=YUY2 8x@1\n"
      "id=cam;name=Fixed;formats=YUY2 8x8@1\n");
  EXPECT_EQ(p.diagnostics, "cameras.conf:1: bad format \"YUY2 8x@1\"" + kFormatShape + "\n");
  ASSERT_EQ(p.cameras.size(), 1u);
  EXPECT_EQ(p.cameras[0].name, "Fixed");
}

TEST(VirtualCameraConfig, SkipsAByteOrderMarkAtTheStart) {
  const Parsed p = parse("\xEF\xBB\xBFid=a;name=A;formats=YUY2 8x8@1\n");
  EXPECT_EQ(p.diagnostics, "");
  ASSERT_EQ(p.cameras.size(), 1u);
  EXPECT_EQ(p.cameras[0].id, "a");
}

// Sets KOVRACAM_VIRTUAL_CAMERAS for one test and puts the old value back.
class VirtualCameraFile : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv(kVirtualCamerasEnv)) saved_ = old;
    dir_ = std::filesystem::temp_directory_path() /
           ("kovracam-vcam-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override {
    if (saved_) {
      ::setenv(kVirtualCamerasEnv, saved_->c_str(), 1);
    } else {
      ::unsetenv(kVirtualCamerasEnv);
    }
    std::filesystem::remove_all(dir_);
  }

  std::optional<std::string> saved_;
  std::filesystem::path dir_;
};

TEST_F(VirtualCameraFile, LoadsTheFileTheVariableNames) {
  const auto path = dir_ / "cameras.conf";
  std::ofstream(path) << "id=one;name=One;formats=YUY2 8x8@1\nid=two;name=Two;formats=YUY2 8x@1\n";
  ::setenv(kVirtualCamerasEnv, path.c_str(), 1);
  std::ostringstream diagnostics;
  const auto cameras = loadVirtualCameras(diagnostics);
  ASSERT_EQ(cameras.size(), 1u);
  EXPECT_EQ(cameras[0].id, "one");
  EXPECT_EQ(diagnostics.str(),
            path.string() + ":2: bad format \"YUY2 8x@1\"" + kFormatShape + "\n");
}

TEST_F(VirtualCameraFile, UnsetOrEmptyVariableMeansNoCameras) {
  std::ostringstream diagnostics;
  ::unsetenv(kVirtualCamerasEnv);
  EXPECT_TRUE(loadVirtualCameras(diagnostics).empty());
  ::setenv(kVirtualCamerasEnv, "", 1);
  EXPECT_TRUE(loadVirtualCameras(diagnostics).empty());
  EXPECT_EQ(diagnostics.str(), "");
}

TEST_F(VirtualCameraFile, AnUnreadableFileGivesOneLine) {
  for (const auto& path : {dir_ / "missing.conf", dir_}) {
    ::setenv(kVirtualCamerasEnv, path.c_str(), 1);
    std::ostringstream diagnostics;
    EXPECT_TRUE(loadVirtualCameras(diagnostics).empty());
    const std::string text = diagnostics.str();
    EXPECT_EQ(text.rfind(path.string() + ": cannot read the virtual camera list (", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
  }
}

}  // namespace
}  // namespace kovracam
