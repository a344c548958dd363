// The fake kernel: its file system and descriptors; the device model answers the ioctls.

#include "tests/fakes/fake_v4l2_io.h"

#include <cerrno>

namespace kovracam {

FakeDevice fakeUvcCamera(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.formats = {
      {V4L2_PIX_FMT_YUYV, {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}}, {}, {}},
      {V4L2_PIX_FMT_MJPEG, {{1280, 720, {{1, 30}}}}, {}, {}}};
  return device;
}

FakeDevice fakeUvcMetadataNode(const std::string& card) {
  FakeDevice device;
  device.card = card;
  device.deviceCaps = V4L2_CAP_META_CAPTURE | V4L2_CAP_STREAMING;
  device.pixelFormat = V4L2_META_FMT_UVC;
  return device;
}

void FakeV4l2Io::addDevice(const std::string& node, FakeDevice device) {
  vanish(node);
  for (auto& control : device.controls) control.value = control.defaultValue;
  auto entry = std::make_shared<Node>();
  entry->path = node;
  entry->device = std::move(device);
  nodes_[node] = std::move(entry);
  tree_.addNode(node);
}

void FakeV4l2Io::vanish(const std::string& node) {
  if (!nodes_.count(node)) return;
  tree_.removeNode(node);
  nodes_[node]->gone = true;
  nodes_.erase(node);
}

int FakeV4l2Io::ioctlCount(const std::string& node, unsigned long request) const {
  const auto counts = counts_.find(node);
  return counts == counts_.end() || !counts->second.count(request) ? 0 : counts->second.at(request);
}

int FakeV4l2Io::open(const std::string& path, int /*flags*/) {
  const auto resolved = resolveLink(path);
  if (!resolved) return -1;
  const int error = !nodes_.count(*resolved) ? EISDIR : nodes_[*resolved]->openError;
  if (error != 0) {
    errno = error;
    return -1;
  }
  int fd = 3;  // like the kernel: the lowest free descriptor above the standard streams
  while (fds_.count(fd)) ++fd;
  fds_[fd] = nodes_[*resolved];
  return fd;
}

int FakeV4l2Io::close(int fd) {
  if (fds_.erase(fd) != 0) return 0;
  errno = EBADF;
  return -1;
}

int FakeV4l2Io::ioctl(int fd, unsigned long request, void* arg) {
  if (!fds_.count(fd)) {
    errno = EBADF;
    return -1;
  }
  Node& node = *fds_[fd];
  if (!node.gone) {
    ++counts_[node.path][request];
    if (node.ioctlsBeforeVanish-- == 0) vanish(node.path);
  }
  int error = node.gone ? ENODEV : 0;
  auto& [failure, times] = node.ioctlFailures[request];
  if (error == 0 && times != 0) {
    error = failure;
    if (times > 0) --times;
  }
  if (error == 0) error = v4l2sim::answer(node.device, request, arg);
  if (error == 0) return 0;
  errno = error;
  return -1;
}

}  // namespace kovracam
