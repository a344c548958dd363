// Device enumeration: the cameras a PipeWire daemon offers, then the V4L2 capture nodes under
// /dev in node order that PipeWire does not already offer, then the virtual cameras.

#include "capture/linux/device_enumerator.h"

#include <fcntl.h>
#include <linux/videodev2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "base/utf16.h"
#include "capture/linux/pipewire/pipewire_capture_device.h"
#include "capture/linux/pipewire/pipewire_source.h"
#include "capture/linux/v4l2/v4l2_capture_device.h"
#include "capture/linux/virtual/virtual_camera_file.h"
#include "capture/linux/virtual/virtual_capture_device.h"

namespace kovracam {
namespace {

constexpr const char* kDevDir = "/dev";
constexpr const char* kByIdDir = "/dev/v4l/by-id";
constexpr const char* kByPathDir = "/dev/v4l/by-path";

struct FoundDevice {
  DeviceRecord record;
  std::optional<VirtualCamera> camera;     // set for a virtual camera
  std::optional<PipeWireCamera> pipeWire;  // set for a PipeWire camera
};

// N for a "videoN" entry; nullopt for every other name.
std::optional<unsigned long> videoNodeNumber(const std::string& name) {
  constexpr std::string_view kPrefix = "video";
  if (name.size() <= kPrefix.size() || name.size() > kPrefix.size() + 9 ||
      name.compare(0, kPrefix.size(), kPrefix) != 0) {
    return std::nullopt;
  }
  const std::string digits = name.substr(kPrefix.size());
  if (!std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  return std::stoul(digits);
}

// Drivers cut the card name to 31 bytes, sometimes inside a character; drop such a tail.
std::string cardText(const v4l2_capability& cap) {
  const char* card = reinterpret_cast<const char*>(cap.card);
  std::string text(card, strnlen(card, sizeof cap.card));
  for (int cut = 0; cut < 3 && !text.empty() && !utf8ToUtf16(text); ++cut) text.pop_back();
  return utf8ToUtf16(text) ? text : std::string(card, strnlen(card, sizeof cap.card));
}

// Whether the node delivers single-plane video frames. Metadata and touch nodes, outputs and
// memory-to-memory devices are left out; so is a node without a capture format, which some
// drivers register next to the real one.
bool capturesVideo(V4l2Io& io, int fd, const v4l2_capability& cap) {
  const std::uint32_t caps =
      (cap.capabilities & V4L2_CAP_DEVICE_CAPS) ? cap.device_caps : cap.capabilities;
  if (!(caps & V4L2_CAP_VIDEO_CAPTURE) || (caps & (V4L2_CAP_VIDEO_OUTPUT | V4L2_CAP_TOUCH))) {
    return false;
  }
  v4l2_fmtdesc desc{};
  desc.index = 0;
  desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  return io.ioctl(fd, VIDIOC_ENUM_FMT, &desc) == 0;
}

// The card name of a video-capture node; nullopt for any other node or one that cannot be asked.
std::optional<std::string> probeNode(V4l2Io& io, const std::string& node,
                                     std::ostream& diagnostics) {
  ScopedFd fd(io, io.open(node, O_RDWR | O_NONBLOCK));
  if (!fd.valid()) {
    // A node that vanished since the listing is simply unplugged; anything else, such as
    // missing permission, is worth a line.
    if (errno != ENOENT && errno != ENODEV && errno != ENXIO) {
      diagnostics << "kovracam: cannot open " << node << ": "
                  << std::generic_category().message(errno) << "\n";
    }
    return std::nullopt;
  }
  v4l2_capability cap{};
  if (io.ioctl(fd.get(), VIDIOC_QUERYCAP, &cap) != 0) return std::nullopt;
  if (!capturesVideo(io, fd.get(), cap)) return std::nullopt;
  return cardText(cap);
}

// For each node a link in `dir` names, the first such link in sorted order.
std::map<std::string, std::string> linksByNode(V4l2Io& io, const std::string& dir) {
  std::map<std::string, std::string> links;
  const auto names = io.listDirectory(dir);
  if (!names) return links;
  for (const auto& name : *names) {
    const std::string link = dir + "/" + name;
    if (const auto node = io.resolveLink(link)) links.emplace(*node, link);
  }
  return links;
}

// `held`: the nodes (resolved) that PipeWire offers already; they are neither listed nor opened.
std::vector<FoundDevice> findRealDevices(V4l2Io& io, std::ostream& diagnostics,
                                         const std::set<std::string>& held) {
  std::vector<std::pair<unsigned long, std::string>> nodes;
  if (const auto names = io.listDirectory(kDevDir)) {
    for (const auto& name : *names) {
      if (const auto number = videoNodeNumber(name)) {
        nodes.emplace_back(*number, std::string(kDevDir) + "/" + name);
      }
    }
  }
  // The listing is sorted by name, which puts video10 before video2.
  std::sort(nodes.begin(), nodes.end());

  const auto byId = linksByNode(io, kByIdDir);
  const auto byPath = linksByNode(io, kByPathDir);
  std::vector<FoundDevice> found;
  for (const auto& [number, node] : nodes) {
    const std::string real = io.resolveLink(node).value_or(node);
    if (held.count(real)) continue;
    const auto card = probeNode(io, node, diagnostics);
    if (!card) continue;
    // The udev links survive replugging and renumbering; the node name does not.
    std::string displayName = node;
    if (auto link = byId.find(real); link != byId.end()) {
      displayName = link->second;
    } else if (auto path = byPath.find(real); path != byPath.end()) {
      displayName = path->second;
    }
    found.push_back(
        {{boundedDeviceField(displayName), boundedDeviceField(*card), boundedDeviceField(node)},
         std::nullopt,
         std::nullopt});
  }
  return found;
}

std::vector<FoundDevice> findDevices(V4l2Io& io, std::ostream& diagnostics) {
  std::vector<FoundDevice> found;
  std::set<std::string> held;
  std::optional<std::vector<PipeWireCamera>> cameras;
  if (pipeWireSourceAvailable()) cameras = listPipeWireCameras();
  if (cameras) {
    for (auto& camera : *cameras) {
      if (!camera.v4l2Path.empty())
        held.insert(io.resolveLink(camera.v4l2Path).value_or(camera.v4l2Path));
      found.push_back({pipeWireDeviceRecord(camera), std::nullopt, std::move(camera)});
    }
  }
  for (auto& device : findRealDevices(io, diagnostics, held)) found.push_back(std::move(device));
  for (auto& camera : loadVirtualCameras(diagnostics)) {
    const DeviceRecord record = virtualDeviceRecord(camera);
    found.push_back(
        {{boundedDeviceField(record.szDisplayName), boundedDeviceField(record.szFriendlyName),
          boundedDeviceField(record.szDevicePath)},
         std::move(camera),
         std::nullopt});
  }
  return found;
}

}  // namespace

Status enumerateDevices(V4l2Io& io, DeviceList* list, std::ostream& diagnostics) {
  if (!list) return kInvalidArg;
  list->clear();
  std::vector<FoundDevice> found = findDevices(io, diagnostics);
  // The Device menu has command ids for kMaxListedDevices cameras and no more.
  if (found.size() > kMaxListedDevices) {
    const std::size_t leftOut = found.size() - kMaxListedDevices;
    diagnostics << "kovracam: " << found.size() << " video devices found; " << leftOut
                << (leftOut == 1 ? " was" : " were") << " left out, the Device menu lists at most "
                << kMaxListedDevices << "\n";
    found.resize(kMaxListedDevices);
  }
  for (auto& device : found) list->pRecords.push_back(std::move(device.record));
  return list->pRecords.empty() ? kNoDevice : kOk;
}

std::unique_ptr<CaptureDevice> resolveDevice(V4l2Io& io, const std::string& displayName,
                                             std::ostream& diagnostics) {
  // Every present device counts here, not only the listed ones: a name saved when fewer
  // cameras were plugged in still binds.
  for (auto& device : findDevices(io, diagnostics)) {
    if (device.record.szDisplayName != displayName) continue;
    if (device.camera) return makeVirtualCaptureDevice(*device.camera);
    if (device.pipeWire) return makePipeWireCaptureDevice(io, std::move(*device.pipeWire));
    return makeV4l2CaptureDevice(io, std::move(device.record));
  }
  return nullptr;
}

std::optional<std::size_t> findFormerDeviceChoice(V4l2Io& io, const DeviceList& devices,
                                                  const std::string& stored) {
  // A V4L2 camera was remembered by its udev link (or node); PipeWire now offers that node.
  if (stored.rfind("/dev/", 0) != 0) return std::nullopt;
  const auto node = io.resolveLink(stored);
  if (!node) return std::nullopt;
  for (std::size_t i = 0; i < devices.pRecords.size(); ++i) {
    const DeviceRecord& record = devices.pRecords[i];
    if (record.szDisplayName.rfind(kPipeWireIdentityPrefix, 0) != 0) continue;
    if (record.szDevicePath.rfind("/dev/", 0) != 0) continue;
    if (io.resolveLink(record.szDevicePath).value_or(record.szDevicePath) == *node) return i;
  }
  return std::nullopt;
}

}  // namespace kovracam
