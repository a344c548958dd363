#include "view/linux/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/linux/file_descriptor.h"

namespace kovracam {
namespace {

bool writeAll(int fd, const std::uint8_t* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) {
      errno = ENOSPC;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The permission bits the new file gets: those of the file it replaces, or rw-r--r--.
mode_t modeFor(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return info.st_mode & 07777;
  return 0644;
}

// Makes the rename itself durable; a failure here cannot undo it, so it is not reported.
void syncDirectory(const std::string& directory) {
  const FileDescriptor dir(
      ::open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.valid()) ::fsync(dir.get());
}

bool failed(int error, std::string* reason) {
  if (reason) *reason = std::strerror(error);
  return false;
}

}  // namespace

bool writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                         std::string* reason) {
  const std::size_t slash = path.rfind('/');
  const std::string directory = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::string temporary = directory + "." + name + ".XXXXXX";
  // A device, pipe or socket chosen by name (/dev/full, say) is never replaced by a file.
  struct stat existing {};
  if (::stat(path.c_str(), &existing) == 0 && !S_ISREG(existing.st_mode) &&
      !S_ISDIR(existing.st_mode)) {
    if (reason) *reason = "Not a regular file";
    return false;
  }

  FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
  if (!fd.valid()) return failed(errno, reason);
  // Only a complete, flushed file may take the old one's place.
  if (::fchmod(fd.get(), modeFor(path)) != 0 || !writeAll(fd.get(), data, size) ||
      ::fsync(fd.get()) != 0 || !fd.close() || ::rename(temporary.c_str(), path.c_str()) != 0) {
    const int error = errno;
    fd.close();
    ::unlink(temporary.c_str());
    return failed(error, reason);
  }
  syncDirectory(directory);
  return true;
}

}  // namespace kovracam
