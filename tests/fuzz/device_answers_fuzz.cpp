// What devices answer: the fake kernel serves devices built from the input (capabilities,
// formats, sizes, intervals, controls and menus, links, failing and vanishing nodes) to
// enumeration, format reading and choice, and the controls model.

#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <sstream>

#include "capture/linux/device_enumerator.h"
#include "tests/fuzz/device_reading.h"

using namespace kovracam;

namespace {

// Mostly small numbers, sometimes any.
std::int64_t number(FuzzedDataProvider& in) {
  return in.ConsumeBool() ? in.ConsumeIntegral<std::int64_t>()
                          : in.ConsumeIntegralInRange<std::int64_t>(-4, 300);
}

std::uint32_t u32(FuzzedDataProvider& in) { return in.ConsumeIntegral<std::uint32_t>(); }

FakeFormat format(FuzzedDataProvider& in) {
  FakeFormat f;
  f.pixelFormat = in.ConsumeBool() ? u32(in)
                                   : in.PickValueInArray({V4L2_PIX_FMT_YUYV, V4L2_PIX_FMT_BGR24,
                                                          V4L2_PIX_FMT_MJPEG, V4L2_PIX_FMT_YUV420});
  if (in.ConsumeBool()) f.sizeRange = {u32(in), u32(in), u32(in), u32(in), u32(in), u32(in)};
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) {
    f.sizes.push_back({u32(in), u32(in), {}});
    for (int m = in.ConsumeIntegralInRange(0, 3); m > 0; --m) {
      f.sizes.back().intervals.push_back({u32(in), u32(in)});
    }
    f.rangeIntervals.push_back({u32(in), u32(in)});
  }
  return f;
}

FakeControl control(FuzzedDataProvider& in) {
  FakeControl c;
  c.id = in.ConsumeBool() ? u32(in)
                          : in.PickValueInArray({V4L2_CID_USER_BASE, V4L2_CID_CAMERA_CLASS_BASE}) +
                                in.ConsumeIntegralInRange(0, 40);
  c.name = in.ConsumeRandomLengthString(40);
  c.type = in.ConsumeIntegralInRange<std::uint32_t>(0, 10);
  // The fake steps integer values in 64-bit arithmetic; kernel integer controls are 32-bit.
  const bool narrow = c.type == V4L2_CTRL_TYPE_INTEGER;
  c.minimum = narrow ? in.ConsumeIntegral<std::int32_t>() : number(in);
  c.maximum = narrow ? in.ConsumeIntegral<std::int32_t>() : number(in);
  c.step = narrow ? u32(in) : static_cast<std::uint64_t>(number(in));
  c.defaultValue = number(in);
  c.flags = u32(in);
  for (int n = in.ConsumeIntegralInRange(0, 6); n > 0; --n) {
    c.menu[static_cast<std::uint32_t>(number(in))] = c.type == V4L2_CTRL_TYPE_MENU
                                                         ? in.ConsumeRandomLengthString(40)
                                                         : std::to_string(number(in));
  }
  return c;
}

FakeDevice device(FuzzedDataProvider& in) {
  FakeDevice d;
  d.card = in.ConsumeRandomLengthString(40);
  if (in.ConsumeBool()) std::tie(d.capabilities, d.deviceCaps) = std::pair{u32(in), u32(in)};
  for (int n = in.ConsumeIntegralInRange(0, 4); n > 0; --n) d.formats.push_back(format(in));
  if (in.ConsumeBool()) {
    d.pixelFormat = d.formats.empty() || in.ConsumeBool() ? u32(in) : d.formats[0].pixelFormat;
    std::tie(d.width, d.height, d.interval) =
        std::tuple{u32(in), u32(in), v4l2_fract{u32(in), u32(in)}};
  }
  for (int n = in.ConsumeIntegralInRange(0, 8); n > 0; --n) d.controls.push_back(control(in));
  return d;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  FakeV4l2Io io;
  for (int n = in.ConsumeIntegralInRange(0, 20); n > 0; --n) {
    const std::string name = "video" + std::to_string(in.ConsumeIntegralInRange(0, 30));
    io.addDevice("/dev/" + name, device(in));
    if (in.ConsumeBool())
      io.addLink("/dev/v4l/by-id/" + in.ConsumeRandomLengthString(20), "../../" + name);
    if (in.ConsumeBool()) {
      io.failIoctl("/dev/" + name,
                   in.PickValueInArray({VIDIOC_QUERYCAP, VIDIOC_ENUM_FMT, VIDIOC_ENUM_FRAMESIZES,
                                        VIDIOC_G_FMT, VIDIOC_G_PARM, VIDIOC_QUERY_EXT_CTRL,
                                        VIDIOC_QUERYMENU, VIDIOC_S_CTRL}),
                   in.PickValueInArray({ENOTTY, EINVAL, EIO, ENODEV}),
                   in.ConsumeIntegralInRange(-1, 3));
    }
    if (in.ConsumeBool()) io.vanishAfterIoctls("/dev/" + name, in.ConsumeIntegralInRange(0, 60));
  }

  std::ostringstream diagnostics;
  DeviceList list;
  const Status status = enumerateDevices(io, &list, diagnostics);
  FUZZ_CHECK(list.pRecords.size() <= kMaxListedDevices &&
             (status == kOk) == !list.pRecords.empty());
  for (const DeviceRecord& record : list.pRecords)
    readDevice(io, record, [&] { return number(in); });
  FUZZ_CHECK(io.openFdCount() == 0);  // every descriptor opened was closed again
  return 0;
}
