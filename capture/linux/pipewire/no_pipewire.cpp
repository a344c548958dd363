// A build without libpipewire: no daemon is ever asked, so no PipeWire camera is listed.

#include "capture/linux/pipewire/node_watch.h"
#include "capture/linux/pipewire/pipewire_cameras.h"
#include "capture/linux/pipewire/pipewire_controls.h"

namespace kovracam {

std::string pipeWireIdentity(const PipeWireCamera& camera) {
  return kPipeWireIdentityPrefix + (camera.nodeName.empty() ? camera.busPath : camera.nodeName);
}

std::optional<std::vector<PipeWireCamera>> listPipeWireCameras(std::chrono::milliseconds) {
  return std::nullopt;
}

std::unique_ptr<DeviceControls> openPipeWireControls(const std::string&) { return nullptr; }

struct NodeWatch::State {};
NodeWatch::~NodeWatch() = default;
std::unique_ptr<NodeWatch> NodeWatch::start(const std::string&, std::function<void()>) {
  return nullptr;
}

}  // namespace kovracam
