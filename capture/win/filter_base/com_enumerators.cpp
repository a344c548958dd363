#include "capture/win/filter_base/com_enumerators.h"

#include <new>
#include <utility>

#include "capture/win/com_ptr.h"
#include "capture/win/filter_base/ref_count.h"
#include "capture/win/media_type.h"

namespace kovracam {
namespace {

// An enumerator over a list of items, handing out each as the element `produce` makes of it
// (a counted pin, a newly allocated media type); null from `produce` ends a Next early.
template <class Interface, class Item, class Element, Element* (*produce)(const Item&)>
class ListEnumerator final : public Interface {
 public:
  explicit ListEnumerator(std::vector<Item> items) : m_items(std::move(items)) {}
  virtual ~ListEnumerator() = default;

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
  STDMETHODIMP_(ULONG) AddRef() override { return m_refs.add(); }
  STDMETHODIMP_(ULONG) Release() override { return m_refs.release(this); }

  STDMETHODIMP Next(ULONG count, Element** elements, ULONG* fetched) override {
    if (!elements || (count > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < count && m_position < m_items.size()) {
      Element* element = produce(m_items[m_position]);
      if (!element) break;
      elements[n++] = element;
      ++m_position;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  // Moves the position by up to `count` items; S_FALSE when fewer were left.
  STDMETHODIMP Skip(ULONG count) override {
    const std::size_t left = m_items.size() - m_position;
    const std::size_t step = count < left ? count : left;
    m_position += step;
    return step == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(Interface** clone) override {
    if (!clone) return E_POINTER;
    auto* copy = new (std::nothrow) ListEnumerator(m_items);
    if (!copy) return E_OUTOFMEMORY;
    copy->m_position = m_position;
    *clone = copy;
    return S_OK;
  }

 private:
  RefCount m_refs;
  std::vector<Item> m_items;
  std::size_t m_position = 0;
};

IPin* countedPin(const ComPtr<IPin>& pin) { return ComPtr<IPin>(pin).detach(); }

using PinEnumerator = ListEnumerator<IEnumPins, ComPtr<IPin>, IPin, countedPin>;
using MediaTypeEnumerator =
    ListEnumerator<IEnumMediaTypes, CaptureFormat, AM_MEDIA_TYPE, newVideoMediaType>;

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
