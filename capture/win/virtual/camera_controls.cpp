#include "capture/win/virtual/camera_controls.h"

#include <map>
#include <mutex>
#include <string>

#include "capture/win/dshow_missing.h"

namespace kovracam {
namespace {

// Disabled, 50 Hz, 60 Hz, auto: the values of the kernel-streaming property.
constexpr long kPowerLineMaximum = 3;

long powerLineValue(PowerLineSetting setting) {
  switch (setting) {
    case PowerLineSetting::Hz50:
      return 1;
    case PowerLineSetting::Hz60:
      return 2;
    case PowerLineSetting::Auto:
      return 3;
    case PowerLineSetting::Off:
    case PowerLineSetting::None:
      break;
  }
  return 0;
}

}  // namespace

std::shared_ptr<VirtualCameraControls> VirtualCameraControls::of(const VirtualCamera& camera) {
  static std::mutex lock;
  static std::map<std::string, std::shared_ptr<VirtualCameraControls>> cameras;
  std::lock_guard guard(lock);
  auto& controls = cameras[camera.id];
  if (!controls) controls = std::make_shared<VirtualCameraControls>(camera.powerline);
  return controls;
}

VirtualCameraControls::VirtualCameraControls(PowerLineSetting powerLine)
    : m_bHasPowerLine(powerLine != PowerLineSetting::None),
      m_powerLineDefault(powerLineValue(powerLine)),
      m_powerLine(m_powerLineDefault) {
  for (std::size_t i = 0; i < kPictureRanges.size(); ++i) {
    m_picture[i] = kPictureRanges[i].defaultValue;
  }
}

bool VirtualCameraControls::range(long property, ProcAmpRange* out) const {
  for (const ProcAmpRange& r : kPictureRanges) {
    if (r.property == property) {
      *out = r;
      return true;
    }
  }
  if (m_bHasPowerLine && property == kPowerLineProperty) {
    *out = {kPowerLineProperty, 0, kPowerLineMaximum, 1, m_powerLineDefault};
    return true;
  }
  return false;
}

bool VirtualCameraControls::get(long property, long* value) const {
  for (std::size_t i = 0; i < kPictureRanges.size(); ++i) {
    if (kPictureRanges[i].property == property) {
      *value = m_picture[i].load();
      return true;
    }
  }
  if (m_bHasPowerLine && property == kPowerLineProperty) {
    *value = m_powerLine.load();
    return true;
  }
  return false;
}

HRESULT VirtualCameraControls::set(long property, long value) {
  ProcAmpRange r{};
  if (!range(property, &r)) return E_PROP_ID_UNSUPPORTED;
  if (value < r.minimum || value > r.maximum) return E_INVALIDARG;
  if (property == kPowerLineProperty) {
    m_powerLine.store(value);
    return S_OK;
  }
  for (std::size_t i = 0; i < kPictureRanges.size(); ++i) {
    if (kPictureRanges[i].property == property) m_picture[i].store(value);
  }
  return S_OK;
}

PictureBalance VirtualCameraControls::balance() const {
  return PictureBalance{
      static_cast<int>(m_picture[0].load()), static_cast<int>(m_picture[1].load()),
      static_cast<int>(m_picture[2].load()), static_cast<int>(m_picture[3].load())};
}

}  // namespace kovracam
