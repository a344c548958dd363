// The power-line frequency, the processing amplifier's property 13.

#include "capture/win/power_line.h"

#include <optional>

#include "capture/win/com_ptr.h"
#include "capture/win/ks_video_proc_amp.h"

namespace kovracam {
namespace {

constexpr DWORD kPowerLineId = KSPROPERTY_VIDEOPROCAMP_POWERLINE_FREQUENCY;  // 13
constexpr LONG kManualFlags = KSPROPERTY_VIDEOPROCAMP_FLAGS_MANUAL;

struct PowerLineReading {
  LONG value;
  LONG flags;
};

// The kernel-streaming property of the video-processing set, as a UVC camera's driver has it.
std::optional<PowerLineReading> readKsPowerLine(IKsPropertySet* properties) {
  KSPROPERTY_VIDEOPROCAMP_S data{};
  data.Property.Set = kPropSetVideoProcAmp;
  data.Property.Id = kPowerLineId;
  data.Property.Flags = KSPROPERTY_TYPE_GET;
  DWORD returned = 0;
  // The instance data is what follows the KSPROPERTY header.
  const HRESULT hr =
      properties->Get(kPropSetVideoProcAmp, kPowerLineId, &data.Value,
                      sizeof data - sizeof data.Property, &data, sizeof data, &returned);
  if (hr != S_OK) return std::nullopt;
  return PowerLineReading{data.Value, static_cast<LONG>(data.Flags)};
}

HRESULT writeKsPowerLine(IKsPropertySet* properties, LONG value, LONG flags) {
  KSPROPERTY_VIDEOPROCAMP_S data{};
  data.Property.Set = kPropSetVideoProcAmp;
  data.Property.Id = kPowerLineId;
  data.Property.Flags = KSPROPERTY_TYPE_SET;
  data.Value = value;
  data.Flags = static_cast<ULONG>(flags);
  return properties->Set(kPropSetVideoProcAmp, kPowerLineId, &data.Value,
                         sizeof data - sizeof data.Property, &data, sizeof data);
}

// A filter without the property set may still answer IAMVideoProcAmp's number 13.
std::optional<PowerLineReading> readProcAmpPowerLine(IAMVideoProcAmp* amp) {
  LONG value = 0;
  LONG flags = 0;
  if (amp->Get(static_cast<LONG>(kPowerLineId), &value, &flags) != S_OK) return std::nullopt;
  return PowerLineReading{value, flags};
}

}  // namespace

int readPowerLineFrequency(IUnknown* filter) {
  if (!filter) return -1;
  ComPtr<IKsPropertySet> properties;
  if (SUCCEEDED(filter->QueryInterface(IID_IKsPropertySet, properties.putVoid()))) {
    if (const auto reading = readKsPowerLine(properties.get())) return reading->value;
  }
  ComPtr<IAMVideoProcAmp> amp;
  if (FAILED(filter->QueryInterface(IID_IAMVideoProcAmp, amp.putVoid()))) return -1;
  const auto reading = readProcAmpPowerLine(amp.get());
  return reading ? reading->value : -1;
}

// The flags are the camera's current ones; manual when they cannot be read.
void writePowerLineFrequency(IUnknown* filter, int value) {
  if (!filter) return;
  ComPtr<IKsPropertySet> properties;
  if (SUCCEEDED(filter->QueryInterface(IID_IKsPropertySet, properties.putVoid()))) {
    if (const auto reading = readKsPowerLine(properties.get())) {
      writeKsPowerLine(properties.get(), value, reading->flags);  // a refusal shows when read
      return;
    }
  }
  ComPtr<IAMVideoProcAmp> amp;
  if (FAILED(filter->QueryInterface(IID_IAMVideoProcAmp, amp.putVoid()))) return;
  const auto reading = readProcAmpPowerLine(amp.get());
  amp->Set(static_cast<LONG>(kPowerLineId), value, reading ? reading->flags : kManualFlags);
}

}  // namespace kovracam
