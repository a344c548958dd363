// String blocks: the bytes a language module hands over for a block, read through the module
// (which copies at most the size it reported) and directly as units; both must agree. The
// program's own table is asked for the same id.

#include <cstdint>
#include <memory>
#include <vector>

#include "lang/linux/language_module.h"
#include "lang/string_table.h"
#include "tests/fuzz/fuzz_check.h"

using namespace kovracam;

namespace {

// The block the module returns: exactly its reported size, so reading past it is caught.
const std::uint8_t* blockBytes = nullptr;
std::uint32_t blockSize = 0;

std::unique_ptr<LanguageModule> module;

}  // namespace

// Called by the fuzz module's GetStringBlock.
extern "C" const void* kovracamFuzzBlock(std::uint32_t* size) {
  *size = blockSize;
  return blockBytes;
}

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  module = LanguageModule::open(KOVRACAM_FUZZ_MODULE);
  FUZZ_CHECK(module != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned id = data[0] | data[1] << 8;
  const std::vector<std::uint8_t> bytes(data + 2, data + size);
  std::vector<std::uint16_t> units(bytes.size() / 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }

  const StringBlock block{stringBlockId(id), units.data(), units.size()};
  const auto direct = loadString(std::span(&block, 1), id);
  if (direct) FUZZ_CHECK(!direct->empty() && direct->size() < units.size());
  // Another block's id never finds this one.
  FUZZ_CHECK(!loadString(std::span(&block, 1), id + 16));

  blockBytes = bytes.empty() ? nullptr : bytes.data();
  blockSize = static_cast<std::uint32_t>(bytes.size());
  FUZZ_CHECK(module->loadString(id) == direct);

  loadString(programStringBlocks(), id);
  return 0;
}
