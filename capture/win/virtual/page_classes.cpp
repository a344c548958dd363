// The virtual cameras' page classes: their ids, their class factories, and their registration
// with COM for this apartment only (CoRegisterClassObject, nothing in the registry).

#include <cstdio>

#include "capture/win/virtual/virtual_camera_pages.h"

namespace kovracam {

const CLSID kClsidProcAmpPage = {
    0xa2ab7100, 0x2f14, 0x4975, {0xa8, 0x2d, 0xb1, 0xe0, 0x11, 0xf6, 0x67, 0x13}};
const CLSID kClsidStreamFormatPage = {
    0x4cef1dbe, 0x0b14, 0x4e66, {0xa0, 0x93, 0xc0, 0xec, 0x48, 0x56, 0x6e, 0xbd}};

namespace {

// A factory lives as long as the program: its count does nothing.
class PageFactory final : public IClassFactory {
 public:
  using Create = HRESULT (*)(IPropertyPage**);
  explicit constexpr PageFactory(Create create) : m_create(create) {}
  virtual ~PageFactory() = default;

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory)) {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    *ppv = static_cast<IClassFactory*>(this);
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    IPropertyPage* page = nullptr;
    const HRESULT hr = m_create(&page);
    if (FAILED(hr)) return hr;
    const HRESULT asked = page->QueryInterface(riid, ppv);
    page->Release();
    return asked;
  }
  STDMETHODIMP LockServer(BOOL) override { return S_OK; }

 private:
  const Create m_create;
};

PageFactory g_procAmpFactory(CreateProcAmpPage);
PageFactory g_streamFormatFactory(CreateStreamFormatPage);

}  // namespace

HRESULT ListOnePage(const CLSID& clsid, CAUUID* pages) {
  if (!pages) return E_POINTER;
  pages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
  if (!pages->pElems) {
    pages->cElems = 0;
    return E_OUTOFMEMORY;
  }
  pages->pElems[0] = clsid;
  pages->cElems = 1;
  return S_OK;
}

VirtualCameraPageClasses::VirtualCameraPageClasses() {
  const struct {
    const CLSID& clsid;
    IClassFactory* factory;
  } classes[] = {{kClsidProcAmpPage, &g_procAmpFactory},
                 {kClsidStreamFormatPage, &g_streamFormatFactory}};
  for (std::size_t i = 0; i < 2; ++i) {
    const HRESULT hr =
        CoRegisterClassObject(classes[i].clsid, classes[i].factory, CLSCTX_INPROC_SERVER,
                              REGCLS_MULTIPLEUSE, &m_cookies[i]);
    if (FAILED(hr)) {
      m_cookies[i] = 0;
      std::fprintf(stderr, "virtual camera: its pages cannot be offered (0x%08lx)\n",
                   static_cast<unsigned long>(hr));
    }
  }
}

VirtualCameraPageClasses::~VirtualCameraPageClasses() {
  for (DWORD cookie : m_cookies) {
    if (cookie) CoRevokeClassObject(cookie);
  }
}

}  // namespace kovracam
