#include "capture/win/virtual/win_camera_platform.h"

#include <windows.h>

#include "capture/win/virtual/frame_painter.h"

namespace kovracam {
namespace {

class WinVirtualCameraPlatform : public VirtualCameraPlatform {
 public:
  CharacterKind kindOf(char32_t c) const override {
    // Outside the basic plane the class is asked of the surrogate pair.
    wchar_t units[2];
    int count = 1;
    if (c >= 0x10000) {
      units[0] = static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      units[1] = static_cast<wchar_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      count = 2;
    } else {
      units[0] = static_cast<wchar_t>(c);
    }
    WORD type1[2] = {};
    WORD type3[2] = {};
    if (!GetStringTypeW(CT_CTYPE1, units, count, type1) ||
        !GetStringTypeW(CT_CTYPE3, units, count, type3)) {
      return CharacterKind::Other;
    }
    if (type1[0] & C1_ALPHA) return CharacterKind::Letter;
    return (type3[0] & (C3_NONSPACING | C3_DIACRITIC | C3_VOWELMARK)) ? CharacterKind::Mark
                                                                      : CharacterKind::Other;
  }

  const std::vector<std::string>* patternNames() const override { return &paintablePatterns(); }

  std::string_view patternSource() const override { return "the virtual camera"; }
};

}  // namespace

const VirtualCameraPlatform& winVirtualCameraPlatform() {
  static const WinVirtualCameraPlatform platform;
  return platform;
}

}  // namespace kovracam
