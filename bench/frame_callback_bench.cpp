// Cost of the per-frame callback on the streaming thread when no snapshot is pending: the work
// every frame pays.

#include <benchmark/benchmark.h>

#include <vector>

#include "capture/frame_timing.h"
#include "capture/linux/video_cap.h"

namespace {

void BM_BufferCB(benchmark::State& state) {
  kovracam::CVideoCap engine;  // no device is opened: only the callback runs
  std::vector<std::uint8_t> frame(static_cast<std::size_t>(state.range(0)) * state.range(1) * 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(engine.BufferCB(0.0, frame.data(), frame.size()));
  }
  state.SetLabel("per frame, no snapshot pending");
}
BENCHMARK(BM_BufferCB)->Args({640, 480})->Args({1920, 1080});

void BM_FrameRateReading(benchmark::State& state) {
  kovracam::CVideoCap engine;  // no device is opened: only the callback runs
  double rate = 0;
  for (auto _ : state) {
    engine.BufferCB(0.0, nullptr, 0);
    benchmark::DoNotOptimize(engine.GetFrameRate(&rate));
  }
}
BENCHMARK(BM_FrameRateReading);

}  // namespace

BENCHMARK_MAIN();
