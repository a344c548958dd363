// A build without libpipewire: no daemon is ever asked, so no PipeWire camera is listed.

#include "capture/linux/pipewire/pipewire_cameras.h"

namespace kovracam {

std::string pipeWireIdentity(const PipeWireCamera& camera) {
  return kPipeWireIdentityPrefix + (camera.nodeName.empty() ? camera.busPath : camera.nodeName);
}

std::optional<std::vector<PipeWireCamera>> listPipeWireCameras(std::chrono::milliseconds) {
  return std::nullopt;
}

}  // namespace kovracam
