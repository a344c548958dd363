// read() I/O on a simulated node, as videobuf2's file I/O emulation serves it for drivers that
// offer V4L2_CAP_READWRITE: the buffers are the simulator's own, streaming starts with the first
// read (or a poll for input), and it ends when the reading file is closed.

#include <fcntl.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "tools/v4l2sim/real_libc.h"
#include "tools/v4l2sim/simulator.h"

namespace kovracam::v4l2sim {
namespace {

// As many as videobuf2 takes for its emulation: one filling, one done, one being read.
constexpr std::uint32_t kReadBuffers = 3;

v4l2_buffer captureBuffer(std::uint32_t index) {
  v4l2_buffer buffer{};
  buffer.index = index;
  buffer.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  buffer.memory = V4L2_MEMORY_MMAP;
  return buffer;
}

}  // namespace

std::optional<ssize_t> Simulator::read(int fd, void* buffer, std::size_t size) {
  std::unique_lock lock(mutex_);
  const auto file = fileOf(fd);
  if (!file) return std::nullopt;
  checkUnplugs();
  const bool nonBlocking = (real::fcntl()(fd, F_GETFL) & O_NONBLOCK) != 0;
  ssize_t got = -1;
  const int error =
      readFrame(*file, static_cast<std::uint8_t*>(buffer), size, nonBlocking, lock, got);
  refreshAll(*file->node);
  if (error == 0) return got;
  errno = error;
  return -1;
}

int Simulator::startReading(OpenFile& file) {
  SimNode& node = *file.node;
  BufferQueue& queue = node.queue;
  // The streaming API in use, by this file or another, or another file reading: busy.
  if (node.reader || queue.allocated() || node.config.faults.busy == Busy::Stream) return EBUSY;
  v4l2_requestbuffers request{};
  request.count = kReadBuffers;
  request.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  request.memory = V4L2_MEMORY_MMAP;
  const Device& device = node.config.device;
  if (const int error = queue.reqbufs(&file, request,
                                      imageSize(device.pixelFormat, device.width, device.height))) {
    return error;
  }
  ++node.bufferGeneration;
  for (std::uint32_t i = 0; i < request.count; ++i) {
    v4l2_buffer buffer = captureBuffer(i);
    queue.qbuf(buffer);
  }
  if (const int error = queue.streamon(V4L2_BUF_TYPE_VIDEO_CAPTURE)) {
    queue.release();
    return error;
  }
  node.reader = &file;
  node.readBuffer.reset();
  startFrames(node);
  return 0;
}

int Simulator::readFrame(OpenFile& file, std::uint8_t* out, std::size_t size, bool nonBlocking,
                         std::unique_lock<std::mutex>& lock, ssize_t& got) {
  SimNode& node = *file.node;
  if (!(node.config.device.deviceCaps & V4L2_CAP_READWRITE)) return EINVAL;
  if (!out && size > 0) return EFAULT;  // the kernel fails to copy the frame out
  if (node.reader != &file) {
    if (const int error = startReading(file)) return error;
  }
  while (!node.readBuffer) {
    if (node.gone) return ENODEV;
    if (node.reader != &file) return EBUSY;
    v4l2_buffer done = captureBuffer(0);
    const int error = node.queue.dqbuf(done);
    if (error == 0) {
      node.readBuffer = done.index;
      node.readOffset = 0;
      break;
    }
    if (error != EAGAIN) return error;
    if (nonBlocking) return EAGAIN;
    changed_.wait(lock);
  }
  v4l2_buffer buffer = captureBuffer(*node.readBuffer);
  node.queue.querybuf(buffer);
  const std::size_t count = std::min<std::size_t>(size, buffer.bytesused - node.readOffset);
  if (count > 0) std::memcpy(out, node.queue.data(buffer.index) + node.readOffset, count);
  node.readOffset += static_cast<std::uint32_t>(count);
  if (node.readOffset >= buffer.bytesused) {
    node.readBuffer.reset();
    buffer = captureBuffer(buffer.index);
    node.queue.qbuf(buffer);
  }
  got = static_cast<ssize_t>(count);
  return 0;
}

}  // namespace kovracam::v4l2sim
