#include "view/win/save_dialog.h"

#include <commdlg.h>

#include <vector>

namespace kovracam {
namespace {

// The dialog wants its filter as pairs of strings ending in an empty one: every bar becomes a
// separator, as the framework's file dialog does it.
std::vector<wchar_t> filterPairs(const wchar_t* filter) {
  std::vector<wchar_t> pairs(filter, filter + wcslen(filter) + 1);
  for (wchar_t& c : pairs) {
    if (c == L'|') c = L'\0';
  }
  return pairs;
}

}  // namespace

std::optional<SaveChoice> askSavePath(HWND owner, const wchar_t* defaultExtension,
                                      const wchar_t* filter) {
  std::vector<wchar_t> pairs = filterPairs(filter);
  std::vector<wchar_t> file(32768, L'\0');  // room for long paths
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = pairs.data();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrDefExt = defaultExtension;
  // A save dialog that only took existing files could never name a new recording, so only the
  // folder must exist. The process's current directory stays where it is: the camera choice
  // and the language modules are found through it.
  dialog.Flags = OFN_PATHMUSTEXIST | OFN_EXPLORER | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameW(&dialog)) return std::nullopt;
  // The format follows the name's extension, which the caller reads from the path itself.
  return SaveChoice{file.data()};
}

}  // namespace kovracam
