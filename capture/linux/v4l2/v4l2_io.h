#pragma once
// Every access the program makes to video devices goes through this seam, so that tests can
// stand a kernel of their own behind it. Methods behave like the system calls they stand for: -1
// and errno set on failure.

#include <optional>
#include <string>
#include <vector>

namespace kovracam {

class V4l2Io {
 public:
  virtual ~V4l2Io() = default;

  virtual int open(const std::string& path, int flags) = 0;
  virtual int close(int fd) = 0;
  virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
  // Entry names of a directory, without "." and "..", sorted. nullopt when it cannot be read.
  virtual std::optional<std::vector<std::string>> listDirectory(const std::string& dir) = 0;
  // The absolute path a link (or chain of links) finally names; nullopt when it does not resolve.
  virtual std::optional<std::string> resolveLink(const std::string& path) = 0;
};

// The real kernel.
V4l2Io& systemV4l2Io();

// Owns one descriptor opened through a V4l2Io; closes it through the same seam.
class ScopedFd {
 public:
  ScopedFd(V4l2Io& io, int fd) : io_(&io), fd_(fd) {}
  ~ScopedFd() { reset(); }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;
  ScopedFd(ScopedFd&& o) noexcept : io_(o.io_), fd_(o.fd_) { o.fd_ = -1; }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  void reset() {
    if (fd_ >= 0) io_->close(fd_);
    fd_ = -1;
  }

 private:
  V4l2Io* io_;
  int fd_;
};

}  // namespace kovracam
