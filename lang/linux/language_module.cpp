#include "lang/linux/language_module.h"

#include <dlfcn.h>

#include <span>
#include <vector>

#include "lang/string_table.h"

namespace kovracam {
namespace {

using GetLanguageIdFn = std::uint32_t (*)();
using GetStringBlockFn = const void* (*)(std::uint32_t, std::uint32_t*);

// Sixteen entries of at most 65535 units each, plus their lengths: no block is larger.
constexpr std::uint32_t kMaxBlockBytes = 16 * (1 + 65535) * 2;

}  // namespace

std::unique_ptr<LanguageModule> LanguageModule::open(const std::filesystem::path& file) {
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return nullptr;
  return std::unique_ptr<LanguageModule>(new LanguageModule(handle));
}

LanguageModule::~LanguageModule() { ::dlclose(handle_); }

std::optional<std::uint32_t> LanguageModule::languageId() const {
  auto fn = reinterpret_cast<GetLanguageIdFn>(::dlsym(handle_, "GetLanguageID"));
  if (!fn) return std::nullopt;
  return fn();
}

std::optional<std::u16string> LanguageModule::loadString(unsigned id) const {
  auto fn = reinterpret_cast<GetStringBlockFn>(::dlsym(handle_, "GetStringBlock"));
  if (!fn) return std::nullopt;  // a module without strings
  const std::uint16_t blockId = stringBlockId(id);
  std::uint32_t size = 0;
  const auto* bytes = static_cast<const unsigned char*>(fn(blockId, &size));
  if (!bytes) return std::nullopt;
  // Copied out as little-endian units, so the bounded reader below never looks past the `size`
  // bytes the module handed over, whatever the block's lengths claim.
  std::vector<std::uint16_t> units(std::min(size, kMaxBlockBytes) / 2);
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
  }
  const StringBlock block{blockId, units.data(), units.size()};
  return kovracam::loadString(std::span(&block, 1), id);
}

}  // namespace kovracam
