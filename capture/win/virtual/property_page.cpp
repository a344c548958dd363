#include "capture/win/virtual/property_page.h"
// After windows.h, which the header above brings.
#include <commctrl.h>

#include <cstring>

namespace kovracam {
namespace {

constexpr wchar_t kPageClass[] = L"KovracamPropertyPage";

bool registerPageClass(WNDPROC proc) {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = proc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  windowClass.lpszClassName = kPageClass;
  return RegisterClassW(&windowClass) || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

}  // namespace

PropertyPage::~PropertyPage() {
  if (m_hWnd) DestroyWindow(m_hWnd);
}

STDMETHODIMP PropertyPage::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IPropertyPage)) {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  *ppv = static_cast<IPropertyPage*>(this);
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) PropertyPage::AddRef() { return m_refs.add(); }

STDMETHODIMP_(ULONG) PropertyPage::Release() { return m_refs.release(this); }

STDMETHODIMP PropertyPage::SetPageSite(IPropertyPageSite* site) {
  m_site = ComPtr<IPropertyPageSite>(site);
  return S_OK;
}

STDMETHODIMP PropertyPage::Activate(HWND parent, LPCRECT rect, BOOL) {
  if (!rect) return E_POINTER;
  if (m_hWnd) return E_UNEXPECTED;
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  if (!registerPageClass(windowProc)) return HRESULT_FROM_WIN32(GetLastError());
  m_font = reinterpret_cast<HFONT>(SendMessageW(parent, WM_GETFONT, 0, 0));
  if (!m_font) m_font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  // A control parent: the frame's dialog keys (Tab, arrows) reach the controls inside.
  m_hWnd =
      CreateWindowExW(WS_EX_CONTROLPARENT, kPageClass, m_title.c_str(), WS_CHILD | WS_CLIPSIBLINGS,
                      rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
                      parent, nullptr, GetModuleHandleW(nullptr), this);
  if (!m_hWnd) return HRESULT_FROM_WIN32(GetLastError());
  createControls();
  return S_OK;
}

STDMETHODIMP PropertyPage::Deactivate() {
  if (m_hWnd) DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
  return S_OK;
}

STDMETHODIMP PropertyPage::GetPageInfo(PROPPAGEINFO* info) {
  if (!info) return E_POINTER;
  const std::size_t bytes = (m_title.size() + 1) * sizeof(wchar_t);
  auto* title = static_cast<wchar_t*>(CoTaskMemAlloc(bytes));
  if (!title) return E_OUTOFMEMORY;
  std::memcpy(title, m_title.c_str(), bytes);
  info->cb = sizeof *info;
  info->pszTitle = title;
  info->size = m_size;
  info->pszDocString = nullptr;
  info->pszHelpFile = nullptr;
  info->dwHelpContext = 0;
  return S_OK;
}

STDMETHODIMP PropertyPage::SetObjects(ULONG count, IUnknown** objects) {
  if (count == 0) return attach(nullptr);
  if (!objects || !objects[0]) return E_POINTER;
  return attach(objects[0]);
}

STDMETHODIMP PropertyPage::Show(UINT command) {
  if (!m_hWnd) return E_UNEXPECTED;
  ShowWindow(m_hWnd, static_cast<int>(command));
  // The keyboard starts on the page's first control, as in a dialog.
  if (command != SW_HIDE) {
    if (HWND first = GetNextDlgTabItem(m_hWnd, nullptr, FALSE)) SetFocus(first);
  }
  return S_OK;
}

STDMETHODIMP PropertyPage::Move(LPCRECT rect) {
  if (!rect) return E_POINTER;
  if (!m_hWnd) return E_UNEXPECTED;
  MoveWindow(m_hWnd, rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top,
             TRUE);
  return S_OK;
}

STDMETHODIMP PropertyPage::Apply() {
  applyValues();
  m_bDirty = false;
  return S_OK;
}

HWND PropertyPage::addControl(const wchar_t* windowClass, const wchar_t* text, DWORD style, int x,
                              int y, int width, int height, int id) {
  HWND control = CreateWindowExW(0, windowClass, text, WS_CHILD | WS_VISIBLE | style, x, y, width,
                                 height, m_hWnd, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                 GetModuleHandleW(nullptr), nullptr);
  if (control) SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(m_font), FALSE);
  return control;
}

void PropertyPage::markDirty() {
  m_bDirty = true;
  if (m_site) m_site->OnStatusChange(PROPPAGESTATUS_DIRTY);
}

LRESULT CALLBACK PropertyPage::windowProc(HWND window, UINT message, WPARAM wp, LPARAM lp) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* page = reinterpret_cast<PropertyPage*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (page && page->m_hWnd == window) page->m_hWnd = nullptr;
  } else if (page && page->m_hWnd == window && page->onMessage(message, wp, lp)) {
    return 0;
  }
  return DefWindowProcW(window, message, wp, lp);
}

}  // namespace kovracam
