#pragma once
// An in-memory kernel behind the V4l2Io seam, for tests: device nodes, the udev links in /dev/v4l
// and injected failures, over the simulator's device model. Every call fails the way the kernel
// fails it, -1 with errno set; it models what the product asks and no more. One test drives it.

#include <linux/videodev2.h>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "capture/linux/v4l2/v4l2_io.h"
#include "tools/v4l2sim/device_model.h"
#include "tools/v4l2sim/device_tree.h"

namespace kovracam {

// The device model is the simulator's; the tests know it by these names.
using FakeFormat = v4l2sim::Format;
using FakeControl = v4l2sim::Control;
using FakeDevice = v4l2sim::Device;

// A UVC camera's video node: YUYV 640x480 (30, 15 fps) and 320x240 (30 fps), MJPEG 1280x720
// (30 fps); current YUYV 640x480 at 30 fps; no controls.
FakeDevice fakeUvcCamera(const std::string& card);
// The metadata node a UVC camera registers next to its video node.
FakeDevice fakeUvcMetadataNode(const std::string& card);

class FakeV4l2Io : public V4l2Io {
 public:
  FakeV4l2Io() = default;
  FakeV4l2Io(const FakeV4l2Io&) = delete;
  FakeV4l2Io& operator=(const FakeV4l2Io&) = delete;

  int open(const std::string& path, int flags) override;
  int close(int fd) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  std::optional<std::vector<std::string>> listDirectory(const std::string& dir) override {
    return tree_.list(dir);
  }
  std::optional<std::string> resolveLink(const std::string& path) override {
    return tree_.resolve(path);
  }

  // A device at `node` (an absolute, tidy path); one already there is unplugged first.
  void addDevice(const std::string& node, FakeDevice device);
  // A symbolic link; a relative target is taken from the link's directory.
  void addLink(const std::string& link, const std::string& target) { tree_.addLink(link, target); }
  // The next `times` (-1: all) calls of `request` on the node fail with `error`.
  void failIoctl(const std::string& node, unsigned long request, int error, int times = -1) {
    if (nodes_.count(node)) nodes_[node]->ioctlFailures[request] = {error, times};
  }
  // Every open of the node fails with `error` (EACCES...).
  void failOpen(const std::string& node, int error) {
    if (nodes_.count(node)) nodes_[node]->openError = error;
  }
  // Unplugs the device: the node and its udev links disappear, later opens fail with ENOENT and
  // calls on descriptors still open with ENODEV (close still succeeds).
  void vanish(const std::string& node);
  // The device answers `count` more ioctls, then vanishes.
  void vanishAfterIoctls(const std::string& node, int count) {
    if (nodes_.count(node)) nodes_[node]->ioctlsBeforeVanish = count;
  }
  // The present device at `node` (to inspect or change it); nullptr when there is none.
  FakeDevice* device(const std::string& node) {
    return nodes_.count(node) ? &nodes_[node]->device : nullptr;
  }
  std::size_t openFdCount() const { return fds_.size(); }
  // How many times `request` reached the node (answered or failed), over its whole life.
  int ioctlCount(const std::string& node, unsigned long request) const;

 private:
  struct Node {
    std::string path;
    FakeDevice device;
    bool gone = false;
    int openError = 0;
    std::map<unsigned long, std::pair<int, int>> ioctlFailures;  // request -> errno, times left
    int ioctlsBeforeVanish = -1;
  };

  std::map<std::string, std::shared_ptr<Node>> nodes_;
  v4l2sim::DeviceTree tree_;
  std::map<int, std::shared_ptr<Node>> fds_;
  std::map<std::string, std::map<unsigned long, int>> counts_;
};

}  // namespace kovracam
