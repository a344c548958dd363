// The capture pin's page: the formats its IAMStreamConfig offers, the current one selected.
// Choosing one sets it on the pin at once (the pin is not connected while the page shows); the
// frame's OK and Apply set the selected one again.

#include <new>
#include <string>
#include <vector>

#include "base/win/wide_text.h"
#include "capture/win/media_type.h"
#include "capture/win/virtual/property_page.h"
#include "capture/win/virtual/virtual_camera_pages.h"

namespace kovracam {
namespace {

constexpr int kListId = 1200;

std::wstring formatText(const AM_MEDIA_TYPE& type) {
  const auto format = captureFormatOf(type);
  return format ? widenUtf8(describe(*format)) : std::wstring(L"(a format of another kind)");
}

bool sameFormat(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  const auto fa = captureFormatOf(a);
  const auto fb = captureFormatOf(b);
  return fa && fb && *fa == *fb;
}

class StreamFormatPage final : public PropertyPage {
 public:
  StreamFormatPage() : PropertyPage(L"Stream Format", SIZE{340, 170}) {}

 private:
  HRESULT attach(IUnknown* object) override {
    m_config.reset();
    m_formats.clear();
    m_selected = -1;
    if (!object) return S_OK;
    HRESULT hr =
        object->QueryInterface(IID_IAMStreamConfig, reinterpret_cast<void**>(m_config.put()));
    if (FAILED(hr)) return hr;
    int count = 0;
    int capsBytes = 0;
    hr = m_config->GetNumberOfCapabilities(&count, &capsBytes);
    if (FAILED(hr)) return hr;
    std::vector<BYTE> caps(static_cast<std::size_t>(capsBytes > 0 ? capsBytes : 1));
    AM_MEDIA_TYPE* current = nullptr;
    const bool haveCurrent = m_config->GetFormat(&current) == S_OK && current;
    for (int i = 0; i < count; ++i) {
      AM_MEDIA_TYPE* type = nullptr;
      if (m_config->GetStreamCaps(i, &type, caps.data()) != S_OK || !type) continue;
      if (haveCurrent && m_selected < 0 && sameFormat(*type, *current)) {
        m_selected = static_cast<int>(m_formats.size());
      }
      m_formats.emplace_back(type);
    }
    deleteMediaType(current);
    return S_OK;
  }

  void createControls() override {
    addControl(L"STATIC", L"Output format:", SS_LEFT, 12, 12, 200, 18, -1);
    m_list = addControl(L"LISTBOX", L"", WS_TABSTOP | WS_BORDER | WS_VSCROLL | LBS_NOTIFY, 12, 34,
                        316, 124, kListId);
    for (const MediaTypePtr& type : m_formats) {
      SendMessageW(m_list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(formatText(*type).c_str()));
    }
    SendMessageW(m_list, LB_SETCURSEL, static_cast<WPARAM>(m_selected), 0);
  }

  bool onMessage(UINT message, WPARAM wp, LPARAM) override {
    if (message != WM_COMMAND || LOWORD(wp) != kListId || HIWORD(wp) != LBN_SELCHANGE) {
      return false;
    }
    const int chosen = static_cast<int>(SendMessageW(m_list, LB_GETCURSEL, 0, 0));
    if (chosen != m_selected && setFormat(chosen)) {
      m_selected = chosen;
      markDirty();
    } else {
      SendMessageW(m_list, LB_SETCURSEL, static_cast<WPARAM>(m_selected), 0);  // refused
    }
    return true;
  }

  void applyValues() override { setFormat(m_selected); }

  bool setFormat(int index) {
    if (!m_config || index < 0 || static_cast<std::size_t>(index) >= m_formats.size()) {
      return false;
    }
    return m_config->SetFormat(m_formats[static_cast<std::size_t>(index)].get()) == S_OK;
  }

  ComPtr<IAMStreamConfig> m_config;
  std::vector<MediaTypePtr> m_formats;
  int m_selected = -1;
  HWND m_list = nullptr;
};

}  // namespace

HRESULT CreateStreamFormatPage(IPropertyPage** page) {
  if (!page) return E_POINTER;
  *page = new (std::nothrow) StreamFormatPage;
  return *page ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kovracam
