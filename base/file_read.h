#pragma once
// What reading a small file from a place the program does not control gave: each platform's
// reader (base/linux/regular_file.h, base/win/regular_file.h) opens without blocking, reads only
// a plain file, and never more than a bound.

#include <string>

namespace kovracam {

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

}  // namespace kovracam
