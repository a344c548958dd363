#include "lang/win/language_module.h"

#include "lang/win/resource_texts.h"

namespace kovracam {
namespace {

using GetLanguageIdFn = std::uint32_t (*)();

// The flags that keep the current directory and PATH out of the search for the module's own
// imports. Windows 7 knows them only with its loader update; without it they are refused as an
// invalid parameter, and the plain search remains.
constexpr DWORD kSafeSearch = LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32;

}  // namespace

std::unique_ptr<LanguageModule> LanguageModule::open(const std::wstring& path) {
  // No box for a file that is no image or lacks an import: the scan goes on silently.
  DWORD errorMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &errorMode);
  HMODULE handle = LoadLibraryExW(path.c_str(), nullptr, kSafeSearch);
  if (!handle && GetLastError() == ERROR_INVALID_PARAMETER) handle = LoadLibraryW(path.c_str());
  SetThreadErrorMode(errorMode, nullptr);
  if (!handle) return nullptr;
  return std::unique_ptr<LanguageModule>(new LanguageModule(handle));
}

LanguageModule::~LanguageModule() { FreeLibrary(handle_); }

std::optional<std::uint32_t> LanguageModule::languageId() const {
  const FARPROC export_ = GetProcAddress(handle_, "GetLanguageID");
  if (!export_) return std::nullopt;
  return reinterpret_cast<GetLanguageIdFn>(reinterpret_cast<void*>(export_))();
}

std::optional<std::u16string> LanguageModule::loadString(unsigned id) const {
  return loadResourceString(handle_, id);
}

}  // namespace kovracam
