#pragma once
// The cameras a PipeWire daemon offers: its nodes of class Video/Source with the role Camera,
// the ones the desktop's camera portal counts.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "capture/linux/pipewire/node_formats.h"

namespace kovracam {

struct PipeWireCamera {
  std::string nodeName;     // node.name: chosen by the session manager from the port, stable
  std::string description;  // node.description (else node.nick, else node.name)
  std::string v4l2Path;     // api.v4l2.path: the V4L2 node behind it; empty for others
  std::string busPath;      // device.bus-path when the node has it
  std::string serial;       // object.serial: names the node for this daemon's lifetime only
  std::vector<NodeFormat> formats;  // in the node's order; the first is its default
};

// How long a listing may wait for the daemon to answer.
inline constexpr std::chrono::milliseconds kPipeWireAnswerTimeout{1500};

// The daemon's cameras in the order it created them; nullopt when no daemon answers in time
// (none running, or the socket of PIPEWIRE_REMOTE / XDG_RUNTIME_DIR leads nowhere).
std::optional<std::vector<PipeWireCamera>> listPipeWireCameras(
    std::chrono::milliseconds timeout = kPipeWireAnswerTimeout);

// The identity a PipeWire camera is remembered by: "pipewire:" + node.name, or the bus path
// when the node has no name.
std::string pipeWireIdentity(const PipeWireCamera& camera);
inline constexpr const char* kPipeWireIdentityPrefix = "pipewire:";

}  // namespace kovracam
