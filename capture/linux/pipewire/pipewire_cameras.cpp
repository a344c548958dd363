// One short-lived connection per listing: the registry is read, every video source is bound
// for its full properties and its formats, and two round trips later the connection goes.

#include "capture/linux/pipewire/pipewire_cameras.h"

#include <pipewire/pipewire.h>
#include <spa/param/param.h>
#include <spa/utils/result.h>

#include <cstring>
#include <list>
#include <mutex>

namespace kovracam {
namespace {

void initPipeWire() {
  static std::once_flag once;
  std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

std::string prop(const spa_dict* props, const char* key) {
  const char* value = props ? spa_dict_lookup(props, key) : nullptr;
  return value ? value : "";
}

struct BoundNode {
  pw_proxy* proxy = nullptr;
  spa_hook listener{};
  bool camera = false;  // set once its properties say Video/Source, Camera
  PipeWireCamera info;
};

struct Listing {
  pw_loop* loop = nullptr;
  pw_core* core = nullptr;
  pw_registry* registry = nullptr;
  spa_hook coreListener{};
  spa_hook registryListener{};
  std::list<BoundNode> nodes;  // stable addresses for the listeners
  int pendingSeq = -1;
  bool synced = false;
  bool failed = false;
};

void onNodeInfo(void* data, const pw_node_info* info) {
  auto* node = static_cast<BoundNode*>(data);
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

void onNodeParam(void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
                 const spa_pod* param) {
  auto* node = static_cast<BoundNode*>(data);
  if (id == SPA_PARAM_EnumFormat) appendNodeFormats(param, node->info.formats);
}

const pw_node_events kNodeEvents = [] {
  pw_node_events events{};
  events.version = PW_VERSION_NODE_EVENTS;
  events.info = onNodeInfo;
  events.param = onNodeParam;
  return events;
}();

void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
              const spa_dict* props) {
  auto* listing = static_cast<Listing*>(data);
  if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0) return;
  // The class is among the global's own properties; the role is read from the full set.
  if (prop(props, PW_KEY_MEDIA_CLASS) != "Video/Source") return;
  auto* proxy = static_cast<pw_proxy*>(
      pw_registry_bind(listing->registry, id, PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
  if (!proxy) return;
  BoundNode& node = listing->nodes.emplace_back();
  node.proxy = proxy;
  pw_proxy_add_object_listener(proxy, &node.listener, &kNodeEvents, &node);
  std::uint32_t wanted = SPA_PARAM_EnumFormat;
  pw_node_enum_params(reinterpret_cast<pw_node*>(proxy), 0, wanted, 0, UINT32_MAX, nullptr);
}

const pw_registry_events kRegistryEvents = [] {
  pw_registry_events events{};
  events.version = PW_VERSION_REGISTRY_EVENTS;
  events.global = onGlobal;
  return events;
}();

void onCoreDone(void* data, std::uint32_t id, int seq) {
  auto* listing = static_cast<Listing*>(data);
  if (id == PW_ID_CORE && seq == listing->pendingSeq) listing->synced = true;
}

void onCoreError(void* data, std::uint32_t id, int, int res, const char*) {
  auto* listing = static_cast<Listing*>(data);
  // A node gone between the listing and the bind only loses that node.
  if (id == PW_ID_CORE || res == -EPIPE) listing->failed = true;
}

const pw_core_events kCoreEvents = [] {
  pw_core_events events{};
  events.version = PW_VERSION_CORE_EVENTS;
  events.done = onCoreDone;
  events.error = onCoreError;
  return events;
}();

// Iterates the loop until the daemon has answered everything asked so far, or the deadline.
bool roundTrip(Listing& listing, std::chrono::steady_clock::time_point deadline) {
  listing.synced = false;
  listing.pendingSeq = pw_core_sync(listing.core, PW_ID_CORE, 0);
  while (!listing.synced && !listing.failed) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (pw_loop_iterate(listing.loop, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return false;
    }
  }
  return listing.synced;
}

}  // namespace

std::string pipeWireIdentity(const PipeWireCamera& camera) {
  return kPipeWireIdentityPrefix + (camera.nodeName.empty() ? camera.busPath : camera.nodeName);
}

std::optional<std::vector<PipeWireCamera>> listPipeWireCameras(std::chrono::milliseconds timeout) {
  initPipeWire();
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  Listing listing;
  listing.loop = pw_loop_new(nullptr);
  if (!listing.loop) return std::nullopt;
  pw_context* context = pw_context_new(listing.loop, nullptr, 0);
  std::optional<std::vector<PipeWireCamera>> cameras;
  if (context) {
    pw_loop_enter(listing.loop);
    listing.core =
        pw_context_connect(context, pw_properties_new(PW_KEY_APP_NAME, "kovracam", nullptr), 0);
    if (listing.core) {
      pw_core_add_listener(listing.core, &listing.coreListener, &kCoreEvents, &listing);
      listing.registry = pw_core_get_registry(listing.core, PW_VERSION_REGISTRY, 0);
      if (listing.registry) {
        pw_registry_add_listener(listing.registry, &listing.registryListener, &kRegistryEvents,
                                 &listing);
        // First the globals (and the binds they cause), then the bound nodes' answers.
        if (roundTrip(listing, deadline) && roundTrip(listing, deadline)) {
          cameras.emplace();
          for (BoundNode& node : listing.nodes) {
            if (!node.camera) continue;
            dropDuplicateLayouts(node.info.formats);
            cameras->push_back(std::move(node.info));
          }
        }
      }
      for (BoundNode& node : listing.nodes) {
        spa_hook_remove(&node.listener);
        pw_proxy_destroy(node.proxy);
      }
      if (listing.registry) {
        spa_hook_remove(&listing.registryListener);
        pw_proxy_destroy(reinterpret_cast<pw_proxy*>(listing.registry));
      }
      spa_hook_remove(&listing.coreListener);
      pw_core_disconnect(listing.core);
    }
    pw_loop_leave(listing.loop);
    pw_context_destroy(context);
  }
  pw_loop_destroy(listing.loop);
  return cameras;
}

}  // namespace kovracam
