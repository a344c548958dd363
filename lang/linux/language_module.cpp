#include "lang/linux/language_module.h"

#include <dlfcn.h>

#include "lang/string_table.h"

namespace kovracam {
namespace {

using GetLanguageIdFn = std::uint32_t (*)();
using GetStringBlockFn = const void* (*)(std::uint32_t, std::uint32_t*);

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
  std::uint32_t size = 0;
  const void* bytes = fn(stringBlockId(id), &size);
  return loadStringFromBlockBytes(bytes, bytes ? size : 0, id);
}

}  // namespace kovracam
