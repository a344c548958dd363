// The engine's devices: the system's video-input category, then the virtual cameras.

#include <iostream>

#include "base/utf16.h"
#include "base/win/wide_text.h"
#include "capture/win/video_cap.h"
#include "capture/win/virtual/virtual_camera_filter.h"
#include "capture/win/virtual_camera_file.h"

namespace kovracam {
namespace {

std::string fieldFromWide(const wchar_t* text) { return boundedDeviceField(narrowToUtf8(text)); }

std::wstring wideFromUtf8(const std::string& text, bool* ok) {
  const auto units = utf8ToUtf16(text);
  *ok = units.has_value();
  return units ? std::wstring(units->begin(), units->end()) : std::wstring();
}

// A property of the device's bag as a bounded field; nullopt when it cannot be read.
std::optional<std::string> readProperty(IPropertyBag* bag, const wchar_t* name) {
  VARIANT value;
  VariantInit(&value);
  value.vt = VT_BSTR;
  std::optional<std::string> field;
  if (SUCCEEDED(bag->Read(name, &value, nullptr)) && value.vt == VT_BSTR && value.bstrVal) {
    field = fieldFromWide(value.bstrVal);
  }
  VariantClear(&value);
  return field;
}

DeviceRecord recordOf(IMoniker* moniker) {
  DeviceRecord record;
  LPOLESTR name = nullptr;
  if (SUCCEEDED(moniker->GetDisplayName(nullptr, nullptr, &name)) && name) {
    record.szDisplayName = fieldFromWide(name);
    CoTaskMemFree(name);
  }
  ComPtr<IPropertyBag> bag;
  if (SUCCEEDED(moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.putVoid()))) {
    record.szFriendlyName = readProperty(bag.get(), L"FriendlyName").value_or("");
    record.szDevicePath = readProperty(bag.get(), L"DevicePath").value_or("");
  }
  return record;
}

// The system's devices in its order; S_FALSE for an empty category.
HRESULT enumerateSystemDevices(std::vector<DeviceRecord>& records) {
  ComPtr<ICreateDevEnum> devices;
  HRESULT hr = CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                IID_ICreateDevEnum, devices.putVoid());
  if (FAILED(hr)) return hr;
  ComPtr<IEnumMoniker> monikers;
  hr = devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, monikers.put(), 0);
  if (hr != S_OK) return hr;
  ComPtr<IMoniker> moniker;
  while (records.size() < kMaxListedDevices && monikers->Next(1, moniker.put(), nullptr) == S_OK) {
    DeviceRecord record = recordOf(moniker.get());
    if (!record.szDisplayName.empty()) records.push_back(std::move(record));
  }
  return S_OK;
}

DeviceRecord virtualRecordOf(const VirtualCamera& camera) {
  const std::string displayName = boundedDeviceField(camera.displayName());
  return {displayName, boundedDeviceField(camera.name), displayName};
}

}  // namespace

Status CVideoCap::EnumDevices(DeviceList* list) {
  if (!list) return kInvalidArg;
  std::vector<DeviceRecord> records;
  const HRESULT hr = enumerateSystemDevices(records);
  // A broken system enumerator still leaves the virtual cameras to choose from.
  const std::vector<VirtualCamera> cameras = loadVirtualCamerasFromEnvironment(std::cerr);
  for (const VirtualCamera& camera : cameras) {
    if (records.size() >= kMaxListedDevices) break;
    records.push_back(virtualRecordOf(camera));
  }
  if (records.empty()) return FAILED(hr) ? hr : kNoDevice;
  list->pRecords = std::move(records);
  return kOk;
}

Status CVideoCap::SelectDevice(const std::string& displayName) {
  m_pMoniker.reset();
  m_virtualCamera.reset();
  const std::string prefix = kVirtualDisplayPrefix;
  if (displayName.rfind(prefix, 0) == 0) {
    for (VirtualCamera& camera : loadVirtualCamerasFromEnvironment(std::cerr)) {
      if (camera.displayName() == displayName) {
        m_virtualCamera = std::move(camera);
        return kOk;
      }
    }
    return kDeviceNotFound;
  }
  bool valid = false;
  const std::wstring name = wideFromUtf8(displayName, &valid);
  if (!valid || name.empty()) return kInvalidArg;
  ComPtr<IBindCtx> context;
  HRESULT hr = CreateBindCtx(0, context.put());
  if (FAILED(hr)) return hr;
  ULONG eaten = 0;
  hr = MkParseDisplayName(context.get(), name.c_str(), &eaten, m_pMoniker.put());
  if (FAILED(hr)) m_pMoniker.reset();
  return hr;
}

HRESULT CVideoCap::createSourceFilter(IBaseFilter** source) {
  if (m_virtualCamera) return CreateVirtualCameraFilter(*m_virtualCamera, source);
  if (!m_pMoniker) return kNotBound;
  return m_pMoniker->BindToObject(nullptr, nullptr, IID_IBaseFilter,
                                  reinterpret_cast<void**>(source));
}

}  // namespace kovracam
