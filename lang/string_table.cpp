#include "lang/string_table.h"

#include <algorithm>
#include <vector>

namespace kovracam {
namespace {

// Sixteen entries of at most 65535 units each, plus their lengths: no block is larger.
constexpr std::size_t kMaxBlockBytes = 16 * (1 + 65535) * 2;

}  // namespace

std::optional<std::u16string> loadString(std::span<const StringBlock> blocks, unsigned id) {
  const std::uint16_t wanted = stringBlockId(id);
  for (const StringBlock& block : blocks) {
    if (block.id != wanted) continue;
    std::size_t pos = 0;
    // Skip the entries before ours, never past the block's end.
    for (unsigned skip = id % 16; skip > 0 && pos < block.unitCount; --skip) {
      pos += 1 + block.units[pos];
    }
    if (pos >= block.unitCount) return std::nullopt;
    const std::size_t length = block.units[pos];
    if (length == 0 || pos + 1 + length > block.unitCount) return std::nullopt;
    return std::u16string(block.units + pos + 1, block.units + pos + 1 + length);
  }
  return std::nullopt;
}

std::optional<std::u16string> loadStringFromBlockBytes(const void* bytes, std::size_t size,
                                                       unsigned id) {
  if (!bytes) return std::nullopt;
  // Copied out as units, so that the bounded reader above never looks past the bytes given.
  const auto* in = static_cast<const unsigned char*>(bytes);
  std::vector<std::uint16_t> units(std::min(size, kMaxBlockBytes) / 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<std::uint16_t>(in[2 * i] | in[2 * i + 1] << 8);
  }
  const StringBlock block{stringBlockId(id), units.data(), units.size()};
  return loadString(std::span(&block, 1), id);
}

}  // namespace kovracam
