#include "capture/device/device_record.h"

#include "base/utf16.h"

namespace kovracam {

std::string boundedDeviceField(const std::string& utf8) {
  return truncateToUtf16Units(utf8, kDeviceFieldUnits);
}

}  // namespace kovracam
