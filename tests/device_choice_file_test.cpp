#include "view/device_choice_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "lang/utf16.h"

namespace kovracam {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class DeviceChoiceFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("kovracam-choice-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }

  fs::path file() const { return dir_ / kDeviceChoiceFileName; }
  Bytes contents() const {
    std::ifstream in(file(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  void store(const Bytes& bytes) const {
    std::ofstream(file(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
  }

  fs::path dir_;
};

// Count then UTF-16LE units, as the file lays them out.
Bytes layout(std::uint32_t count, const std::u16string& units) {
  Bytes bytes = {std::uint8_t(count), std::uint8_t(count >> 8), std::uint8_t(count >> 16),
                 std::uint8_t(count >> 24)};
  for (char16_t u : units) {
    bytes.push_back(u & 0xFF);
    bytes.push_back(u >> 8);
  }
  return bytes;
}

TEST_F(DeviceChoiceFile, WritesCountAndUtf16LittleEndian) {
  ASSERT_TRUE(writeDeviceChoice(dir_, "abc"));
  EXPECT_EQ(contents(), (Bytes{0x03, 0x00, 0x00, 0x00, 0x61, 0x00, 0x62, 0x00, 0x63, 0x00}));
  EXPECT_EQ(readDeviceChoice(dir_), "abc");
  EXPECT_EQ(entries(), 1u) << "no temporary file may stay behind";
}

TEST_F(DeviceChoiceFile, ALongestNameRoundTrips) {
  std::string name;
  for (std::size_t i = 0; i < kDeviceFieldUnits; ++i) name += static_cast<char>('a' + i % 26);
  ASSERT_TRUE(writeDeviceChoice(dir_, name));
  EXPECT_EQ(contents().size(), 4 + 2 * kDeviceFieldUnits);
  EXPECT_EQ(readDeviceChoice(dir_), name);
}

TEST_F(DeviceChoiceFile, ALongerNameIsCutToTheField) {
  std::string name;
  for (int i = 0; i < 300; ++i) name += static_cast<char>('A' + i % 26);
  ASSERT_TRUE(writeDeviceChoice(dir_, name));
  EXPECT_EQ(contents().size(), 4 + 2 * kDeviceFieldUnits);
  EXPECT_EQ(readDeviceChoice(dir_), name.substr(0, kDeviceFieldUnits));
}

TEST_F(DeviceChoiceFile, ACutNeverSplitsASurrogatePair) {
  // 258 units of ASCII, then a character that needs two: it does not fit whole.
  const std::string name = std::string(258, 'x') + "\xF0\x9F\x98\x80";
  ASSERT_TRUE(writeDeviceChoice(dir_, name));
  EXPECT_EQ(contents().size(), 4 + 2 * 258u);
  EXPECT_EQ(readDeviceChoice(dir_), std::string(258, 'x'));
}

TEST_F(DeviceChoiceFile, NonAsciiNamesRoundTrip) {
  const std::string name =
      "virtual:\xD0\xBA\xD0\xB0\xD0\xBC\xD0\xB5\xD1\x80\xD0\xB0-\xF0\x9F\x8E\xA5";
  ASSERT_TRUE(writeDeviceChoice(dir_, name));
  const auto units = utf8ToUtf16(name);
  ASSERT_TRUE(units.has_value());
  EXPECT_EQ(contents(), layout(static_cast<std::uint32_t>(units->size()), *units));
  EXPECT_EQ(readDeviceChoice(dir_), name);
}

TEST_F(DeviceChoiceFile, ReplacesAnOlderChoice) {
  ASSERT_TRUE(writeDeviceChoice(dir_, "a much longer first name"));
  ASSERT_TRUE(writeDeviceChoice(dir_, "b"));
  EXPECT_EQ(contents(), layout(1, u"b"));
  EXPECT_EQ(entries(), 1u);
}

TEST_F(DeviceChoiceFile, TheNameEndsAtTheFirstZeroUnit) {
  store(layout(5, std::u16string(u"ab\0cd", 5)));
  EXPECT_EQ(readDeviceChoice(dir_), "ab");
  store(layout(0, u""));
  EXPECT_EQ(readDeviceChoice(dir_), "");
  Bytes trailing = layout(2, u"ok");
  trailing.insert(trailing.end(), {'t', 'a', 'i', 'l'});
  store(trailing);
  EXPECT_EQ(readDeviceChoice(dir_), "ok");
}

TEST_F(DeviceChoiceFile, DamagedFilesCountAsMissing) {
  EXPECT_FALSE(readDeviceChoice(dir_).has_value()) << "missing";
  const Bytes cases[] = {
      {},                                      // empty
      {0x03, 0x00, 0x00},                      // shorter than the count
      layout(3, u"ab"),                        // count larger than the file holds
      layout(4, u"abc"),                       // count larger than the file holds
      layout(260, std::u16string(260, u'x')),  // count above the field
      layout(0xFFFFFFFFu, u"abc"),
      layout(2, u"a\xD800"),  // unpaired high surrogate
      layout(1, u"\xDC00"),   // unpaired low surrogate
  };
  for (const Bytes& bytes : cases) {
    store(bytes);
    EXPECT_FALSE(readDeviceChoice(dir_).has_value()) << ::testing::PrintToString(bytes);
  }
}

TEST_F(DeviceChoiceFile, AFileThatCannotBeReadCountsAsMissing) {
  // A directory opens but fails every read, even for root.
  fs::create_directory(file());
  EXPECT_FALSE(readDeviceChoice(dir_).has_value());
}

TEST_F(DeviceChoiceFile, AFailedWriteLeavesTheOldFile) {
  ASSERT_TRUE(writeDeviceChoice(dir_, "old"));
  const Bytes before = contents();
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  if (::access(dir_.c_str(), W_OK) == 0) {
    GTEST_SKIP() << "this user may write to a read-only directory (root)";
  }
  EXPECT_FALSE(writeDeviceChoice(dir_, "new"));
  EXPECT_EQ(contents(), before);
  EXPECT_EQ(entries(), 1u);
}

TEST_F(DeviceChoiceFile, AFailedRenameRemovesTheTemporary) {
  // A directory in the file's place cannot be renamed over, whoever we are.
  fs::create_directory(file());
  std::ofstream(file() / "keep") << "x";
  EXPECT_FALSE(writeDeviceChoice(dir_, "new"));
  EXPECT_TRUE(fs::is_directory(file()));
  EXPECT_EQ(entries(), 1u) << "the temporary must be gone";
}

TEST_F(DeviceChoiceFile, NoDirectoryNoFile) {
  EXPECT_FALSE(writeDeviceChoice((dir_ / "absent").string(), "abc"));
  EXPECT_FALSE(fs::exists(dir_ / "absent"));
}

TEST_F(DeviceChoiceFile, InvalidUtf8IsNotWritten) {
  ASSERT_TRUE(writeDeviceChoice(dir_, "old"));
  EXPECT_FALSE(writeDeviceChoice(dir_, "bad\xFF"));
  EXPECT_EQ(readDeviceChoice(dir_), "old");
}

DeviceList devices(std::initializer_list<const char*> names) {
  DeviceList list;
  for (const char* name : names)
    list.pRecords.push_back({name, std::string("Friendly ") + name, name});
  return list;
}

TEST(FindDeviceChoice, TheLastExactMatchWins) {
  const DeviceList list = devices({"virtual:a", "virtual:b", "virtual:a", "virtual:c"});
  EXPECT_EQ(findDeviceChoice(list, "virtual:a"), 2u);
  EXPECT_EQ(findDeviceChoice(list, "virtual:b"), 1u);
  EXPECT_EQ(findDeviceChoice(list, "virtual:c"), 3u);
}

TEST(FindDeviceChoice, MatchesCaseAndWholeNamesOnly) {
  const DeviceList list = devices({"virtual:Cam", "virtual:cam2"});
  EXPECT_FALSE(findDeviceChoice(list, "virtual:cam").has_value());
  EXPECT_FALSE(findDeviceChoice(list, "VIRTUAL:Cam").has_value());
  EXPECT_FALSE(findDeviceChoice(list, "virtual:Ca").has_value());
  EXPECT_FALSE(findDeviceChoice(list, "").has_value());
  EXPECT_FALSE(findDeviceChoice(DeviceList{}, "virtual:Cam").has_value());
  EXPECT_EQ(findDeviceChoice(list, "virtual:Cam"), 0u);
}

}  // namespace
}  // namespace kovracam
