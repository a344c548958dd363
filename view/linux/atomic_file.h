#pragma once
// Files that are either complete or absent: written to a temporary file in the same folder,
// flushed to disk, then renamed over the target. A failed write leaves the target as it was.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kovracam {

// false when the file could not be written; `reason` then holds the system's reason. The new
// file keeps the permission bits of the one it replaces (rw-r--r-- for a new one).
bool writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size,
                         std::string* reason = nullptr);

}  // namespace kovracam
