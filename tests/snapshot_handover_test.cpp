#include "capture/snapshot_handover.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace kovracam {
namespace {

using namespace std::chrono_literals;
using Delivery = SnapshotHandover::Delivery;

constexpr std::size_t kFrameBytes = 4096;

// A streaming thread that offers frames filled with their own sequence number until stopped.
class Streamer {
 public:
  explicit Streamer(SnapshotHandover& handover) : handover_(handover) {
    thread_ = std::thread([this] {
      std::vector<std::uint8_t> frame(kFrameBytes);
      for (std::uint8_t n = 1; !stop_.load(); n = static_cast<std::uint8_t>(n % 250 + 1)) {
        if (paused_.load()) {
          std::this_thread::yield();
          continue;
        }
        std::fill(frame.begin(), frame.end(), n);
        handover_.offer(frame.data(), frame.size());
        offered_.fetch_add(1);
      }
    });
  }
  ~Streamer() {
    stop_ = true;
    thread_.join();
  }
  void pause(bool paused) { paused_ = paused; }
  std::uint64_t offered() const { return offered_.load(); }

 private:
  SnapshotHandover& handover_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<std::uint64_t> offered_{0};
  std::thread thread_;
};

bool isOneWholeFrame(const std::vector<std::uint8_t>& block) {
  return block[0] != 0 &&
         std::all_of(block.begin(), block.end(), [&](std::uint8_t b) { return b == block[0]; });
}

TEST(SnapshotHandoverThreads, EveryRequestGetsOneWholeFrame) {
  SnapshotHandover handover;
  Streamer streamer(handover);
  for (int i = 0; i < 300; ++i) {
    std::vector<std::uint8_t> block(kFrameBytes, 0);
    ASSERT_EQ(handover.request(block.data(), block.size(), 2s), Delivery::Delivered);
    ASSERT_TRUE(isOneWholeFrame(block)) << "request " << i;
    // Later frames keep coming; none of them may land in a delivered block.
    const std::uint8_t delivered = block[0];
    const std::uint64_t seen = streamer.offered();
    while (streamer.offered() < seen + 3) std::this_thread::yield();
    ASSERT_TRUE(
        std::all_of(block.begin(), block.end(), [&](std::uint8_t b) { return b == delivered; }));
  }
}

TEST(SnapshotHandoverThreads, WithdrawnRequestIsNeverWrittenLater) {
  SnapshotHandover handover;
  Streamer streamer(handover);
  for (int i = 0; i < 50; ++i) {
    streamer.pause(true);
    std::vector<std::uint8_t> block(kFrameBytes, 0);
    const Delivery d = handover.request(block.data(), block.size(), 0ns);
    if (d == Delivery::Delivered) continue;  // a frame slipped in before the pause took hold
    ASSERT_EQ(d, Delivery::Withdrawn);
    const std::uint64_t seen = streamer.offered();
    streamer.pause(false);
    while (streamer.offered() < seen + 5) std::this_thread::yield();
    ASSERT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }))
        << "a withdrawn request was written on round " << i;
  }
}

TEST(SnapshotHandover, CopyIsBoundedByTheRequestedCapacity) {
  SnapshotHandover handover;
  std::vector<std::uint8_t> block(64, 0xEE);
  std::vector<std::uint8_t> frame(256, 7);  // four times the capacity asked for
  std::atomic<bool> answered{false};
  std::thread streaming([&] {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!answered && std::chrono::steady_clock::now() < deadline) {
      handover.offer(frame.data(), frame.size());
    }
  });
  const Delivery d = handover.request(block.data(), 32, 5s);
  answered = true;
  streaming.join();
  ASSERT_EQ(d, Delivery::Delivered);
  EXPECT_TRUE(
      std::all_of(block.begin(), block.begin() + 32, [](std::uint8_t b) { return b == 7; }));
  EXPECT_TRUE(
      std::all_of(block.begin() + 32, block.end(), [](std::uint8_t b) { return b == 0xEE; }));
}

TEST(SnapshotHandover, NoFrameMeansWithdrawnAfterTheTimeout) {
  SnapshotHandover handover;
  std::vector<std::uint8_t> block(16, 0);
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(handover.request(block.data(), block.size(), 50ms), Delivery::Withdrawn);
  EXPECT_GE(std::chrono::steady_clock::now() - started, 50ms);
  // A frame after the time-out finds no request.
  std::vector<std::uint8_t> frame(16, 9);
  handover.offer(frame.data(), frame.size());
  EXPECT_TRUE(std::all_of(block.begin(), block.end(), [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace kovracam
