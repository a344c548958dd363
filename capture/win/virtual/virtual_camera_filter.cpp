#include <cwchar>
#include <new>
#include <set>

#include "capture/win/virtual/virtual_filter_parts.h"

namespace kovracam {
namespace {

// Our own class id: the filter is never registered, the id only answers IPersist.
constexpr CLSID kClsidVirtualCamera = {
    0x6a3f5e2c, 0x81d4, 0x4b7e, {0x9c, 0x21, 0x5d, 0x0e, 0x47, 0xa3, 0xb9, 0x12}};

// The ids of the cameras that went away by themselves, for every filter of this process.
std::mutex g_lostLock;
std::set<std::string> g_lostCameras;  // guarded by g_lostLock

bool isLost(const std::string& id) {
  std::lock_guard lock(g_lostLock);
  return g_lostCameras.contains(id);
}

}  // namespace

VirtualCameraFilter::VirtualCameraFilter(const VirtualCamera& camera)
    : m_pattern(camera.pattern),
      m_controls(*this, VirtualCameraControls::of(camera)),
      m_id(camera.id),
      m_bBusy(camera.busy),
      m_pin(*this, camera, PinRole::Capture) {
  m_pins.push_back(&m_pin);
  if (camera.previewPin) {
    m_previewPin = std::make_unique<VirtualOutputPin>(*this, camera, PinRole::Preview);
    m_pins.push_back(m_previewPin.get());
  }
  if (camera.stillPin) {
    m_stillPin = std::make_unique<VirtualOutputPin>(*this, camera, PinRole::Still);
    m_pins.push_back(m_stillPin.get());
  }
}

VirtualCameraFilter::~VirtualCameraFilter() = default;

STDMETHODIMP VirtualCameraFilter::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IPersist) ||
      IsEqualIID(riid, IID_IMediaFilter) || IsEqualIID(riid, IID_IBaseFilter)) {
    *ppv = static_cast<IBaseFilter*>(this);
  } else if (IsEqualIID(riid, IID_IAMFilterMiscFlags)) {
    *ppv = static_cast<IAMFilterMiscFlags*>(this);
  } else if (IsEqualIID(riid, IID_IAMVideoProcAmp)) {
    *ppv = static_cast<IAMVideoProcAmp*>(&m_controls);
  } else if (IsEqualIID(riid, IID_IKsPropertySet)) {
    *ppv = static_cast<IKsPropertySet*>(&m_controls);
  } else if (IsEqualIID(riid, IID_ISpecifyPropertyPages)) {
    *ppv = static_cast<ISpecifyPropertyPages*>(&m_controls);
  } else {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

STDMETHODIMP_(ULONG) VirtualCameraFilter::AddRef() { return m_refs.add(); }

STDMETHODIMP_(ULONG) VirtualCameraFilter::Release() { return m_refs.release(this); }

STDMETHODIMP VirtualCameraFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = kClsidVirtualCamera;
  return S_OK;
}

STDMETHODIMP VirtualCameraFilter::Stop() {
  std::lock_guard lock(m_lock);
  if (m_state != State_Stopped) {
    for (VirtualOutputPin* pin : m_pins) pin->inactive();
  }
  m_state = State_Stopped;
  return S_OK;
}

STDMETHODIMP VirtualCameraFilter::Pause() {
  std::lock_guard lock(m_lock);
  if (m_state == State_Stopped) {
    // A camera that went away does not come back for a new graph.
    if (isLost(m_id)) return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
    for (VirtualOutputPin* pin : m_pins) {
      const HRESULT hr = pin->active();
      if (FAILED(hr)) {
        for (VirtualOutputPin* started : m_pins) started->inactive();
        return hr;
      }
    }
  } else if (m_state == State_Running) {
    for (VirtualOutputPin* pin : m_pins) pin->pause();
  }
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP VirtualCameraFilter::Run(REFERENCE_TIME tStart) {
  std::lock_guard lock(m_lock);
  if (m_state == State_Stopped) {
    const HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  if (m_bBusy) {
    // A camera another program holds gets as far as pausing; its stream cannot start, and it
    // lets go of what it took.
    Stop();
    return HRESULT_FROM_WIN32(ERROR_BUSY);
  }
  for (VirtualOutputPin* pin : m_pins) pin->run(tStart, m_clock);
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP VirtualCameraFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  std::lock_guard lock(m_lock);
  *state = m_state;
  // A live source has nothing to show while paused.
  return m_state == State_Paused ? VFW_S_CANT_CUE : S_OK;
}

STDMETHODIMP VirtualCameraFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard lock(m_lock);
  m_clock = ComPtr<IReferenceClock>(clock);
  return S_OK;
}

STDMETHODIMP VirtualCameraFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard lock(m_lock);
  *clock = ComPtr<IReferenceClock>(m_clock).detach();
  return S_OK;
}

STDMETHODIMP VirtualCameraFilter::EnumPins(IEnumPins** pins) {
  return createPinEnumerator(std::vector<IPin*>(m_pins.begin(), m_pins.end()), pins);
}

STDMETHODIMP VirtualCameraFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  *pin = nullptr;
  for (VirtualOutputPin* candidate : m_pins) {
    if (std::wcscmp(id, candidate->name()) == 0) {
      candidate->AddRef();
      *pin = candidate;
      return S_OK;
    }
  }
  return VFW_E_NOT_FOUND;
}

STDMETHODIMP VirtualCameraFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard lock(m_graphLock);
  std::wcsncpy(info->achName, m_name, MAX_FILTER_NAME - 1);
  info->achName[MAX_FILTER_NAME - 1] = L'\0';
  info->pGraph = m_graph;
  if (m_graph) m_graph->AddRef();
  return S_OK;
}

STDMETHODIMP VirtualCameraFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard lock(m_graphLock);
  m_graph = graph;
  m_name[0] = L'\0';
  if (graph && name) {
    std::wcsncpy(m_name, name, MAX_FILTER_NAME - 1);
    m_name[MAX_FILTER_NAME - 1] = L'\0';
  }
  return S_OK;
}

void VirtualCameraFilter::notifyGraph(long eventCode, LONG_PTR param1, LONG_PTR param2) {
  ComPtr<IMediaEventSink> sink;
  {
    std::lock_guard lock(m_graphLock);
    if (m_graph) m_graph->QueryInterface(IID_IMediaEventSink, sink.putVoid());
  }
  if (sink) sink->Notify(eventCode, param1, param2);
}

bool VirtualCameraFilter::unplug() {
  std::lock_guard lock(m_lock);
  if (m_state != State_Running) return false;
  bool unplugged = false;
  for (VirtualOutputPin* pin : m_pins) unplugged = pin->unplug() || unplugged;
  return unplugged;
}

void VirtualCameraFilter::markLost() {
  std::lock_guard lock(g_lostLock);
  g_lostCameras.insert(m_id);
}

HRESULT CreateVirtualCameraFilter(const VirtualCamera& camera, IBaseFilter** filter) {
  if (!filter) return E_POINTER;
  *filter = nullptr;
  if (camera.formats.empty()) return VFW_E_NO_TYPES;
  if (isLost(camera.id)) return HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED);
  auto* created = new (std::nothrow) VirtualCameraFilter(camera);
  if (!created) return E_OUTOFMEMORY;
  *filter = created;
  return S_OK;
}

HRESULT UnplugVirtualCamera(IBaseFilter* filter) {
  if (!filter) return E_POINTER;
  CLSID clsid{};
  if (FAILED(filter->GetClassID(&clsid)) || !IsEqualCLSID(clsid, kClsidVirtualCamera)) {
    return E_INVALIDARG;
  }
  return static_cast<VirtualCameraFilter*>(filter)->unplug() ? S_OK : S_FALSE;
}

}  // namespace kovracam
