#pragma once
// Watches one PipeWire node from a connection of its own and tells when it leaves (unplugged,
// its program ended) or the daemon goes: pipewiresrc itself only stops delivering then.

#include <functional>
#include <memory>
#include <string>

namespace kovracam {

class NodeWatch {
 public:
  // `gone` runs at most once, on the watch's own thread. nullptr when no daemon answers.
  static std::unique_ptr<NodeWatch> start(const std::string& serial, std::function<void()> gone);
  ~NodeWatch();  // no call of `gone` is running or to come once this returns
  NodeWatch(const NodeWatch&) = delete;
  NodeWatch& operator=(const NodeWatch&) = delete;

  struct State;

 private:
  explicit NodeWatch(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace kovracam
