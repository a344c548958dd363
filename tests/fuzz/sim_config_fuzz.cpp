// The simulated cameras' file: any text. Every line is either a camera or one diagnostic line,
// and every camera it accepts, served to the app, is listed and has a format the app can preview.

#include <algorithm>
#include <set>
#include <sstream>

#include "capture/linux/device_enumerator.h"
#include "capture/virtual/config_fields.h"
#include "tests/fuzz/device_reading.h"
#include "tools/v4l2sim/sim_config.h"

using namespace kovracam;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::istringstream in(text);
  std::ostringstream diagnostics;
  const auto nodes = v4l2sim::parseSimConfig(in, "fuzz", diagnostics);

  std::istringstream again(text);
  long candidates = 0;
  for (std::string line; std::getline(again, line);) {
    const auto trimmed = trimConfigText(line);
    candidates += !trimmed.empty() && trimmed.front() != '#';
  }
  const std::string said = diagnostics.str();
  FUZZ_CHECK(static_cast<long>(nodes.size()) + std::count(said.begin(), said.end(), '\n') ==
             candidates);

  FakeV4l2Io io;
  std::set<unsigned> numbers;
  for (const v4l2sim::NodeConfig& node : nodes) {
    FUZZ_CHECK(numbers.insert(node.number).second && !node.device.formats.empty());
    const std::string path = "/dev/video" + std::to_string(node.number);
    io.addDevice(path, node.device);
    if (!node.byId.empty()) io.addLink("/dev/v4l/by-id/" + node.byId, path);
    if (!node.byPath.empty()) io.addLink("/dev/v4l/by-path/" + node.byPath, path);
  }
  DeviceList list;
  std::ostringstream none;
  enumerateDevices(io, &list, none);
  FUZZ_CHECK(list.pRecords.size() == std::min<std::size_t>(nodes.size(), kMaxListedDevices));
  std::int64_t value = 0;
  for (const DeviceRecord& record : list.pRecords) {
    FUZZ_CHECK(readDevice(io, record, [&] { return value++ % 300 - 100; }).has_value());
  }
  FUZZ_CHECK(io.openFdCount() == 0);
  return 0;
}
