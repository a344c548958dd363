#include "lang/string_table.h"

namespace kovracam {

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

}  // namespace kovracam
