#include "tools/v4l2sim/buffer_queue.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>

#include "tools/v4l2sim/real_libc.h"

namespace kovracam::v4l2sim {
namespace {

constexpr std::uint32_t kMaxBuffers = 32;

std::uint32_t pageAligned(std::uint32_t bytes) {
  const auto page = static_cast<std::uint32_t>(sysconf(_SC_PAGESIZE));
  return (bytes + page - 1) / page * page;
}

}  // namespace

BufferQueue::~BufferQueue() { freeBuffers(); }

void BufferQueue::freeBuffers() {
  for (auto& b : buffers_) {
    if (b.data) real::munmap()(b.data, b.length);
    if (b.memfd >= 0) real::close()(b.memfd);
  }
  buffers_.clear();
  queued_.clear();
  done_.clear();
}

int BufferQueue::reqbufs(const void* file, v4l2_requestbuffers& request, std::uint32_t imageBytes) {
  if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request.memory != V4L2_MEMORY_MMAP) {
    return EINVAL;
  }
  if (busyFor(file) || streaming_) return EBUSY;
  request.capabilities = V4L2_BUF_CAP_SUPPORTS_MMAP | V4L2_BUF_CAP_SUPPORTS_ORPHANED_BUFS;
  request.flags = 0;
  freeBuffers();
  owner_ = nullptr;
  const std::uint32_t count = std::min(request.count, kMaxBuffers);
  std::uint32_t offset = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    SimBuffer b;
    b.length = imageBytes;
    b.offset = offset;
    offset += pageAligned(imageBytes);
    b.memfd = memfd_create("v4l2sim-buffer", MFD_CLOEXEC);
    if (b.memfd < 0 || ftruncate(b.memfd, imageBytes) != 0) {
      if (b.memfd >= 0) real::close()(b.memfd);
      freeBuffers();
      return ENOMEM;
    }
    void* data = real::mmap()(nullptr, imageBytes, PROT_READ | PROT_WRITE, MAP_SHARED, b.memfd, 0);
    b.data = data == MAP_FAILED ? nullptr : static_cast<std::uint8_t*>(data);
    buffers_.push_back(b);
    if (!b.data) {
      freeBuffers();
      return ENOMEM;
    }
  }
  request.count = count;
  if (count > 0) owner_ = file;
  return 0;
}

void BufferQueue::fill(const SimBuffer& b, std::uint32_t index, v4l2_buffer& out) const {
  out = {};
  out.index = index;
  out.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  out.memory = V4L2_MEMORY_MMAP;
  out.field = V4L2_FIELD_NONE;
  out.bytesused = b.bytesused;
  out.sequence = b.sequence;
  out.timestamp = b.timestamp;
  out.m.offset = b.offset;
  out.length = b.length;
  out.flags = V4L2_BUF_FLAG_TIMESTAMP_MONOTONIC | V4L2_BUF_FLAG_TSTAMP_SRC_SOE;
  if (b.mappings > 0) out.flags |= V4L2_BUF_FLAG_MAPPED;
  if (b.queued) out.flags |= V4L2_BUF_FLAG_QUEUED;
  if (b.done) out.flags |= V4L2_BUF_FLAG_DONE;
}

int BufferQueue::querybuf(v4l2_buffer& buffer) const {
  if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.index >= buffers_.size()) {
    return EINVAL;
  }
  fill(buffers_[buffer.index], buffer.index, buffer);
  return 0;
}

int BufferQueue::qbuf(v4l2_buffer& buffer) {
  if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP ||
      buffer.index >= buffers_.size()) {
    return EINVAL;
  }
  SimBuffer& b = buffers_[buffer.index];
  if (b.queued || b.done) return EINVAL;
  b.queued = true;
  b.bytesused = 0;
  queued_.push_back(buffer.index);
  fill(b, buffer.index, buffer);
  return 0;
}

int BufferQueue::dqbuf(v4l2_buffer& buffer) {
  if (buffer.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffer.memory != V4L2_MEMORY_MMAP) {
    return EINVAL;
  }
  if (!streaming_) return EINVAL;
  if (done_.empty()) return EAGAIN;
  const std::uint32_t index = done_.front();
  done_.pop_front();
  buffers_[index].done = false;
  fill(buffers_[index], index, buffer);
  return 0;
}

int BufferQueue::expbuf(v4l2_exportbuffer& request) const {
  if (request.type != V4L2_BUF_TYPE_VIDEO_CAPTURE || request.index >= buffers_.size() ||
      request.plane != 0 || (request.flags & ~(O_CLOEXEC | O_ACCMODE))) {
    return EINVAL;
  }
  const int fd = real::fcntl()(buffers_[request.index].memfd,
                               (request.flags & O_CLOEXEC) ? F_DUPFD_CLOEXEC : F_DUPFD, 0);
  if (fd < 0) return errno;
  request.fd = fd;
  return 0;
}

int BufferQueue::streamon(std::uint32_t type) {
  if (type != V4L2_BUF_TYPE_VIDEO_CAPTURE || buffers_.empty()) return EINVAL;
  streaming_ = true;
  return 0;
}

void BufferQueue::streamoff() {
  streaming_ = false;
  for (auto& b : buffers_) b.queued = b.done = false;
  queued_.clear();
  done_.clear();
}

void BufferQueue::release() {
  streamoff();
  freeBuffers();
  owner_ = nullptr;
}

SimBuffer* BufferQueue::nextQueued() {
  return queued_.empty() ? nullptr : &buffers_[queued_.front()];
}

void BufferQueue::complete() {
  const std::uint32_t index = queued_.front();
  queued_.pop_front();
  buffers_[index].queued = false;
  buffers_[index].done = true;
  done_.push_back(index);
}

int BufferQueue::mapFor(off_t offset, std::size_t length, int& index) {
  for (std::size_t i = 0; i < buffers_.size(); ++i) {
    if (buffers_[i].offset == offset && length <= pageAligned(buffers_[i].length)) {
      index = static_cast<int>(i);
      return buffers_[i].memfd;
    }
  }
  return -1;
}

void BufferQueue::noteMapping(int index, int delta) {
  if (index >= 0 && static_cast<std::size_t>(index) < buffers_.size()) {
    buffers_[index].mappings += delta;
  }
}

}  // namespace kovracam::v4l2sim
