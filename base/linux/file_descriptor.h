#pragma once
// Owns one open file descriptor. Kept in lang/, the lowest room, so that every room reading or
// writing files (texts, modules, the camera file, the choice file, pictures) shares it.

#include <unistd.h>

namespace kovracam {

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd = -1) : fd_(fd) {}
  ~FileDescriptor() { close(); }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and says whether the close succeeded (it can report a delayed write error).
  bool close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || ::close(fd) == 0;
  }

 private:
  int fd_;
};

}  // namespace kovracam
