// The real kernel seam, on ordinary files in a scratch directory (no camera needed).

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "capture/linux/v4l2/v4l2_io.h"

namespace kovracam {
namespace {

TEST(SystemV4l2Io, ListsResolvesAndOpensLikeTheKernel) {
  std::string pattern = ::testing::TempDir() + "kovracam_io_XXXXXX";
  ASSERT_NE(::mkdtemp(pattern.data()), nullptr) << std::strerror(errno);
  const std::string dir = std::filesystem::canonical(pattern).string();  // as realpath gives it
  std::ofstream(dir + "/video2") << "x";
  std::ofstream(dir + "/video10") << "x";
  std::filesystem::create_directory(dir + "/by-id");
  std::filesystem::create_symlink("../video2", dir + "/by-id/usb-Cam-video-index0");
  std::filesystem::create_symlink("../video9", dir + "/by-id/dangling");
  V4l2Io& io = systemV4l2Io();

  EXPECT_EQ(io.listDirectory(dir), (std::vector<std::string>{"by-id", "video10", "video2"}));
  EXPECT_TRUE(!io.listDirectory(dir + "/missing") && errno == ENOENT);
  EXPECT_EQ(io.resolveLink(dir + "/by-id/usb-Cam-video-index0"), dir + "/video2");
  EXPECT_EQ(io.resolveLink(dir + "/by-id/dangling"), std::nullopt);

  const int fd = io.open(dir + "/by-id/usb-Cam-video-index0", O_RDWR | O_NONBLOCK);
  ASSERT_GE(fd, 0) << std::strerror(errno);
  EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
  v4l2_capability cap{};
  // A plain file is no video device.
  EXPECT_TRUE(io.ioctl(fd, VIDIOC_QUERYCAP, &cap) == -1 && errno == ENOTTY);
  EXPECT_TRUE(io.close(fd) == 0 && io.close(fd) == -1 && errno == EBADF);
  EXPECT_TRUE(io.open(dir + "/video9", O_RDWR) == -1 && errno == ENOENT);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace kovracam
