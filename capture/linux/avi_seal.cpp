#include "capture/linux/avi_seal.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "base/linux/file_descriptor.h"

namespace kovracam {
namespace {

constexpr std::size_t kHeaderLimit = 1 << 20;  // the headers lie well inside the first MiB
constexpr std::uint32_t kHasIndex = 0x10;      // AVIF_HASINDEX

std::uint32_t le32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool is(const unsigned char* p, const char* id) { return std::memcmp(p, id, 4) == 0; }

// Where the fields to rewrite lie in the file; -1 when absent.
struct Layout {
  off_t flags = -1, totalFrames = -1, length = -1, odmlFrames = -1, movi = -1;
};

// Walks the chunks of head[begin, end), into the header lists, up to the movi list.
void scan(const std::vector<unsigned char>& head, std::size_t begin, std::size_t end,
          Layout& layout) {
  for (std::size_t at = begin; at + 8 <= end && layout.movi < 0;) {
    const unsigned char* chunk = head.data() + at;
    const std::size_t size = le32(chunk + 4);
    if (is(chunk, "LIST") && at + 12 <= end) {
      if (is(chunk + 8, "movi")) layout.movi = static_cast<off_t>(at);
      scan(head, at + 12, std::min(end, at + 8 + size), layout);
    } else if (is(chunk, "avih") && size >= 20) {
      layout.flags = static_cast<off_t>(at + 8 + 12);
      layout.totalFrames = static_cast<off_t>(at + 8 + 16);
    } else if (is(chunk, "strh") && size >= 36 && layout.length < 0 && at + 12 <= end &&
               is(chunk + 8, "vids")) {
      layout.length = static_cast<off_t>(at + 8 + 32);
    } else if (is(chunk, "dmlh") && size >= 4) {
      layout.odmlFrames = static_cast<off_t>(at + 8);
    }
    at += 8 + size + (size & 1);
  }
}

bool put32(int fd, off_t at, std::uint32_t value) {
  const unsigned char bytes[4] = {
      static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
      static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
  return at < 0 || ::pwrite(fd, bytes, 4, at) == 4;
}

}  // namespace

std::optional<std::uint32_t> sealAviFile(const std::string& path) {
  const FileDescriptor fd(::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW));
  struct stat info {};
  if (!fd.valid() || ::fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const off_t fileSize = info.st_size;
  std::vector<unsigned char> head(
      std::min<std::size_t>(static_cast<std::size_t>(fileSize), kHeaderLimit));
  if (head.size() < 12 ||
      ::pread(fd.get(), head.data(), head.size(), 0) != static_cast<ssize_t>(head.size()) ||
      !is(head.data(), "RIFF") || !is(head.data() + 8, "AVI ")) {
    return std::nullopt;
  }
  Layout layout;
  scan(head, 12, head.size(), layout);
  if (layout.movi < 0 || layout.totalFrames < 0) return std::nullopt;

  // The frames of the first stream, up to the first chunk the file does not hold whole.
  std::uint32_t frames = 0;
  off_t end = layout.movi + 12;
  for (unsigned char chunk[8]; ::pread(fd.get(), chunk, 8, end) == 8;) {
    const std::uint32_t size = le32(chunk + 4);
    const off_t next = end + 8 + size + (size & 1);
    if (next > fileSize || is(chunk, "idx1") || is(chunk, "RIFF")) break;
    frames += chunk[0] == '0' && chunk[1] == '0' && chunk[2] == 'd' &&
              (chunk[3] == 'b' || chunk[3] == 'c');
    end = next;
  }
  const std::uint32_t flags = le32(head.data() + layout.flags) & ~kHasIndex;
  if (::ftruncate(fd.get(), end) != 0 || !put32(fd.get(), 4, static_cast<std::uint32_t>(end - 8)) ||
      !put32(fd.get(), layout.movi + 4, static_cast<std::uint32_t>(end - layout.movi - 8)) ||
      !put32(fd.get(), layout.flags, flags) || !put32(fd.get(), layout.totalFrames, frames) ||
      !put32(fd.get(), layout.length, frames) || !put32(fd.get(), layout.odmlFrames, frames) ||
      ::fsync(fd.get()) != 0) {
    return std::nullopt;
  }
  return frames;
}

}  // namespace kovracam
