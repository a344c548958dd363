#pragma once
// One connection to the PipeWire daemon, driven from the calling thread: every wait on the
// daemon's answers is bounded by a deadline.

#include <chrono>
#include <cstdint>
#include <memory>

struct pw_core;
struct pw_loop;
struct pw_registry;

namespace kovracam {

using Deadline = std::chrono::steady_clock::time_point;

class PipeWireSession {
 public:
  // nullptr when no daemon answers (no socket at PIPEWIRE_REMOTE or in XDG_RUNTIME_DIR).
  static std::unique_ptr<PipeWireSession> connect();
  ~PipeWireSession();
  PipeWireSession(const PipeWireSession&) = delete;
  PipeWireSession& operator=(const PipeWireSession&) = delete;

  pw_core* core() const;
  pw_registry* registry() const;
  // Handles events until the daemon has answered everything asked before the call; false when
  // the deadline passed first or the connection broke.
  bool roundTrip(Deadline deadline);
  // The error the daemon last reported about the proxy with id `proxyId` (negative errno), 0
  // when none; taking it clears it.
  int takeError(std::uint32_t proxyId);

  struct State;

 private:
  explicit PipeWireSession(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kovracam
