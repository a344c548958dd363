#pragma once
// Reads a small file from a path the program does not control (the camera choice, the camera
// lists) so that nothing placed there can hang or flood it: the open never blocks, only a
// regular file is read, and never more than a bound.

#include <sys/stat.h>
#include <sys/types.h>

#include <cstddef>
#include <string>

#include "base/file_read.h"

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

FileRead readRegularFile(const std::string& path, std::size_t maxBytes,
                         const FileCalls& calls = systemFileCalls());

}  // namespace kovracam
