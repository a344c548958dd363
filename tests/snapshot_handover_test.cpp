#include "capture/snapshot_handover.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <optional>
#include <thread>
#include <vector>

namespace kovracam {
namespace {

using namespace std::chrono_literals;
using Delivery = SnapshotHandover::Delivery;
using Bytes = std::vector<std::uint8_t>;

bool allAre(const Bytes& block, std::uint8_t value, std::size_t from = 0) {
  return std::all_of(block.begin() + from, block.end(), [&](std::uint8_t b) { return b == value; });
}

// A streaming thread offering frames of 4096 bytes, each filled with its own number (1 to 250),
// until destroyed.
struct Streamer {
  explicit Streamer(SnapshotHandover& handover)
      : thread([this, &handover] {
          Bytes frame(4096);
          for (std::uint8_t n = 1; !stop; n = static_cast<std::uint8_t>(n % 250 + 1)) {
            std::fill(frame.begin(), frame.end(), n);
            handover.offer(frame.data(), frame.size());
            ++offered;
          }
        }) {}
  ~Streamer() {
    stop = true;
    thread.join();
  }
  // Lets `frames` more frames go by.
  void await(std::uint64_t frames) {
    for (const std::uint64_t seen = offered; offered < seen + frames;) std::this_thread::yield();
  }
  std::atomic<bool> stop{false};
  std::atomic<std::uint64_t> offered{0};
  std::thread thread;
};

// Each of `requests` requests gets one whole frame, and no later frame lands in it.
void expectWholeFrames(SnapshotHandover& handover, Streamer& streamer, int requests) {
  for (int i = 0; i < requests; ++i) {
    Bytes block(4096, 0);
    ASSERT_EQ(handover.request(block.data(), block.size(), 2s), Delivery::Delivered);
    ASSERT_NE(block[0], 0) << "request " << i << " delivered nothing";
    streamer.await(3);
    ASSERT_TRUE(allAre(block, block[0])) << "a later frame landed in request " << i;
  }
}

// A copy taken just before the requester gave up and held back past the grace: until it is
// done every request is refused untouched; afterwards each gets a whole frame of its own again.
TEST(SnapshotHandoverThreads, AfterAStuckCopyEverySnapshotIsRightOrRefused) {
  SnapshotHandover handover;
  std::atomic<bool> claimed{false}, release{false};
  std::thread late([&] {
    std::optional<SnapshotHandover::Target> target;
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (!(target = handover.claim()) && std::chrono::steady_clock::now() < end) {
      std::this_thread::yield();
    }
    claimed = target.has_value();
    while (target && !release && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    if (!target) return;
    std::fill_n(target->destination, target->capacity, std::uint8_t{255});  // no frame's number
    handover.delivered();
  });
  Bytes first(4096, 0);
  EXPECT_EQ(handover.request(first.data(), first.size(), 1s), Delivery::Stuck);
  ASSERT_TRUE(claimed);
  Bytes second(4096, 0);
  EXPECT_EQ(handover.request(second.data(), second.size(), 50ms), Delivery::Refused);
  EXPECT_EQ(handover.requestFrame(4096, 50ms), nullptr);
  release = true;
  late.join();
  EXPECT_TRUE(allAre(first, 255) && allAre(second, 0));

  Streamer streamer(handover);
  expectWholeFrames(handover, streamer, 20);
}

TEST(SnapshotHandover, WaitsNoLongerThanAskedAndCopiesNoMoreThanTheCapacity) {
  SnapshotHandover handover;
  Bytes block(64, 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(handover.request(block.data(), 32, 50ms), Delivery::Withdrawn);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
  const Bytes frame(256, 7);
  handover.offer(frame.data(), frame.size());  // finds no request after the time-out
  EXPECT_TRUE(allAre(block, 0));
  {
    Streamer streamer(handover);  // frames far larger than the capacity asked for
    EXPECT_EQ(handover.request(block.data(), 32, 5s), Delivery::Delivered);
  }
  EXPECT_TRUE(block[0] != 0 && allAre(Bytes(block.begin(), block.begin() + 32), block[0]) &&
              allAre(block, 0, 32));

  // Rows of 5 bytes lying 8 apart, packed 6 apart with the byte between them zero: no further
  // than the capacity.
  const Bytes rows{1, 1, 1, 1, 1, 9, 9, 9, 2, 2, 2, 2, 2, 9, 9, 9, 3, 3, 3, 3, 3};
  Bytes packed(13, 0xAA);
  std::atomic<bool> taken{false};
  std::thread padded([&] {
    while (!taken) handover.offerRows(rows.data(), 8, 5, 3, 6);
  });
  EXPECT_EQ(handover.request(packed.data(), 12, 5s), Delivery::Delivered);
  taken = true;
  padded.join();
  EXPECT_EQ(packed, (Bytes{1, 1, 1, 1, 1, 0, 2, 2, 2, 2, 2, 0, 0xAA}));
}

}  // namespace
}  // namespace kovracam
