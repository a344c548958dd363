#include "capture/win/graph_pins.h"

namespace kovracam {

ComPtr<IPin> freePin(IBaseFilter* filter, PIN_DIRECTION direction) {
  ComPtr<IEnumPins> pins;
  if (!filter || FAILED(filter->EnumPins(pins.put()))) return {};
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.put(), nullptr) == S_OK) {
    PIN_DIRECTION pinDirection;
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->QueryDirection(&pinDirection)) && pinDirection == direction &&
        pin->ConnectedTo(peer.put()) == VFW_E_NOT_CONNECTED) {
      return pin;
    }
  }
  return {};
}

ComPtr<IPin> pinOfCategory(IBaseFilter* filter, const GUID& category) {
  ComPtr<IEnumPins> pins;
  if (!filter || FAILED(filter->EnumPins(pins.put()))) return {};
  ComPtr<IPin> pin;
  while (pins->Next(1, pin.put(), nullptr) == S_OK) {
    ComPtr<IKsPropertySet> properties;
    GUID pinCategory = GUID_NULL;
    DWORD returned = 0;
    if (SUCCEEDED(pin.as(&properties)) &&
        SUCCEEDED(properties->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0,
                                  &pinCategory, sizeof pinCategory, &returned)) &&
        IsEqualGUID(pinCategory, category)) {
      return pin;
    }
  }
  return {};
}

ComPtr<IBaseFilter> filterOf(IPin* pin) {
  PIN_INFO info{};
  if (!pin || FAILED(pin->QueryPinInfo(&info))) return {};
  return ComPtr<IBaseFilter>::adopt(info.pFilter);
}

bool isFilterOfClass(IBaseFilter* filter, const CLSID& clsid) {
  CLSID actual{};
  return filter && SUCCEEDED(filter->GetClassID(&actual)) && IsEqualCLSID(actual, clsid);
}

void setFormatOfVideoPins(IBaseFilter* source, AM_MEDIA_TYPE& format) {
  for (const GUID* category : {&PIN_CATEGORY_CAPTURE, &PIN_CATEGORY_PREVIEW}) {
    ComPtr<IPin> pin = pinOfCategory(source, *category);
    ComPtr<IAMStreamConfig> config;
    if (pin && SUCCEEDED(pin.as(&config))) config->SetFormat(&format);
  }
}

}  // namespace kovracam
