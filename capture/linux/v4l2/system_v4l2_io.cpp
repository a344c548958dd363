// The real kernel behind the V4l2Io seam.

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <system_error>

#include "capture/linux/v4l2/v4l2_io.h"

namespace kovracam {
namespace {

class SystemV4l2Io final : public V4l2Io {
 public:
  int open(const std::string& path, int flags) override {
    // Descriptors must not leak into helper processes that GStreamer or Qt may start.
    int fd;
    do {
      fd = ::open(path.c_str(), flags | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
  }

  // Never retried: on Linux the descriptor is released even when close reports EINTR.
  int close(int fd) override { return ::close(fd); }

  int ioctl(int fd, unsigned long request, void* arg) override {
    // A signal landing while the driver waits on the USB bus must not look like a device error.
    int result;
    do {
      result = ::ioctl(fd, request, arg);
    } while (result < 0 && errno == EINTR);
    return result;
  }

  std::optional<std::vector<std::string>> listDirectory(const std::string& dir) override {
    std::error_code error;
    std::filesystem::directory_iterator it(dir, error);
    if (error) return fail(error);
    std::vector<std::string> names;
    const std::filesystem::directory_iterator end;
    while (it != end) {
      names.push_back(it->path().filename().string());
      it.increment(error);
      if (error) return fail(error);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::optional<std::string> resolveLink(const std::string& path) override {
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    if (!resolved) return std::nullopt;
    return std::string(resolved.get());
  }

 private:
  static std::nullopt_t fail(const std::error_code& error) {
    const bool posix =
        error.category() == std::system_category() || error.category() == std::generic_category();
    errno = posix ? error.value() : EIO;
    return std::nullopt;
  }
};

}  // namespace

V4l2Io& systemV4l2Io() {
  // Stateless, so one shared instance is safe from any thread.
  static SystemV4l2Io io;
  return io;
}

}  // namespace kovracam
