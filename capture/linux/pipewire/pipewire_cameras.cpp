// One short-lived connection per listing: the registry is read, every video source and its
// output ports are bound for their full properties and their formats, and two round trips
// later the connection goes.

#include "capture/linux/pipewire/pipewire_cameras.h"

#include <pipewire/pipewire.h>
#include <spa/param/param.h>

#include <cstdlib>
#include <cstring>
#include <list>

#include "capture/linux/pipewire/pipewire_session.h"

namespace kovracam {
namespace {

std::string prop(const spa_dict* props, const char* key) {
  const char* value = props ? spa_dict_lookup(props, key) : nullptr;
  return value ? value : "";
}

// A bound node or output port, with what it reported.
struct Bound {
  std::uint32_t nodeId = 0;  // the node's global id (the owning node's, for a port)
  pw_proxy* proxy = nullptr;
  spa_hook listener{};
  bool camera = false;  // a node whose properties say Video/Source, Camera
  PipeWireCamera info;
  std::vector<NodeFormat> formats;
};

struct Listing {
  PipeWireSession* session = nullptr;
  spa_hook registryListener{};
  std::list<Bound> nodes;  // stable addresses for the listeners
  std::list<Bound> ports;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> outputPorts;  // (port id, node id)
};

void onNodeInfo(void* data, const pw_node_info* info) {
  auto* node = static_cast<Bound*>(data);
  if (!info || !(info->change_mask & PW_NODE_CHANGE_MASK_PROPS)) return;
  const spa_dict* props = info->props;
  node->camera = prop(props, PW_KEY_MEDIA_CLASS) == "Video/Source" &&
                 prop(props, PW_KEY_MEDIA_ROLE) == "Camera";
  PipeWireCamera& camera = node->info;
  camera.nodeName = prop(props, PW_KEY_NODE_NAME);
  camera.description = prop(props, PW_KEY_NODE_DESCRIPTION);
  if (camera.description.empty()) camera.description = prop(props, PW_KEY_NODE_NICK);
  if (camera.description.empty()) camera.description = camera.nodeName;
  camera.v4l2Path = prop(props, "api.v4l2.path");
  camera.busPath = prop(props, PW_KEY_DEVICE_BUS_PATH);
  camera.serial = prop(props, PW_KEY_OBJECT_SERIAL);
}

void onParam(void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
             const spa_pod* param) {
  if (id == SPA_PARAM_EnumFormat) appendNodeFormats(param, static_cast<Bound*>(data)->formats);
}

const pw_node_events kNodeEvents = [] {
  pw_node_events events{};
  events.version = PW_VERSION_NODE_EVENTS;
  events.info = onNodeInfo;
  events.param = onParam;
  return events;
}();

const pw_port_events kPortEvents = [] {
  pw_port_events events{};
  events.version = PW_VERSION_PORT_EVENTS;
  events.param = onParam;
  return events;
}();

// Video sources are bound at once; output ports are noted, and bound once every node is known
// (ids are reused, so a port may come before its node): a node made of an adapter offers its
// formats itself, a bare one on its port.
void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
              const spa_dict* props) {
  auto* listing = static_cast<Listing*>(data);
  if (std::strcmp(type, PW_TYPE_INTERFACE_Port) == 0) {
    if (prop(props, PW_KEY_PORT_DIRECTION) != "out") return;
    const std::string node = prop(props, PW_KEY_NODE_ID);
    if (!node.empty()) {
      listing->outputPorts.emplace_back(
          id, static_cast<std::uint32_t>(std::strtoul(node.c_str(), nullptr, 10)));
    }
    return;
  }
  // The class is among the global's own properties; the role is read from the full set.
  if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 ||
      prop(props, PW_KEY_MEDIA_CLASS) != "Video/Source") {
    return;
  }
  auto* proxy = static_cast<pw_proxy*>(pw_registry_bind(
      listing->session->registry(), id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
  if (!proxy) return;
  Bound& node = listing->nodes.emplace_back();
  node.nodeId = id;
  node.proxy = proxy;
  pw_proxy_add_object_listener(proxy, &node.listener, &kNodeEvents, &node);
  pw_node_enum_params(reinterpret_cast<pw_node*>(proxy), 0, SPA_PARAM_EnumFormat, 0, UINT32_MAX,
                      nullptr);
}

void bindPorts(Listing& listing) {
  for (const auto& [portId, nodeId] : listing.outputPorts) {
    bool ours = false;
    for (const Bound& node : listing.nodes) ours = ours || node.nodeId == nodeId;
    if (!ours) continue;
    auto* proxy = static_cast<pw_proxy*>(pw_registry_bind(
        listing.session->registry(), portId, PW_TYPE_INTERFACE_Port, PW_VERSION_PORT, 0));
    if (!proxy) continue;
    Bound& port = listing.ports.emplace_back();
    port.nodeId = nodeId;
    port.proxy = proxy;
    pw_proxy_add_object_listener(proxy, &port.listener, &kPortEvents, &port);
    pw_port_enum_params(reinterpret_cast<pw_port*>(proxy), 0, SPA_PARAM_EnumFormat, 0, UINT32_MAX,
                        nullptr);
  }
}

const pw_registry_events kRegistryEvents = [] {
  pw_registry_events events{};
  events.version = PW_VERSION_REGISTRY_EVENTS;
  events.global = onGlobal;
  return events;
}();

void unbind(std::list<Bound>& bound) {
  for (Bound& b : bound) {
    spa_hook_remove(&b.listener);
    pw_proxy_destroy(b.proxy);
  }
}

}  // namespace

std::string pipeWireIdentity(const PipeWireCamera& camera) {
  return kPipeWireIdentityPrefix + (camera.nodeName.empty() ? camera.busPath : camera.nodeName);
}

std::optional<std::vector<PipeWireCamera>> listPipeWireCameras(std::chrono::milliseconds timeout) {
  const Deadline deadline = std::chrono::steady_clock::now() + timeout;
  auto session = PipeWireSession::connect();
  if (!session) return std::nullopt;
  Listing listing;
  listing.session = session.get();
  pw_registry_add_listener(session->registry(), &listing.registryListener, &kRegistryEvents,
                           &listing);
  std::optional<std::vector<PipeWireCamera>> cameras;
  // First the globals (and the node binds they cause), then the bound objects' answers.
  bool answered = session->roundTrip(deadline);
  if (answered) {
    bindPorts(listing);
    answered = session->roundTrip(deadline);
  }
  if (answered) {
    cameras.emplace();
    for (Bound& node : listing.nodes) {
      if (!node.camera) continue;
      node.info.formats = std::move(node.formats);
      for (Bound& port : listing.ports) {
        if (port.nodeId != node.nodeId) continue;
        node.info.formats.insert(node.info.formats.end(), port.formats.begin(), port.formats.end());
      }
      dropDuplicateLayouts(node.info.formats);
      cameras->push_back(std::move(node.info));
    }
  }
  unbind(listing.ports);
  unbind(listing.nodes);
  spa_hook_remove(&listing.registryListener);
  return cameras;
}

}  // namespace kovracam
