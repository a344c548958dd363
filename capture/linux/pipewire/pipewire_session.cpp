#include "capture/linux/pipewire/pipewire_session.h"

#include <pipewire/pipewire.h>

#include <cerrno>
#include <map>
#include <mutex>

namespace kovracam {

struct PipeWireSession::State {
  pw_loop* loop = nullptr;
  pw_context* context = nullptr;
  pw_core* core = nullptr;
  pw_registry* registry = nullptr;
  spa_hook coreListener{};
  int pendingSeq = -1;
  bool synced = false;
  bool broken = false;
  std::map<std::uint32_t, int> errors;  // by proxy id
};

namespace {

using State = PipeWireSession::State;

void onDone(void* data, std::uint32_t id, int seq) {
  auto* state = static_cast<State*>(data);
  if (id == PW_ID_CORE && seq == state->pendingSeq) state->synced = true;
}

void onError(void* data, std::uint32_t id, int, int res, const char*) {
  // Errors about one object (a node gone before it was bound, a value refused) leave the rest
  // usable.
  auto* state = static_cast<State*>(data);
  if (id == PW_ID_CORE && res == -EPIPE) state->broken = true;
  if (id != PW_ID_CORE) state->errors[id] = res;
}

const pw_core_events kCoreEvents = [] {
  pw_core_events events{};
  events.version = PW_VERSION_CORE_EVENTS;
  events.done = onDone;
  events.error = onError;
  return events;
}();

void release(State& state) {
  if (state.registry) pw_proxy_destroy(reinterpret_cast<pw_proxy*>(state.registry));
  if (state.core) {
    spa_hook_remove(&state.coreListener);
    pw_core_disconnect(state.core);
  }
  if (state.loop) pw_loop_leave(state.loop);
  if (state.context) pw_context_destroy(state.context);
  if (state.loop) pw_loop_destroy(state.loop);
}

}  // namespace

PipeWireSession::PipeWireSession(std::unique_ptr<State> state) : state_(std::move(state)) {}

PipeWireSession::~PipeWireSession() { release(*state_); }

std::unique_ptr<PipeWireSession> PipeWireSession::connect() {
  static std::once_flag once;
  std::call_once(once, [] { pw_init(nullptr, nullptr); });
  auto state = std::make_unique<State>();
  state->loop = pw_loop_new(nullptr);
  if (!state->loop) return nullptr;
  pw_loop_enter(state->loop);
  state->context = pw_context_new(state->loop, nullptr, 0);
  if (state->context) {
    state->core = pw_context_connect(state->context,
                                     pw_properties_new(PW_KEY_APP_NAME, "kovracam", nullptr), 0);
  }
  if (state->core) {
    pw_core_add_listener(state->core, &state->coreListener, &kCoreEvents, state.get());
    state->registry = pw_core_get_registry(state->core, PW_VERSION_REGISTRY, 0);
  }
  if (!state->registry) {
    release(*state);
    return nullptr;
  }
  return std::unique_ptr<PipeWireSession>(new PipeWireSession(std::move(state)));
}

pw_core* PipeWireSession::core() const { return state_->core; }
pw_registry* PipeWireSession::registry() const { return state_->registry; }

int PipeWireSession::takeError(std::uint32_t proxyId) {
  const auto it = state_->errors.find(proxyId);
  if (it == state_->errors.end()) return 0;
  const int error = it->second;
  state_->errors.erase(it);
  return error;
}

bool PipeWireSession::roundTrip(Deadline deadline) {
  State& state = *state_;
  state.synced = false;
  state.pendingSeq = pw_core_sync(state.core, PW_ID_CORE, 0);
  while (!state.synced && !state.broken) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (pw_loop_iterate(state.loop, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      return false;
    }
  }
  return state.synced;
}

}  // namespace kovracam
