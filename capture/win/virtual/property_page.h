#pragma once
// What every page of ours shares: the IPropertyPage protocol around a child window that holds
// the page's controls. A page object is counted; its window exists between Activate and
// Deactivate.

#include <string>

#include "capture/win/com_ptr.h"
#include "capture/win/dshow_missing.h"
#include "capture/win/filter_base/ref_count.h"

namespace kovracam {

class PropertyPage : public IPropertyPage {
 public:
  virtual ~PropertyPage();

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
  STDMETHODIMP_(ULONG) AddRef() override;
  STDMETHODIMP_(ULONG) Release() override;

  STDMETHODIMP SetPageSite(IPropertyPageSite* site) override;
  STDMETHODIMP Activate(HWND parent, LPCRECT rect, BOOL modal) override;
  STDMETHODIMP Deactivate() override;
  STDMETHODIMP GetPageInfo(PROPPAGEINFO* info) override;
  STDMETHODIMP SetObjects(ULONG count, IUnknown** objects) override;
  STDMETHODIMP Show(UINT command) override;
  STDMETHODIMP Move(LPCRECT rect) override;
  STDMETHODIMP IsPageDirty() override { return m_bDirty ? S_OK : S_FALSE; }
  STDMETHODIMP Apply() override;
  STDMETHODIMP Help(LPCOLESTR) override { return E_NOTIMPL; }
  STDMETHODIMP TranslateAccelerator(MSG*) override { return S_FALSE; }

 protected:
  PropertyPage(std::wstring title, SIZE size) : m_title(std::move(title)), m_size(size) {}

  // The object the page shows, or null when the frame lets go of it.
  virtual HRESULT attach(IUnknown* object) = 0;
  // Called once the page's window exists.
  virtual void createControls() = 0;
  // Messages of the page's window that concern its controls; true when handled.
  virtual bool onMessage(UINT message, WPARAM wp, LPARAM lp) = 0;
  // Puts the page's values into the object again (the frame's OK and Apply).
  virtual void applyValues() = 0;

  // A control on the page, in the frame's font.
  HWND addControl(const wchar_t* windowClass, const wchar_t* text, DWORD style, int x, int y,
                  int width, int height, int id);
  // A change took effect: the frame's Apply may show it.
  void markDirty();
  HWND window() const { return m_hWnd; }

 private:
  static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp);

  RefCount m_refs;
  const std::wstring m_title;
  const SIZE m_size;
  ComPtr<IPropertyPageSite> m_site;
  HWND m_hWnd = nullptr;
  HFONT m_font = nullptr;  // the frame's, not ours
  bool m_bDirty = false;
};

}  // namespace kovracam
