#include "capture/frame_timing.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace kovracam {
namespace {

constexpr std::int64_t kSecond = 1'000'000'000;

TEST(FrameTiming, ReadsTheRateBetweenTheLastFramesOfEachInterval) {
  std::int64_t now = 5 * kSecond;
  FrameTiming timing([&now] { return now; });
  timing.reset();
  // `frames` frames evenly over `seconds`, the last one at the end.
  const auto deliver = [&](int frames, double seconds) {
    for (int i = 0; i < frames; ++i) {
      now += static_cast<std::int64_t>(seconds * kSecond / frames);
      timing.stamp();
    }
  };
  deliver(30, 1.0);
  EXPECT_NEAR(timing.read(), 30.0, 1e-6);
  deliver(15, 2.0);
  now += kSecond / 2;  // a late reading still ends its interval at the last frame
  EXPECT_NEAR(timing.read(), 7.5, 1e-6);
  now += kSecond;
  EXPECT_DOUBLE_EQ(timing.read(), 0.0);  // no frame since the last reading
  now += 10 * kSecond;                   // a long pause, then a new start
  timing.reset();
  deliver(5, 0.5);  // the first interval runs from the start
  EXPECT_NEAR(timing.read(), 10.0, 1e-6);
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
