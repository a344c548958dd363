// The virtual-camera file: any text. Each camera accepted is well-formed, and a line written
// back from it parses to the same camera.

#include <gst/gst.h>

#include <cstdint>
#include <set>
#include <sstream>

#include "base/utf16.h"
#include "capture/device/device_record.h"
#include "capture/linux/virtual/gst_camera_platform.h"
#include "capture/virtual/virtual_camera_config.h"
#include "tests/fuzz/fuzz_check.h"

using namespace kovracam;

namespace {

// The rate as an exact decimal: a parsed rate's denominator divides 10^6.
std::string exactRate(const FrameRate& fps) {
  const long long micro = static_cast<long long>(fps.num) * (1000000 / fps.den);
  std::string fraction = std::to_string(1000000 + micro % 1000000).substr(1);
  return std::to_string(micro / 1000000) + "." + fraction;
}

std::string lineOf(const VirtualCamera& camera) {
  const char* powerline[] = {"none", "off", "50", "60", "auto"};
  std::string line = "id=" + camera.id + "; name=" + camera.name + "; pattern=" + camera.pattern +
                     "; powerline=" + powerline[static_cast<int>(camera.powerline)] + "; formats=";
  for (const CaptureFormat& f : camera.formats) {
    line += std::string(subtypeName(f.subtype)) + " " + std::to_string(f.width) + "x" +
            std::to_string(f.height) + "@" + exactRate(f.fps) + ",";
  }
  line.back() = '\n';
  return line;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  gst_init(argc, argv);  // so that patterns are checked against videotestsrc's
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::ostringstream diagnostics;
  const auto cameras = parseVirtualCameras(in, "fuzz", diagnostics, gstVirtualCameraPlatform());

  std::set<std::string> ids;
  for (const VirtualCamera& camera : cameras) {
    FUZZ_CHECK(ids.insert(camera.id).second && !camera.name.empty() && !camera.formats.empty());
    FUZZ_CHECK(utf16Length(camera.displayName()) <= kDeviceFieldUnits && utf8ToUtf16(camera.name));
    for (const CaptureFormat& f : camera.formats) {
      FUZZ_CHECK(f.width >= 1 && f.width <= 8192 && f.height >= 1 && f.height <= 8192 &&
                 f.fps.den > 0 && 1000000 % f.fps.den == 0 && f.fps.num > 0 &&
                 f.fps.value() <= 1000);
    }
    std::istringstream again(lineOf(camera));
    std::ostringstream none;
    const auto reread = parseVirtualCameras(again, "again", none, gstVirtualCameraPlatform());
    FUZZ_CHECK(none.str().empty() && reread.size() == 1);
    const VirtualCamera& back = reread.front();
    FUZZ_CHECK(back.id == camera.id && back.name == camera.name && back.formats == camera.formats &&
               back.pattern == camera.pattern && back.powerline == camera.powerline);
  }
  return 0;
}
