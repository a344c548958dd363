// The processing amplifier's page: a slider for each picture control the filter's
// IAMVideoProcAmp offers, with its value beside it. A change takes effect as the slider moves,
// as a camera driver's page does; the frame's OK and Apply put the values once more.

#include <array>
#include <new>
#include <string>

#include "capture/win/virtual/property_page.h"
#include "capture/win/virtual/virtual_camera_pages.h"
// After windows.h, which the headers above bring.
#include <commctrl.h>

namespace kovracam {
namespace {

struct PictureControl {
  long property;
  const wchar_t* label;
};

constexpr std::array<PictureControl, 4> kControls{{{VideoProcAmp_Brightness, L"Brightness"},
                                                   {VideoProcAmp_Contrast, L"Contrast"},
                                                   {VideoProcAmp_Hue, L"Hue"},
                                                   {VideoProcAmp_Saturation, L"Saturation"}}};

constexpr int kFirstSliderId = 1100;
constexpr int kRowHeight = 36;
constexpr int kTop = 14;

class ProcAmpPage final : public PropertyPage {
 public:
  ProcAmpPage() : PropertyPage(L"Video Proc Amp", SIZE{340, 170}) {}

 private:
  struct Row {
    bool available = false;
    LONG minimum = 0;
    LONG maximum = 0;
    LONG step = 1;
    HWND slider = nullptr;
    HWND value = nullptr;
  };

  HRESULT attach(IUnknown* object) override {
    m_amp.reset();
    if (!object) return S_OK;
    const HRESULT hr =
        object->QueryInterface(IID_IAMVideoProcAmp, reinterpret_cast<void**>(m_amp.put()));
    if (FAILED(hr)) return hr;
    for (std::size_t i = 0; i < kControls.size(); ++i) {
      Row& row = m_rows[i];
      LONG defaultValue = 0;
      LONG caps = 0;
      row.available = m_amp->GetRange(kControls[i].property, &row.minimum, &row.maximum, &row.step,
                                      &defaultValue, &caps) == S_OK &&
                      row.minimum < row.maximum;
    }
    return S_OK;
  }

  void createControls() override {
    for (std::size_t i = 0; i < kControls.size(); ++i) {
      Row& row = m_rows[i];
      const int y = kTop + static_cast<int>(i) * kRowHeight;
      addControl(L"STATIC", kControls[i].label, SS_LEFT, 12, y + 6, 80, 18, -1);
      row.slider = addControl(TRACKBAR_CLASSW, L"", WS_TABSTOP | TBS_HORZ | TBS_NOTICKS, 96, y, 180,
                              28, kFirstSliderId + static_cast<int>(i));
      row.value = addControl(L"STATIC", L"", SS_RIGHT, 280, y + 6, 44, 18, -1);
      LONG current = 0;
      LONG flags = 0;
      const bool readable =
          row.available && m_amp && m_amp->Get(kControls[i].property, &current, &flags) == S_OK;
      EnableWindow(row.slider, readable);
      if (!readable) continue;
      SendMessageW(row.slider, TBM_SETRANGEMIN, TRUE, row.minimum);
      SendMessageW(row.slider, TBM_SETRANGEMAX, TRUE, row.maximum);
      SendMessageW(row.slider, TBM_SETLINESIZE, 0, row.step > 0 ? row.step : 1);
      SendMessageW(row.slider, TBM_SETPAGESIZE, 0, (row.maximum - row.minimum) / 10);
      // By way of another position: Wine's slider places its thumb anew only when the
      // position changes, and the range may have moved under an unchanged one.
      SendMessageW(row.slider, TBM_SETPOS, TRUE,
                   current == row.minimum ? row.maximum : row.minimum);
      SendMessageW(row.slider, TBM_SETPOS, TRUE, current);
      showValue(row, current);
    }
  }

  bool onMessage(UINT message, WPARAM, LPARAM lp) override {
    if (message != WM_HSCROLL || !lp) return false;
    for (std::size_t i = 0; i < kControls.size(); ++i) {
      Row& row = m_rows[i];
      if (row.slider != reinterpret_cast<HWND>(lp)) continue;
      const auto value = static_cast<LONG>(SendMessageW(row.slider, TBM_GETPOS, 0, 0));
      if (m_amp) m_amp->Set(kControls[i].property, value, VideoProcAmp_Flags_Manual);
      showValue(row, value);
      markDirty();
      return true;
    }
    return false;
  }

  void applyValues() override {
    if (!m_amp) return;
    for (std::size_t i = 0; i < kControls.size(); ++i) {
      const Row& row = m_rows[i];
      if (!row.slider || !IsWindowEnabled(row.slider)) continue;
      const auto value = static_cast<LONG>(SendMessageW(row.slider, TBM_GETPOS, 0, 0));
      m_amp->Set(kControls[i].property, value, VideoProcAmp_Flags_Manual);
    }
  }

  static void showValue(const Row& row, LONG value) {
    SetWindowTextW(row.value, std::to_wstring(value).c_str());
  }

  ComPtr<IAMVideoProcAmp> m_amp;
  std::array<Row, kControls.size()> m_rows{};
};

}  // namespace

HRESULT CreateProcAmpPage(IPropertyPage** page) {
  if (!page) return E_POINTER;
  *page = new (std::nothrow) ProcAmpPage;
  return *page ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kovracam
