#pragma once
// A language module: a DLL exporting by name
//   uint32_t GetLanguageID(void);
// and holding the user-interface texts as string-table resources (RT_STRING).

#include <windows.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace kovracam {

class LanguageModule {
 public:
  // Loads the file at the full path `path` as a program image (its entry point runs), the DLLs
  // it imports from System32 and its own folder only; nullptr when it does not load.
  static std::unique_ptr<LanguageModule> open(const std::wstring& path);
  ~LanguageModule();
  LanguageModule(const LanguageModule&) = delete;
  LanguageModule& operator=(const LanguageModule&) = delete;

  // nullopt when the module does not export GetLanguageID.
  std::optional<std::uint32_t> languageId() const;
  // The string with `id`; nullopt when the module lacks it or it is empty.
  std::optional<std::u16string> loadString(unsigned id) const;

 private:
  explicit LanguageModule(HMODULE handle) : handle_(handle) {}
  HMODULE handle_;
};

}  // namespace kovracam
