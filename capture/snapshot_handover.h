#pragma once
// Carries one frame from the streaming thread to a waiting user-interface thread.
//
// The requester publishes the destination and its capacity, then raises the flag (release); the
// streaming thread takes the flag (acquire) before it reads them, so one request yields exactly
// one copy. Completion comes back through a process-private manual-reset event. A request that
// times out is withdrawn by taking the flag back: whoever takes the flag owns the destination.
// A copy that was taken but had not finished when the requester gave up stays outstanding: no
// new request is raised, and its event is not cleared, until that copy has said it is done.

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "capture/manual_reset_event.h"

namespace kovracam {

class SnapshotHandover {
 public:
  // Refused: an earlier copy is still outstanding; nothing was asked and the destination is
  // untouched.
  enum class Delivery { Delivered, Withdrawn, Stuck, Refused };

  // User-interface thread: asks for the next frame to be copied into `destination` (at most
  // `capacity` bytes) and waits up to `timeout`. Withdrawn: no frame came and none will be
  // copied. Stuck: a copy started but did not finish within a further grace period; the
  // destination must then be left alone for good.
  Delivery request(std::uint8_t* destination, std::size_t capacity,
                   std::chrono::nanoseconds timeout);

  // User-interface thread: the next frame, in a block of its own rather than the caller's, so
  // that a copy outliving a time-out cannot touch memory the caller has freed; null when no
  // frame came or none could be allocated. A block a stuck copy may still write is kept here
  // until that copy is done.
  std::unique_ptr<std::uint8_t[]> requestFrame(std::size_t bytes, std::chrono::nanoseconds timeout);

  // Streaming thread, for every frame: copies it when a request is pending. Never writes more
  // than the requested capacity.
  void offer(const std::uint8_t* frame, std::size_t length);
  // The same for a frame whose `rows` lines of `rowBytes` lie `lineStep` apart: they are packed
  // `packedStride` apart, the bytes between them zero, and only when a request is pending.
  void offerRows(const std::uint8_t* first, std::size_t lineStep, std::size_t rowBytes,
                 std::size_t rows, std::size_t packedStride);

  // Streaming thread, for a caller that writes the frame its own way: the pending request's
  // destination, taken so that no other frame gets it, or null when none is pending. A caller
  // that got one writes at most `capacity` bytes there, then calls delivered().
  struct Target {
    std::uint8_t* destination;
    std::size_t capacity;
  };
  std::optional<Target> claim();
  void delivered();

 private:
  // A copy the requester gave up on has finished: its block can go, and requests may go on.
  bool outstandingCopyDone();

  std::uint8_t* m_pSnapDest = nullptr;
  std::size_t m_nSnapCapacity = 0;
  std::atomic<bool> m_bSnapRequest{false};
  ManualResetEvent m_hSnapEvent;
  // User-interface thread only.
  bool m_bCopyOutstanding = false;
  std::unique_ptr<std::uint8_t[]> m_pOutstandingBlock;
};

}  // namespace kovracam
