// A language module for the tests, built several ways (tests/CMakeLists.txt):
//   TEST_TAG           every text reads "<tag> <id>"; the tag is also logged by the initialiser
//   TEST_LANGUAGE_ID   what GetLanguageID returns; without it there is no such export
//   TEST_NO_STRINGS    no GetStringBlock
//   TEST_OMIT_ID       an id left without text
//   TEST_OVERRUN       block 314 ends right after a length that claims 200 units

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#ifndef TEST_OMIT_ID
#define TEST_OMIT_ID 0
#endif

#define EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// Appends the tag to the file $KOVRACAM_TEST_MODULE_LOG: the tests count the modules opened.
__attribute__((constructor)) void logInitialiser() {
  const char* log = std::getenv("KOVRACAM_TEST_MODULE_LOG");
  if (!log) return;
  const int fd = ::open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return;
  const std::string line = std::string(TEST_TAG) + "\n";
  if (::write(fd, line.data(), line.size()) < 0) { /* the test sees the missing line */
  }
  ::close(fd);
}

#ifndef TEST_NO_STRINGS
struct Block {
  std::unique_ptr<unsigned char[]> bytes;  // exactly `size` bytes, so overreads are caught
  std::uint32_t size = 0;
};

Block makeBlock(std::uint32_t block) {
  std::vector<unsigned char> out;
  const auto put = [&](unsigned unit) {
    out.push_back(static_cast<unsigned char>(unit & 0xFF));
    out.push_back(static_cast<unsigned char>(unit >> 8));
  };
  for (unsigned id = (block - 1) * 16; id < block * 16; ++id) {
#ifdef TEST_OVERRUN
    if (id == 5020) {
      put(200);
      break;
    }
#endif
    const std::string text =
        id > 5000 && id != TEST_OMIT_ID ? std::string(TEST_TAG) + " " + std::to_string(id) : "";
    put(static_cast<unsigned>(text.size()));
    for (char c : text) put(static_cast<unsigned char>(c));
  }
  Block result{std::make_unique<unsigned char[]>(out.size()),
               static_cast<std::uint32_t>(out.size())};
  std::copy(out.begin(), out.end(), result.bytes.get());
  return result;
}
#endif

}  // namespace

#ifdef TEST_LANGUAGE_ID
EXPORT std::uint32_t GetLanguageID() { return TEST_LANGUAGE_ID; }
#endif

#ifndef TEST_NO_STRINGS
EXPORT const void* GetStringBlock(std::uint32_t block, std::uint32_t* size) {
  static const Block blocks[] = {makeBlock(313), makeBlock(314)};
  if (block < 313 || block > 314) return nullptr;
  *size = blocks[block - 313].size;
  return blocks[block - 313].bytes.get();
}
#endif
