#include "capture/win/filter_base/com_enumerators.h"

#include <new>
#include <utility>

#include "capture/win/com_ptr.h"
#include "capture/win/media_type.h"

namespace kovracam {
namespace {

// Counting shared by both enumerators.
template <class Interface>
class Enumerator : public Interface {
 public:
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, __uuidof(Interface))) {
      *ppv = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&m_ref));
  }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG ref = InterlockedDecrement(&m_ref);
    if (ref == 0) delete this;
    return static_cast<ULONG>(ref);
  }
  virtual ~Enumerator() = default;

 protected:
  // Moves the position by up to `count` of `total` items; S_FALSE when fewer were left.
  HRESULT skip(ULONG count, std::size_t total) {
    const std::size_t left = total - m_position;
    const std::size_t step = count < left ? count : left;
    m_position += step;
    return step == count ? S_OK : S_FALSE;
  }
  std::size_t m_position = 0;

 private:
  LONG m_ref = 1;
};

class PinEnumerator final : public Enumerator<IEnumPins> {
 public:
  explicit PinEnumerator(std::vector<ComPtr<IPin>> pins) : m_pins(std::move(pins)) {}
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_position < m_pins.size()) {
      pins[n++] = ComPtr<IPin>(m_pins[m_position]).detach();
      ++m_position;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override { return skip(count, m_pins.size()); }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPins** clone) override {
    if (!clone) return E_POINTER;
    auto* copy = new (std::nothrow) PinEnumerator(m_pins);
    if (!copy) return E_OUTOFMEMORY;
    copy->m_position = m_position;
    *clone = copy;
    return S_OK;
  }

 private:
  std::vector<ComPtr<IPin>> m_pins;
};

class MediaTypeEnumerator final : public Enumerator<IEnumMediaTypes> {
 public:
  explicit MediaTypeEnumerator(std::vector<CaptureFormat> formats)
      : m_formats(std::move(formats)) {}
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_position < m_formats.size()) {
      AM_MEDIA_TYPE* type = newVideoMediaType(m_formats[m_position]);
      if (!type) break;
      types[n++] = type;
      ++m_position;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override { return skip(count, m_formats.size()); }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes** clone) override {
    if (!clone) return E_POINTER;
    auto* copy = new (std::nothrow) MediaTypeEnumerator(m_formats);
    if (!copy) return E_OUTOFMEMORY;
    copy->m_position = m_position;
    *clone = copy;
    return S_OK;
  }

 private:
  std::vector<CaptureFormat> m_formats;
};

}  // namespace

HRESULT createPinEnumerator(IPin* pin, IEnumPins** pins) {
  return createPinEnumerator(std::vector<IPin*>{pin}, pins);
}

HRESULT createPinEnumerator(const std::vector<IPin*>& pins, IEnumPins** enumerator) {
  if (!enumerator) return E_POINTER;
  std::vector<ComPtr<IPin>> held;
  for (IPin* pin : pins) held.emplace_back(pin);
  *enumerator = new (std::nothrow) PinEnumerator(std::move(held));
  return *enumerator ? S_OK : E_OUTOFMEMORY;
}

HRESULT createMediaTypeEnumerator(std::vector<CaptureFormat> formats, IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = new (std::nothrow) MediaTypeEnumerator(std::move(formats));
  return *types ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kovracam
