#include "base/linux/regular_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace kovracam {
namespace {

const char* kindOf(mode_t mode) {
  if (S_ISFIFO(mode)) return "a named pipe";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISDIR(mode)) return "a directory";
  return "not a regular file";
}

FileRead notRegular(mode_t mode) {
  FileRead result;
  result.outcome = FileRead::Outcome::NotRegular;
  result.what = kindOf(mode);
  return result;
}

FileRead failed(int error) {
  FileRead result;
  result.outcome =
      error == ENOENT || error == ENOTDIR ? FileRead::Outcome::Missing : FileRead::Outcome::Failed;
  result.what = std::strerror(error);
  return result;
}

}  // namespace

const FileCalls& systemFileCalls() {
  static const FileCalls calls{&::open, &::fstat, &::stat, &::read, &::close};
  return calls;
}

FileRead readRegularFile(const std::string& path, std::size_t maxBytes, const FileCalls& calls) {
  // Non-blocking, so that a pipe without a writer, a terminal or a device cannot hold the open.
  const int fd = calls.open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    // A socket refuses the open itself; say what it is rather than "no such device".
    struct stat info {};
    if (error == ENXIO && calls.stat(path.c_str(), &info) == 0) return notRegular(info.st_mode);
    return failed(error);
  }
  struct Closer {
    const FileCalls& calls;
    int fd;
    ~Closer() { calls.close(fd); }
  } closer{calls, fd};

  struct stat info {};
  if (calls.fstat(fd, &info) != 0) return failed(errno);
  if (!S_ISREG(info.st_mode)) return notRegular(info.st_mode);

  FileRead result;
  result.outcome = FileRead::Outcome::Read;
  char chunk[4096];
  // One byte past the bound tells a file that is exactly maxBytes from a longer one.
  while (result.bytes.size() <= maxBytes) {
    const std::size_t want = std::min(sizeof chunk, maxBytes + 1 - result.bytes.size());
    const ssize_t n = calls.read(fd, chunk, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failed(errno);
    if (n == 0) return result;
    result.bytes.append(chunk, static_cast<std::size_t>(n));
  }
  result.bytes.resize(maxBytes);
  result.truncated = true;
  return result;
}

}  // namespace kovracam
