#include "lang/win/module_scan.h"

#include "base/win/wide_text.h"
#include "base/win/win_handle.h"

namespace kovracam {
namespace {

// Why code reached through an entry with these attributes must not be run, or nullptr.
const char* plantingRisk(DWORD attributes) {
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return "a link to elsewhere";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return "a folder";
  return nullptr;
}

// The entry itself, a link not followed; `access` and `share` as CreateFileW takes them.
WinHandle openEntry(const std::wstring& path, DWORD access, DWORD share, DWORD* attributes) {
  WinHandle entry(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info{};
  if (entry && !GetFileInformationByHandle(entry.get(), &info)) entry.reset();
  *attributes = info.dwFileAttributes;
  return entry;
}

void warn(std::ostream& warnings, const char* what, const std::wstring& path, const char* risk) {
  warnings << "kovracam: language " << what << " " << narrowToUtf8(path) << " skipped: " << risk
           << "\n";
}

// Loads one candidate while holding it open against writers and deleters, so that the file
// loaded is the file checked.
std::unique_ptr<LanguageModule> openCandidate(const std::wstring& path, DWORD foundAttributes,
                                              std::ostream& warnings) {
  if (const char* risk = plantingRisk(foundAttributes)) {
    warn(warnings, "module", path, risk);
    return nullptr;
  }
  DWORD attributes = 0;
  const WinHandle file = openEntry(path, GENERIC_READ, FILE_SHARE_READ, &attributes);
  if (!file) return nullptr;                          // gone, or being written
  if (const char* risk = plantingRisk(attributes)) {  // replaced since it was listed
    warn(warnings, "module", path, risk);
    return nullptr;
  }
  return LanguageModule::open(path);
}

class FindHandle {
 public:
  explicit FindHandle(HANDLE h) : m_h(h) {}
  ~FindHandle() {
    if (valid()) FindClose(m_h);
  }
  FindHandle(const FindHandle&) = delete;
  FindHandle& operator=(const FindHandle&) = delete;
  bool valid() const { return m_h != INVALID_HANDLE_VALUE; }
  HANDLE get() const { return m_h; }

 private:
  HANDLE m_h;
};

}  // namespace

std::unique_ptr<LanguageModule> chooseLanguageModule(const std::wstring& folder, LANGID langId,
                                                     std::ostream& warnings) {
  // Held without delete sharing, so that the folder cannot be renamed away and replaced by a
  // link while its entries are loaded by path.
  // The path's attributes as well as the handle's: Wine tells a link by its path only.
  const std::wstring folderPath = folder.substr(0, folder.size() - 1);
  const DWORD listed = GetFileAttributesW(folderPath.c_str());
  DWORD attributes = 0;
  const WinHandle held =
      openEntry(folderPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes);
  if (!held || listed == INVALID_FILE_ATTRIBUTES) return nullptr;
  if ((listed | attributes) & FILE_ATTRIBUTE_REPARSE_POINT) {
    warn(warnings, "folder", folderPath, "a link to elsewhere");
    return nullptr;
  }
  WIN32_FIND_DATAW entry{};
  const FindHandle search(FindFirstFileW((folder + L"*").c_str(), &entry));
  if (!search.valid()) return nullptr;
  // Every entry is examined, the folder's own "." and ".." too: they fail the name test.
  do {
    if (!hasModuleName(std::wstring_view(entry.cFileName))) continue;
    auto module = openCandidate(folder + entry.cFileName, entry.dwFileAttributes, warnings);
    if (!module) continue;
    const std::optional<std::uint32_t> id = module->languageId();
    if (id && *id == langId) return module;
  } while (FindNextFileW(search.get(), &entry));
  return nullptr;
}

}  // namespace kovracam
