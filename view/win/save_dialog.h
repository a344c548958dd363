#pragma once
// The save dialog of the Capture commands: no initial name or folder, no question when the
// file exists. A new name is accepted; its folder must exist.

#include <windows.h>

#include <optional>
#include <string>

namespace kovracam {

struct SaveChoice {
  std::wstring path;  // full path, the default extension added to a name typed without one
};

// `filter` in the bar form "JPEG(*.jpg) | *.jpg|BMP(*.bmp) | *.BMP||"; `defaultExtension`
// without its dot. nullopt when the user cancelled (or the dialog could not be shown).
std::optional<SaveChoice> askSavePath(HWND owner, const wchar_t* defaultExtension,
                                      const wchar_t* filter);

inline constexpr wchar_t kRecordingExtension[] = L"avi";
inline constexpr wchar_t kRecordingFilter[] = L"(*.avi) | *.avi||";
inline constexpr wchar_t kSnapshotExtension[] = L"jpg";
inline constexpr wchar_t kSnapshotFilter[] = L"JPEG(*.jpg) | *.jpg|BMP(*.bmp) | *.BMP||";

}  // namespace kovracam
