#pragma once
// A language module: a shared object exporting, with C linkage,
//   uint32_t GetLanguageID(void);
//   const void* GetStringBlock(uint32_t block, uint32_t* size);
// the second returning string-table block `block` in the 16-strings format (16-bit little-endian
// lengths and UTF-16LE code units) and its size in bytes, or NULL when it has no such block.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace kovracam {

class LanguageModule {
 public:
  // Opens the file (its initialisers run); nullptr when it does not load.
  static std::unique_ptr<LanguageModule> open(const std::filesystem::path& file);
  ~LanguageModule();
  LanguageModule(const LanguageModule&) = delete;
  LanguageModule& operator=(const LanguageModule&) = delete;

  // nullopt when the module does not export GetLanguageID.
  std::optional<std::uint32_t> languageId() const;
  // The string with `id`; nullopt when the module lacks it or it is empty.
  std::optional<std::u16string> loadString(unsigned id) const;

 private:
  explicit LanguageModule(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace kovracam
