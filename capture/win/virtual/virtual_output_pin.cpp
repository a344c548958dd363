// The virtual camera's output pin: connection, allocator negotiation and the state changes the
// filter passes on.

#include <algorithm>
#include <cstring>
#include <cwchar>

#include "capture/win/virtual/virtual_filter_parts.h"

namespace kovracam {
namespace {

// Enough buffers that the renderer can hold one while the next is filled.
constexpr long kMinBuffers = 3;

bool isComplete(const AM_MEDIA_TYPE& type) {
  return !IsEqualGUID(type.majortype, GUID_NULL) && !IsEqualGUID(type.subtype, GUID_NULL) &&
         !IsEqualGUID(type.formattype, GUID_NULL);
}

// A partial type (GUID_NULL fields) constrains only what it names.
bool admits(const AM_MEDIA_TYPE& partial, const AM_MEDIA_TYPE& offered) {
  auto fits = [](const GUID& wanted, const GUID& have) {
    return IsEqualGUID(wanted, GUID_NULL) || IsEqualGUID(wanted, have);
  };
  return fits(partial.majortype, offered.majortype) && fits(partial.subtype, offered.subtype) &&
         fits(partial.formattype, offered.formattype);
}

}  // namespace

VirtualOutputPin::VirtualOutputPin(VirtualCameraFilter& filter, const VirtualCamera& camera,
                                   PinRole role)
    : m_filter(filter),
      m_camera(camera),
      m_role(role),
      m_streamer(filter, StreamFaults::of(camera)) {
  if (!m_camera.formats.empty()) m_current = m_camera.formats.front();
}

VirtualOutputPin::~VirtualOutputPin() { m_streamer.stop(); }

STDMETHODIMP VirtualOutputPin::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPin)) {
    *ppv = static_cast<IPin*>(this);
  } else if (IsEqualIID(riid, IID_IAMStreamConfig)) {
    *ppv = static_cast<IAMStreamConfig*>(this);
  } else if (IsEqualIID(riid, IID_IKsPropertySet)) {
    *ppv = static_cast<IKsPropertySet*>(this);
  } else if (IsEqualIID(riid, IID_ISpecifyPropertyPages)) {
    *ppv = static_cast<ISpecifyPropertyPages*>(this);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) VirtualOutputPin::AddRef() { return m_filter.AddRef(); }
STDMETHODIMP_(ULONG) VirtualOutputPin::Release() { return m_filter.Release(); }

std::vector<CaptureFormat> VirtualOutputPin::offeredFormats() const {
  if (m_bFormatSet) return {m_current};
  std::vector<CaptureFormat> formats{m_current};
  for (const CaptureFormat& f : m_camera.formats) {
    if (!(f == m_current)) formats.push_back(f);
  }
  return formats;
}

const CaptureFormat* VirtualOutputPin::offeredFormat(const AM_MEDIA_TYPE& type) const {
  const auto wanted = captureFormatOf(type);
  if (!wanted) return nullptr;
  const VIDEOINFOHEADER* info = videoInfoOf(type);
  for (const CaptureFormat& f : m_camera.formats) {
    if (f.subtype != wanted->subtype || f.width != wanted->width ||
        f.height != std::abs(wanted->height)) {
      continue;
    }
    // RGB is offered bottom-up only; 0 as interval means any rate.
    if (f.subtype == Subtype::RGB24 && wanted->height < 0) continue;
    if (info->AvgTimePerFrame != 0 && info->AvgTimePerFrame != frameInterval(f.fps)) continue;
    return &f;
  }
  return nullptr;
}

STDMETHODIMP VirtualOutputPin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  if (m_connected) return VFW_E_ALREADY_CONNECTED;
  if (m_filter.state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (type && isComplete(*type)) {
    const CaptureFormat* format = offeredFormat(*type);
    return format ? tryConnection(receivePin, *format) : VFW_E_TYPE_NOT_ACCEPTED;
  }
  // Like a camera driver, connect in the current format; a partial type may still rule it out.
  const MediaTypePtr current(newVideoMediaType(m_current));
  if (!current) return E_OUTOFMEMORY;
  if (type && !admits(*type, *current)) return VFW_E_NO_ACCEPTABLE_TYPES;
  const HRESULT hr = tryConnection(receivePin, m_current);
  return SUCCEEDED(hr) ? hr : VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT VirtualOutputPin::tryConnection(IPin* receivePin, const CaptureFormat& format) {
  // MJPG frames would need an encoder this camera does not have.
  if (format.subtype == Subtype::MJPG) return VFW_E_TYPE_NOT_ACCEPTED;
  MediaTypePtr type(newVideoMediaType(format));
  if (!type) return E_OUTOFMEMORY;
  HRESULT hr = receivePin->ReceiveConnection(this, type.get());
  if (FAILED(hr)) return hr;
  ComPtr<IMemInputPin> input;
  hr = receivePin->QueryInterface(IID_IMemInputPin, input.putVoid());
  if (SUCCEEDED(hr)) hr = negotiateAllocator(input.get(), *type);
  if (FAILED(hr)) {
    receivePin->Disconnect();
    m_allocator.reset();
    return hr;
  }
  m_connected = ComPtr<IPin>(receivePin);
  m_input = input;
  m_connectionType = std::move(type);
  m_current = format;
  return S_OK;
}

HRESULT VirtualOutputPin::negotiateAllocator(IMemInputPin* input, const AM_MEDIA_TYPE& type) {
  ALLOCATOR_PROPERTIES wanted{};
  input->GetAllocatorRequirements(&wanted);  // optional for the input pin
  wanted.cBuffers = std::max(wanted.cBuffers, kMinBuffers);
  wanted.cbBuffer = std::max(wanted.cbBuffer, static_cast<long>(frameBytes(m_current)));
  if (const VIDEOINFOHEADER* info = videoInfoOf(type)) {
    wanted.cbBuffer = std::max(wanted.cbBuffer, static_cast<long>(info->bmiHeader.biSizeImage));
  }
  wanted.cbAlign = std::max(wanted.cbAlign, 1L);

  // The input pin's own allocator first, then the standard memory allocator.
  for (int attempt = 0; attempt < 2; ++attempt) {
    ComPtr<IMemAllocator> allocator;
    HRESULT hr = attempt == 0
                     ? input->GetAllocator(allocator.put())
                     : CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                        IID_IMemAllocator, allocator.putVoid());
    if (FAILED(hr) || !allocator) continue;
    ALLOCATOR_PROPERTIES actual{};
    hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr) || actual.cbBuffer < wanted.cbBuffer) continue;
    hr = input->NotifyAllocator(allocator.get(), FALSE);
    if (FAILED(hr)) continue;
    m_allocator = allocator;
    return S_OK;
  }
  return VFW_E_NO_ALLOCATOR;
}

STDMETHODIMP VirtualOutputPin::Disconnect() {
  std::lock_guard lock(m_filter.lock());
  if (m_filter.state() != State_Stopped) return VFW_E_NOT_STOPPED;
  if (!m_connected) return S_FALSE;
  if (m_allocator) m_allocator->Decommit();
  m_allocator.reset();
  m_input.reset();
  m_connected.reset();
  m_connectionType.reset();
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  *pin = ComPtr<IPin>(m_connected).detach();
  return *pin ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP VirtualOutputPin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard lock(m_filter.lock());
  if (!m_connectionType) {
    std::memset(type, 0, sizeof *type);
    return VFW_E_NOT_CONNECTED;
  }
  return copyMediaType(*type, *m_connectionType);
}

const wchar_t* VirtualOutputPin::name() const {
  switch (m_role) {
    case PinRole::Preview:
      return L"Preview";
    case PinRole::Still:
      return L"Still";
    case PinRole::Capture:
      break;
  }
  return L"Capture";
}

STDMETHODIMP VirtualOutputPin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = &m_filter;
  m_filter.AddRef();
  info->dir = PINDIR_OUTPUT;
  std::wcsncpy(info->achName, name(), MAX_PIN_NAME - 1);
  info->achName[MAX_PIN_NAME - 1] = L'\0';
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = PINDIR_OUTPUT;
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  const std::size_t bytes = (std::wcslen(name()) + 1) * sizeof(wchar_t);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  std::memcpy(*id, name(), bytes);
  return S_OK;
}

STDMETHODIMP VirtualOutputPin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  const CaptureFormat* format = offeredFormat(*type);
  return format && format->subtype != Subtype::MJPG ? S_OK : S_FALSE;
}

STDMETHODIMP VirtualOutputPin::EnumMediaTypes(IEnumMediaTypes** types) {
  std::lock_guard lock(m_filter.lock());
  return createMediaTypeEnumerator(offeredFormats(), types);
}

HRESULT VirtualOutputPin::active() {
  if (!m_connected) return S_OK;  // an unconnected pin has nothing to stream
  const HRESULT hr = m_allocator->Commit();
  if (FAILED(hr)) return hr;
  if (m_role == PinRole::Still) return S_OK;  // nothing triggers a picture
  return m_streamer.start(m_input, m_connected, m_allocator, m_current);
}

void VirtualOutputPin::run(REFERENCE_TIME tStart, const ComPtr<IReferenceClock>& clock) {
  m_streamer.run(tStart, clock);
}

void VirtualOutputPin::pause() { m_streamer.pause(); }

void VirtualOutputPin::inactive() {
  // Decommitting first releases a streaming thread that waits for a free buffer.
  if (m_allocator) m_allocator->Decommit();
  m_streamer.stop();
}

}  // namespace kovracam
