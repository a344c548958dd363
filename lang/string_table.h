#pragma once
// String tables in blocks of 16: block b holds ids 16*(b-1) .. 16*(b-1)+15, each entry a 16-bit
// length followed by that many UTF-16 code units, no terminator.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace kovracam {

struct StringBlock {
  std::uint16_t id;            // id / 16 + 1 of the strings it holds
  const std::uint16_t* units;  // the block's bytes as 16-bit units
  std::size_t unitCount;
};

inline std::uint16_t stringBlockId(unsigned id) { return static_cast<std::uint16_t>(id / 16 + 1); }

// The string with `id`; nullopt when its block is missing, the entry lies past the block's end,
// or the string is empty.
std::optional<std::u16string> loadString(std::span<const StringBlock> blocks, unsigned id);

// The string with `id` from its block as a module stores it: `size` bytes of 16-bit
// little-endian units. Nothing past those bytes is read, whatever the lengths inside claim.
std::optional<std::u16string> loadStringFromBlockBytes(const void* bytes, std::size_t size,
                                                       unsigned id);

// The blocks compiled into the program from res/strings.txt.
std::span<const StringBlock> programStringBlocks();

}  // namespace kovracam
