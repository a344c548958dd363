#pragma once
// Makes whole an AVI file whose writer stopped before the end of the stream (a full disk, a
// file-size limit, a writer that did not finish in time): the muxer writes the frame counts,
// the chunk sizes and the index only at the end.

#include <cstdint>
#include <optional>
#include <string>

namespace kovracam {

// Cuts the file after its last complete frame and writes the frame counts and chunk sizes the
// writer would have written; the index is left out, so no new space is needed: the file only
// shrinks and header fields are rewritten in place. The frames kept, or nullopt when the file
// is no AVI file this can read (it is then left as it is).
std::optional<std::uint32_t> sealAviFile(const std::string& path);

}  // namespace kovracam
