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
  m_hSnapEvent.reset();
  if (delivery != Delivery::Stuck) {
    m_pSnapDest = nullptr;
    m_nSnapCapacity = 0;
  }
  return delivery;
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

std::unique_ptr<std::uint8_t[]> SnapshotHandover::requestFrame(std::size_t bytes,
                                                               std::chrono::nanoseconds timeout) {
  std::unique_ptr<std::uint8_t[]> block(new (std::nothrow) std::uint8_t[bytes]);
  if (!block) return nullptr;
  const Delivery delivery = request(block.get(), bytes, timeout);
  if (delivery == Delivery::Stuck) block.release();  // may still be written
  if (delivery != Delivery::Delivered) return nullptr;
  return block;
}

}  // namespace kovracam
