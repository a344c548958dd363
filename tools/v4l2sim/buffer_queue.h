#pragma once
// The MMAP buffer queue of one video node, kept as videobuf2 keeps it: buffers in memfds that
// the caller maps natively, the queued and done lists, the file that owns them, streaming.
// Not thread-safe: the simulator calls it under its lock.

#include <linux/videodev2.h>
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace kovracam::v4l2sim {

struct SimBuffer {
  int memfd = -1;
  std::uint8_t* data = nullptr;  // our own mapping, to paint into
  std::uint32_t length = 0;
  std::uint32_t offset = 0;  // the mmap cookie
  std::uint32_t bytesused = 0;
  std::uint32_t sequence = 0;
  timeval timestamp{};
  bool queued = false;
  bool done = false;
  int mappings = 0;
};

class BufferQueue {
 public:
  ~BufferQueue();

  const void* owner() const { return owner_; }
  bool busyFor(const void* file) const { return owner_ && owner_ != file; }
  bool allocated() const { return !buffers_.empty(); }
  bool streaming() const { return streaming_; }
  bool hasDone() const { return !done_.empty(); }
  std::size_t queuedCount() const { return queued_.size(); }

  // The ioctls; 0 or the errno videobuf2 answers with. `file` is the caller's open file.
  int reqbufs(const void* file, v4l2_requestbuffers& request, std::uint32_t imageBytes);
  int querybuf(v4l2_buffer& buffer) const;
  int qbuf(v4l2_buffer& buffer);
  int dqbuf(v4l2_buffer& buffer);  // EAGAIN when nothing is done
  int expbuf(v4l2_exportbuffer& request) const;
  int streamon(std::uint32_t type);
  void streamoff();
  // Drops the buffers and the owner, as closing the owning file does.
  void release();

  // A buffer's painted bytes, for read().
  const std::uint8_t* data(std::uint32_t index) const { return buffers_.at(index).data; }

  // The buffer the frame source fills next; nullptr when none is queued.
  SimBuffer* nextQueued();
  // Moves that buffer to the done list.
  void complete();

  // The memfd behind an mmap of `length` bytes at `offset`; -1 when no buffer matches.
  int mapFor(off_t offset, std::size_t length, int& index);
  void noteMapping(int index, int delta);

 private:
  void fill(const SimBuffer& b, std::uint32_t index, v4l2_buffer& out) const;
  void freeBuffers();

  std::vector<SimBuffer> buffers_;
  std::deque<std::uint32_t> queued_;
  std::deque<std::uint32_t> done_;
  const void* owner_ = nullptr;
  bool streaming_ = false;
};

}  // namespace kovracam::v4l2sim
