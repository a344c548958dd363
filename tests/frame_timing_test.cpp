#include "capture/frame_timing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace kovracam {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

struct ManualClock {
  std::int64_t now = 5 * kSecond;
  std::function<std::int64_t()> fn() {
    return [this] { return now; };
  }
};

// Delivers `frames` frames evenly over `seconds`, the last one at the end.
void deliver(FrameTiming& timing, ManualClock& clock, int frames, double seconds) {
  const auto step = static_cast<std::int64_t>(seconds * kSecond / frames);
  for (int i = 0; i < frames; ++i) {
    clock.now += step;
    timing.stamp();
  }
}

// A started graph's timing with a clock the test moves.
class FrameTimingTest : public ::testing::Test {
 protected:
  FrameTimingTest() { timing.reset(); }
  ManualClock clock;
  FrameTiming timing{clock.fn()};
};

TEST_F(FrameTimingTest, ThirtyEvenFramesInOneSecondReadThirty) {
  deliver(timing, clock, 30, 1.0);
  EXPECT_NEAR(timing.read(), 30.0, 1e-6);
  deliver(timing, clock, 15, 2.0);
  EXPECT_NEAR(timing.read(), 7.5, 1e-6);
}

TEST_F(FrameTimingTest, NoFrameSinceLastReadingReadsZeroEvenAfterThirty) {
  deliver(timing, clock, 30, 1.0);
  ASSERT_NEAR(timing.read(), 30.0, 1e-6);
  clock.now += kSecond;
  EXPECT_DOUBLE_EQ(timing.read(), 0.0);
}

TEST_F(FrameTimingTest, FirstReadingAfterResetCountsFromReset) {
  deliver(timing, clock, 10, 1.0);
  clock.now += 10 * kSecond;  // a long pause, then a new start
  timing.reset();
  // Five frames, the last 0.5 s after the start: the interval runs from the start.
  deliver(timing, clock, 5, 0.5);
  EXPECT_NEAR(timing.read(), 10.0, 1e-6);
}

TEST_F(FrameTimingTest, ReadingMeasuresBetweenLastFrames) {
  deliver(timing, clock, 30, 1.0);
  clock.now += kSecond / 2;  // the reading comes late; the interval still ends at the last frame
  EXPECT_NEAR(timing.read(), 30.0, 1e-6);
}

TEST(FrameTimingThreads, ConcurrentReadingsSeeWholeFramesOnly) {
  // Each stamp advances the clock by exactly one millisecond, so any reading that saw frames
  // must say 1000 fps; a torn count or stamp would show as another value.
  std::atomic<std::int64_t> now{kSecond};
  FrameTiming timing([&now] { return now.fetch_add(kSecond / 1000) + kSecond / 1000; });
  timing.reset();
  std::thread streaming([&] {
    for (int i = 0; i < 20000; ++i) timing.stamp();
  });
  int readingsWithFrames = 0;
  for (int i = 0; i < 2000; ++i) {
    const double rate = timing.read();
    if (rate != 0.0) {
      ++readingsWithFrames;
      ASSERT_NEAR(rate, 1000.0, 1e-6);
    }
  }
  streaming.join();
  const double last = timing.read();
  EXPECT_TRUE(last == 0.0 || std::abs(last - 1000.0) < 1e-6);
  EXPECT_GT(readingsWithFrames + (last != 0.0), 0);
}

}  // namespace
}  // namespace kovracam
