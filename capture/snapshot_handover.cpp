#include "capture/snapshot_handover.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kovracam {
namespace {

// A block copy that has already started finishes well within this.
constexpr auto kCopyGrace = std::chrono::seconds(1);

}  // namespace

SnapshotHandover::Delivery SnapshotHandover::request(std::uint8_t* destination,
                                                     std::size_t capacity,
                                                     std::chrono::nanoseconds timeout) {
  // The late copy still owns the old destination and will set the event when done: a request
  // raised now would take that event for its own delivery.
  if (m_bCopyOutstanding && !outstandingCopyDone()) return Delivery::Refused;

  m_pSnapDest = destination;
  m_nSnapCapacity = capacity;
  m_bSnapRequest.store(true, std::memory_order_release);

  Delivery delivery = Delivery::Delivered;
  if (!m_hSnapEvent.waitFor(timeout)) {
    if (m_bSnapRequest.exchange(false, std::memory_order_acq_rel)) {
      delivery = Delivery::Withdrawn;
    } else {
      // The streaming thread took the request just as the wait ended and is copying.
      delivery = m_hSnapEvent.waitFor(kCopyGrace) ? Delivery::Delivered : Delivery::Stuck;
    }
  }
  if (delivery == Delivery::Stuck) {
    // The event is left as it is: the copy's own signal tells the next request that it is done.
    m_bCopyOutstanding = true;
    return delivery;
  }
  m_hSnapEvent.reset();
  m_pSnapDest = nullptr;
  m_nSnapCapacity = 0;
  return delivery;
}

bool SnapshotHandover::outstandingCopyDone() {
  if (!m_hSnapEvent.waitFor(std::chrono::nanoseconds::zero())) return false;
  m_hSnapEvent.reset();
  m_bCopyOutstanding = false;
  m_pOutstandingBlock.reset();
  m_pSnapDest = nullptr;
  m_nSnapCapacity = 0;
  return true;
}

std::optional<SnapshotHandover::Target> SnapshotHandover::claim() {
  if (!m_bSnapRequest.exchange(false, std::memory_order_acq_rel)) return std::nullopt;
  return Target{m_pSnapDest, m_nSnapCapacity};
}

void SnapshotHandover::delivered() { m_hSnapEvent.set(); }

void SnapshotHandover::offer(const std::uint8_t* frame, std::size_t length) {
  const auto target = claim();
  if (!target) return;
  std::memcpy(target->destination, frame, std::min(length, target->capacity));
  delivered();
}

void SnapshotHandover::offerRows(const std::uint8_t* first, std::size_t lineStep,
                                 std::size_t rowBytes, std::size_t rows, std::size_t packedStride) {
  const auto target = claim();
  if (!target) return;
  const std::size_t copied = std::min(rowBytes, packedStride);
  for (std::size_t row = 0; row < rows && (row + 1) * packedStride <= target->capacity; ++row) {
    std::uint8_t* line = target->destination + row * packedStride;
    std::memcpy(line, first + row * lineStep, copied);
    std::memset(line + copied, 0, packedStride - copied);
  }
  delivered();
}

std::unique_ptr<std::uint8_t[]> SnapshotHandover::requestFrame(std::size_t bytes,
                                                               std::chrono::nanoseconds timeout) {
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[bytes]);
  if (!block) return nullptr;
  const Delivery delivery = request(block.get(), bytes, timeout);
  if (delivery == Delivery::Stuck) m_pOutstandingBlock = std::move(block);  // may still be written
  if (delivery != Delivery::Delivered) return nullptr;
  return block;
}

}  // namespace kovracam
