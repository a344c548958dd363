#pragma once
// Reads a small file from a path the program does not control (the camera choice, the camera
// lists) so that nothing placed there can hang or flood it: the open never blocks, only a
// regular file is read, and never more than a bound.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

namespace kovracam {

// The system calls used, so that a preloaded library can pass the C library's own.
struct FileCalls {
  int (*open)(const char*, int, ...);
  int (*fstat)(int, struct stat*);
  int (*stat)(const char*, struct stat*);
  ssize_t (*read)(int, void*, std::size_t);
  int (*close)(int);
};
const FileCalls& systemFileCalls();

struct FileRead {
  enum class Outcome {
    Read,        // bytes holds the file, or its first maxBytes when truncated
    Missing,     // no such file (a dangling link too)
    NotRegular,  // a pipe, socket, device or directory; what says which
    Failed       // could not be opened or read; what holds the system's reason
  };
  Outcome outcome = Outcome::Missing;
  std::string bytes;
  bool truncated = false;  // more than maxBytes were there
  std::string what;
};

FileRead readRegularFile(const std::string& path, std::size_t maxBytes,
                         const FileCalls& calls = systemFileCalls());

}  // namespace kovracam
