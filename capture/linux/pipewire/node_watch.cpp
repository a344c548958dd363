#include "capture/linux/pipewire/node_watch.h"

#include <pipewire/pipewire.h>

#include <cstring>
#include <optional>

namespace kovracam {

struct NodeWatch::State {
  std::string serial;
  std::function<void()> gone;
  bool told = false;
  std::optional<std::uint32_t> id;  // the node's global id once the registry named it
  bool listed = false;              // the registry's first listing is complete
  pw_thread_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  pw_registry* registry = nullptr;
  spa_hook coreListener{};
  spa_hook registryListener{};
  int listingSeq = -1;

  void tell() {
    if (told) return;
    told = true;
    gone();
  }
};

namespace {

using State = NodeWatch::State;

void onGlobal(void* data, std::uint32_t id, std::uint32_t, const char* type, std::uint32_t,
              const spa_dict* props) {
  auto* state = static_cast<State*>(data);
  if (std::strcmp(type, PW_TYPE_INTERFACE_Node) != 0 || !props) return;
  const char* serial = spa_dict_lookup(props, PW_KEY_OBJECT_SERIAL);
  if (serial && state->serial == serial) state->id = id;
}

void onGlobalRemove(void* data, std::uint32_t id) {
  auto* state = static_cast<State*>(data);
  if (state->id && *state->id == id) state->tell();
}

const pw_registry_events kRegistryEvents = [] {
  pw_registry_events events{};
  events.version = PW_VERSION_REGISTRY_EVENTS;
  events.global = onGlobal;
  events.global_remove = onGlobalRemove;
  return events;
}();

void onDone(void* data, std::uint32_t id, int seq) {
  auto* state = static_cast<State*>(data);
  if (id != PW_ID_CORE || seq != state->listingSeq) return;
  state->listed = true;
  if (!state->id) state->tell();  // gone before the watch began
}

void onError(void* data, std::uint32_t id, int, int res, const char*) {
  // The connection broke: the daemon went, and every node with it.
  if (id == PW_ID_CORE && res == -EPIPE) static_cast<State*>(data)->tell();
}

const pw_core_events kCoreEvents = [] {
  pw_core_events events{};
  events.version = PW_VERSION_CORE_EVENTS;
  events.done = onDone;
  events.error = onError;
  return events;
}();

void release(State& state) {
  if (state.loop) pw_thread_loop_stop(state.loop);
  if (state.registry) {
    spa_hook_remove(&state.registryListener);
    pw_proxy_destroy(reinterpret_cast<pw_proxy*>(state.registry));
  }
  if (state.core) {
    spa_hook_remove(&state.coreListener);
    pw_core_disconnect(state.core);
  }
  if (state.context) pw_context_destroy(state.context);
  if (state.loop) pw_thread_loop_destroy(state.loop);
}

}  // namespace

NodeWatch::NodeWatch(std::unique_ptr<State> state) : state_(std::move(state)) {}

NodeWatch::~NodeWatch() { release(*state_); }

std::unique_ptr<NodeWatch> NodeWatch::start(const std::string& serial, std::function<void()> gone) {
  pw_init(nullptr, nullptr);
  auto state = std::make_unique<State>();
  state->serial = serial;
  state->gone = std::move(gone);
  state->loop = pw_thread_loop_new("kovracam-watch", nullptr);
  if (!state->loop) return nullptr;
  state->context = pw_context_new(pw_thread_loop_get_loop(state->loop), nullptr, 0);
  if (state->context) {
    state->core = pw_context_connect(state->context, nullptr, 0);
  }
  if (state->core) {
    pw_core_add_listener(state->core, &state->coreListener, &kCoreEvents, state.get());
    state->registry = pw_core_get_registry(state->core, PW_VERSION_REGISTRY, 0);
  }
  if (!state->registry) {
    release(*state);
    return nullptr;
  }
  pw_registry_add_listener(state->registry, &state->registryListener, &kRegistryEvents,
                           state.get());
  state->listingSeq = pw_core_sync(state->core, PW_ID_CORE, 0);
  // From here on the events are handled on the loop's thread.
  if (pw_thread_loop_start(state->loop) < 0) {
    release(*state);
    return nullptr;
  }
  return std::unique_ptr<NodeWatch>(new NodeWatch(std::move(state)));
}

}  // namespace kovracam
