#pragma once
// Reads a small file from a path the program does not control (the camera choice, the camera
// list) so that nothing placed there can hang it: only a disk file is read (a pipe, console or
// device could block the read or never end), and never more than a bound.

#include <cstddef>
#include <string>

#include "base/file_read.h"

namespace kovracam {

FileRead readRegularFile(const std::wstring& path, std::size_t maxBytes);

}  // namespace kovracam
