#include "base/linux/regular_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "tests/test_env.h"

namespace kovracam {
namespace {

namespace fs = std::filesystem;
using Outcome = FileRead::Outcome;

// Whatever stands at the path, the read returns at once, and only a regular file is read.
TEST(RegularFile, NothingButARegularFileIsReadAndNothingBlocks) {
  testing::ScratchDirectory dir;
  ::alarm(5);  // an open that blocks ends the test run within seconds
  ASSERT_TRUE(::mkfifo("fifo", 0600) == 0 && ::mkfifo("held", 0600) == 0);
  const int writer = ::open("held", O_RDWR | O_NONBLOCK);  // a writer that never closes
  const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{AF_UNIX, "socket"};
  ASSERT_EQ(::bind(server, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  fs::create_directory("folder");
  fs::create_symlink("/dev/zero", "zero");
  fs::create_symlink("gone", "dangling");
  std::ofstream("large") << std::string(100, 'x');
  const std::tuple<const char*, Outcome, std::string, bool> cases[] = {
      {"fifo", Outcome::NotRegular, "a named pipe", false},
      {"held", Outcome::NotRegular, "a named pipe", false},
      {"socket", Outcome::NotRegular, "a socket", false},
      {"zero", Outcome::NotRegular, "a character device", false},
      {"folder", Outcome::NotRegular, "a directory", false},
      {"dangling", Outcome::Missing, "No such file or directory", false},
      {"large", Outcome::Read, "", true}};
  for (const auto& [name, outcome, what, truncated] : cases) {
    const auto started = std::chrono::steady_clock::now();
    const FileRead read = readRegularFile(name, 64);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(100)) << name;
    EXPECT_EQ(std::tuple(read.outcome, read.what, read.truncated),
              std::tuple(outcome, what, truncated))
        << name;
    EXPECT_EQ(read.bytes, truncated ? std::string(64, 'x') : "") << name;
  }
  EXPECT_FALSE(readRegularFile("large", 100).truncated);  // exactly the bound is the whole file
  ::alarm(0);
  ::close(writer);
  ::close(server);
}

}  // namespace
}  // namespace kovracam
