// The device-choice file: any bytes in HardWare.KRV. A name read is valid text that fits a device
// field, and writing it back and reading again gives the same name.

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "base/utf16.h"
#include "tests/fuzz/fuzz_check.h"
#include "view/linux/device_choice_file.h"

using namespace kovracam;

namespace {

std::string scratch;  // holds "in" (the fuzzed file) and "out" (the one written back)

void removeScratch() { std::filesystem::remove_all(scratch); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // In memory where possible: every write back is synced.
  std::string pattern = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  pattern += "/kovracam-fuzz-XXXXXX";
  FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
  scratch = pattern;
  std::filesystem::create_directory(scratch + "/in");
  std::filesystem::create_directory(scratch + "/out");
  std::atexit(removeScratch);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string file = scratch + "/in/" + kDeviceChoiceFileName;
  const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  FUZZ_CHECK(fd >= 0 && ::write(fd, data, size) == static_cast<ssize_t>(size));
  ::close(fd);

  const auto name = readDeviceChoice(scratch + "/in", std::cerr);
  if (!name) return 0;
  FUZZ_CHECK(utf8ToUtf16(*name) && utf16Length(*name) <= kDeviceFieldUnits);
  FUZZ_CHECK(name->find('\0') == std::string::npos);
  FUZZ_CHECK(writeDeviceChoice(scratch + "/out", *name));
  FUZZ_CHECK(readDeviceChoice(scratch + "/out", std::cerr) == name);
  return 0;
}
