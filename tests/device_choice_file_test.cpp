#include "view/linux/device_choice_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "base/utf16.h"
#include "tests/test_env.h"
#include "view/linux/atomic_file.h"

namespace kovracam {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

class DeviceChoiceFile : public ::testing::Test {
 protected:
  fs::path file() const { return dir.path() / kDeviceChoiceFileName; }
  Bytes contents() const {
    std::ifstream in(file(), std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  std::size_t entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir.path()), {}));
  }

  testing::ScratchDirectory dir;
  std::ostringstream warnings;
};

// Count then UTF-16LE units, as the file lays them out.
Bytes layout(std::uint32_t count, const std::u16string& units) {
  Bytes bytes = {std::uint8_t(count), std::uint8_t(count >> 8), std::uint8_t(count >> 16),
                 std::uint8_t(count >> 24)};
  for (char16_t u : units)
    bytes.insert(bytes.end(), {std::uint8_t(u & 0xFF), std::uint8_t(u >> 8)});
  return bytes;
}

TEST_F(DeviceChoiceFile, NamesAreCutTo259UnitsWithoutSplittingACharacter) {
  std::string longest, longer;
  for (std::size_t i = 0; i < kDeviceFieldUnits; ++i) longest += char('a' + i % 26);
  for (int i = 0; i < 300; ++i) longer += char('A' + i % 26);
  const std::string nonAscii = "virtual:\xD0\xBA\xD0\xB0\xD0\xBC-\xF0\x9F\x8E\xA5";
  // 259 units take 522 bytes; the last case's pair no longer fits whole.
  const std::pair<std::string, std::string> cases[] = {
      {longest, longest},
      {longer, longer.substr(0, kDeviceFieldUnits)},
      {nonAscii, nonAscii},
      {std::string(258, 'x') + "\xF0\x9F\x98\x80", std::string(258, 'x')},
      {"abc", "abc"}};  // a shorter name leaves nothing of the longer one behind
  for (const auto& [name, stored] : cases) {
    SCOPED_TRACE(stored);
    ASSERT_TRUE(writeDeviceChoice(dir.path(), name));
    const auto units = utf8ToUtf16(stored);
    ASSERT_TRUE(units.has_value());
    EXPECT_EQ(contents(), layout(static_cast<std::uint32_t>(units->size()), *units));
    EXPECT_EQ(readDeviceChoice(dir.path(), warnings), stored);
  }
  EXPECT_EQ(entries(), 1u) << "no temporary file may stay behind";
}

TEST_F(DeviceChoiceFile, DamagedFilesCountAsMissing) {
  EXPECT_EQ(readDeviceChoice(dir.path(), warnings), std::nullopt) << "missing";
  Bytes trailing = layout(2, u"ok");
  trailing.insert(trailing.end(), {'t', 'a', 'i', 'l'});
  // The name ends at a zero unit, and the count, not the file, says where it ends; a file cut
  // short keeps what it holds (an odd last byte is the low half of its unit). Files too short
  // for a count, with a count above the field, or with unpaired surrogates are damaged.
  const std::pair<Bytes, std::optional<std::string>> cases[] = {
      {layout(5, std::u16string(u"ab\0cd", 5)), "ab"},
      {layout(0, u""), ""},
      {trailing, "ok"},
      {{}, std::nullopt},
      {{0x03, 0x00, 0x00}, std::nullopt},
      {layout(4, u"abc"), "abc"},
      {{0x03, 0x00, 0x00, 0x00, 'a', 0x00, 'b'}, "ab"},
      {layout(260, std::u16string(260, u'x')), std::nullopt},
      {layout(0xFFFFFFFFu, u"abc"), std::nullopt},
      {layout(2, u"a\xD800"), std::nullopt},
      {layout(1, u"\xDC00"), std::nullopt}};
  for (const auto& [bytes, name] : cases) {
    std::ofstream(file(), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    EXPECT_EQ(readDeviceChoice(dir.path(), warnings), name) << ::testing::PrintToString(bytes);
  }
  fs::remove(file());
  EXPECT_EQ(warnings.str(), "");
  fs::create_directory(file());  // not a file: never read, and said so once
  EXPECT_EQ(readDeviceChoice(dir.path(), warnings), std::nullopt);
  EXPECT_EQ(warnings.str(), "kovracam: " + file().string() + " ignored: a directory\n");
}

// Every file we write goes through the same atomic write: a failure leaves the old file and no
// temporary, and says why.
TEST_F(DeviceChoiceFile, FailedWritesLeaveTheOldFileAndNoTemporary) {
  ASSERT_TRUE(writeDeviceChoice(dir.path(), "old"));
  fs::permissions(file(), fs::perms(0600));
  ASSERT_TRUE(writeDeviceChoice(dir.path(), "new"));
  EXPECT_EQ(fs::status(file()).permissions(), fs::perms(0600));  // kept from the old file
  EXPECT_TRUE(!writeDeviceChoice(dir.path(), "bad\xFF") &&
              readDeviceChoice(dir.path(), warnings) == "new");
  std::string reason;
  const std::uint8_t byte = 0;
  EXPECT_FALSE(writeFileAtomically((dir.path() / "absent" / "x").string(), &byte, 1, &reason));
  EXPECT_EQ(reason, "No such file or directory");
  // A directory in the file's place cannot be renamed over, whoever we are.
  fs::remove(file());
  fs::create_directory(file());
  std::ofstream(file() / "keep") << "x";
  EXPECT_FALSE(writeFileAtomically(file().string(), &byte, 1, &reason));
  EXPECT_EQ(reason, "Is a directory");
  // Nor is anything but a file replaced: a pipe stands here for /dev/full.
  const fs::path pipe = dir.path() / "pipe";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  EXPECT_FALSE(writeFileAtomically(pipe.string(), &byte, 1, &reason));
  EXPECT_TRUE(reason == "Not a regular file" && fs::is_fifo(pipe)) << reason;
  EXPECT_EQ(entries(), 2u) << "the temporary must be gone";
}

}  // namespace
}  // namespace kovracam
