// Cost of building the conversion tables, and YUY2 to bottom-up BGR throughput of the table
// conversion beside libyuv and swscale on the same frames, in the same run.

#include "capture/pixel/pixel_conversion.h"

#include <benchmark/benchmark.h>
#include <libyuv.h>

extern "C" {
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace kovracam {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FrameSize {
  int width;
  int height;
};

constexpr FrameSize kSizes[] = {{640, 480}, {1280, 720}, {1920, 1080}};
constexpr const char* kScenes[] = {"natural", "noise"};
constexpr const char* kConverters[] = {"ours", "libyuv", "swscale"};

std::uint8_t ToByte(double x) { return static_cast<std::uint8_t>(std::clamp(x, 0.0, 255.0)); }

struct Yuv {
  double y, u, v;
};

// A smooth scene: lit gradients with a slow ripple, a yellow disc, a blue card and a red bar,
// roughly what a camera sees, so neighbouring pixels hit neighbouring table entries.
Yuv Scene(double x, double y) {
  Yuv p{40 + 150 * x * (0.6 + 0.4 * y) + 15 * std::sin(18.85 * y), 128 + 50 * (y - 0.5),
        128 + 50 * (x - 0.5)};
  const double dx = (x - 0.3) * 16.0 / 9.0;
  const double dy = y - 0.4;
  if (dx * dx + dy * dy < 0.04) p = {180 - 120 * dy, 60, 150};
  if (x > 0.55 && x < 0.8 && y > 0.5 && y < 0.85) p = {70 + 40 * (x - 0.55), 180, 110};
  if (y > 0.1 && y < 0.16 && x > 0.4) p = {90, 100, 210 - 40 * x};
  return p;
}

Bytes NaturalFrame(int width, int height) {
  Bytes frame(static_cast<std::size_t>(width) * height * 2);
  std::uint8_t* out = frame.data();
  for (int row = 0; row < height; ++row) {
    const double y = (row + 0.5) / height;
    for (int col = 0; col < width; col += 2, out += 4) {
      const Yuv left = Scene((col + 0.5) / width, y);
      const Yuv right = Scene((col + 1.5) / width, y);
      out[0] = ToByte(left.y);
      out[1] = ToByte((left.u + right.u) / 2);
      out[2] = ToByte(right.y);
      out[3] = ToByte((left.v + right.v) / 2);
    }
  }
  return frame;
}

Bytes NoiseFrame(int width, int height) {
  Bytes frame(static_cast<std::size_t>(width) * height * 2);
  std::mt19937 random(12345);
  std::uniform_int_distribution<int> byte(0, 255);
  for (auto& b : frame) b = static_cast<std::uint8_t>(byte(random));
  return frame;
}

// Frames are made once and shared by the three converters, so all of them see the same bytes.
const Bytes& Frame(const std::string& scene, FrameSize size) {
  static std::map<std::string, Bytes> frames;
  const std::string key =
      scene + "/" + std::to_string(size.width) + "x" + std::to_string(size.height);
  auto it = frames.find(key);
  if (it == frames.end()) {
    Bytes frame = scene == "noise" ? NoiseFrame(size.width, size.height)
                                   : NaturalFrame(size.width, size.height);
    it = frames.emplace(key, std::move(frame)).first;
  }
  return it->second;
}

const ConversionTables& Tables() {
  static const ConversionTables* tables = [] {
    auto* built = new ConversionTables;
    BuildConversionTables(*built);
    return built;
  }();
  return *tables;
}

// One frame at a time, the same output layout for every converter: bottom-up B G R rows of
// rgb24Stride bytes with zeroed padding.
class Converter {
 public:
  virtual ~Converter() = default;
  virtual void Convert(std::uint8_t* destination, const std::uint8_t* source) = 0;
};

class OurConverter : public Converter {
 public:
  explicit OurConverter(FrameSize size) : size_(size) {}
  void Convert(std::uint8_t* destination, const std::uint8_t* source) override {
    ConvertYUY2ToRGB24(destination, size_.height, size_.width, source, Tables());
  }

 private:
  FrameSize size_;
};

// libyuv has no direct YUY2 to RGB24 path, so each row goes through a one-row ARGB scratch.
class LibyuvConverter : public Converter {
 public:
  explicit LibyuvConverter(FrameSize size) : size_(size), scratch_(size.width * 4) {}
  void Convert(std::uint8_t* destination, const std::uint8_t* source) override {
    const int sourceStride = size_.width * 2;
    const std::size_t stride = rgb24Stride(size_.width);
    const std::size_t pixelBytes = static_cast<std::size_t>(size_.width) * 3;
    for (int row = 0; row < size_.height; ++row) {
      std::uint8_t* out = destination + stride * (size_.height - 1 - row);
      libyuv::YUY2ToARGB(source + static_cast<std::size_t>(row) * sourceStride, sourceStride,
                         scratch_.data(), size_.width * 4, size_.width, 1);
      libyuv::ARGBToRGB24(scratch_.data(), size_.width * 4, out, static_cast<int>(stride),
                          size_.width, 1);
      std::memset(out + pixelBytes, 0, stride - pixelBytes);
    }
  }

 private:
  FrameSize size_;
  Bytes scratch_;
};

// A negative destination stride starting at the last row makes swscale write bottom-up. It
// leaves row padding alone, and the destination starts zeroed.
class SwscaleConverter : public Converter {
 public:
  explicit SwscaleConverter(FrameSize size)
      : size_(size),
        context_(sws_getContext(size.width, size.height, AV_PIX_FMT_YUYV422, size.width,
                                size.height, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr,
                                nullptr)) {}
  ~SwscaleConverter() override { sws_freeContext(context_); }
  SwscaleConverter(const SwscaleConverter&) = delete;
  SwscaleConverter& operator=(const SwscaleConverter&) = delete;

  bool ok() const { return context_ != nullptr; }
  void Convert(std::uint8_t* destination, const std::uint8_t* source) override {
    const int stride = static_cast<int>(rgb24Stride(size_.width));
    const std::uint8_t* const sources[4] = {source, nullptr, nullptr, nullptr};
    const int sourceStrides[4] = {size_.width * 2, 0, 0, 0};
    std::uint8_t* const destinations[4] = {
        destination + static_cast<std::size_t>(stride) * (size_.height - 1), nullptr, nullptr,
        nullptr};
    const int destinationStrides[4] = {-stride, 0, 0, 0};
    sws_scale(context_, sources, sourceStrides, 0, size_.height, destinations, destinationStrides);
  }

 private:
  FrameSize size_;
  SwsContext* context_;
};

std::unique_ptr<Converter> MakeConverter(const std::string& name, FrameSize size) {
  if (name == "libyuv") return std::make_unique<LibyuvConverter>(size);
  if (name == "swscale") {
    auto converter = std::make_unique<SwscaleConverter>(size);
    if (!converter->ok()) return nullptr;
    return converter;
  }
  return std::make_unique<OurConverter>(size);
}

void BM_BuildTables(benchmark::State& state) {
  ConversionTables tables;
  for (auto _ : state) {
    BuildConversionTables(tables);
    benchmark::DoNotOptimize(tables.m_pppTableG.get());
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BuildTables)->Unit(benchmark::kMillisecond);

void RunConversion(benchmark::State& state, const std::string& converterName,
                   const std::string& scene, FrameSize size) {
  Tables();  // built before timing starts
  const Bytes& source = Frame(scene, size);
  Bytes destination(rgb24Stride(size.width) * size.height, 0);
  const std::unique_ptr<Converter> converter = MakeConverter(converterName, size);
  if (!converter) {
    state.SkipWithError("converter could not be set up");
    return;
  }
  for (auto _ : state) {
    converter->Convert(destination.data(), source.data());
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  const double megapixels = static_cast<double>(size.width) * size.height / 1e6;
  state.counters["MP/s"] = benchmark::Counter(megapixels * static_cast<double>(state.iterations()),
                                              benchmark::Counter::kIsRate);
}

std::string ConversionName(const std::string& scene, FrameSize size, const std::string& converter) {
  return "YUY2ToRGB24/" + scene + "/" + std::to_string(size.width) + "x" +
         std::to_string(size.height) + "/" + converter;
}

void RegisterConversions() {
  for (const char* scene : kScenes) {
    for (FrameSize size : kSizes) {
      for (const char* converter : kConverters) {
        benchmark::RegisterBenchmark(
            ConversionName(scene, size, converter).c_str(),
            [=](benchmark::State& state) { RunConversion(state, converter, scene, size); })
            ->Unit(benchmark::kMicrosecond);
      }
    }
  }
}

// Keeps each run's megapixel rate so the ratios can be printed once everything has run.
class RateRecorder : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const auto it = run.counters.find("MP/s");
      if (run.run_type == Run::RT_Iteration && !run.error_occurred && it != run.counters.end()) {
        rates_[run.benchmark_name()] = it->second.value;
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  const std::map<std::string, double>& rates() const { return rates_; }

 private:
  std::map<std::string, double> rates_;
};

void PrintRatios(const std::map<std::string, double>& rates) {
  std::printf("\nThroughput of ours relative to the others (above 1 means ours is faster):\n");
  for (const char* scene : kScenes) {
    for (FrameSize size : kSizes) {
      const auto ours = rates.find(ConversionName(scene, size, "ours"));
      if (ours == rates.end()) continue;
      std::printf("  %-8s %5dx%-5d", scene, size.width, size.height);
      for (const char* other : {"libyuv", "swscale"}) {
        const auto theirs = rates.find(ConversionName(scene, size, other));
        if (theirs != rates.end() && theirs->second > 0) {
          std::printf("  vs %s %5.2fx", other, ours->second / theirs->second);
        }
      }
      std::printf("\n");
    }
  }
}

// The comparison is only fair if the others produce the same picture: report how far apart
// the outputs are on the natural scene (all use BT.601 studio range, with their own rounding).
void PrintAgreement() {
  const FrameSize size = kSizes[0];
  const Bytes& source = Frame("natural", size);
  const std::size_t bytes = rgb24Stride(size.width) * size.height;
  Bytes ours(bytes, 0);
  MakeConverter("ours", size)->Convert(ours.data(), source.data());
  std::printf("\nLargest byte difference from ours on natural %dx%d:", size.width, size.height);
  for (const char* other : {"libyuv", "swscale"}) {
    Bytes theirs(bytes, 0);
    const std::unique_ptr<Converter> converter = MakeConverter(other, size);
    if (!converter) continue;
    converter->Convert(theirs.data(), source.data());
    int largest = 0;
    for (std::size_t i = 0; i < bytes; ++i)
      largest = std::max(largest, std::abs(ours[i] - theirs[i]));
    std::printf("  %s %d", other, largest);
  }
  std::printf("\n");
}

}  // namespace
}  // namespace kovracam

int main(int argc, char** argv) {
  av_log_set_level(AV_LOG_ERROR);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  kovracam::RegisterConversions();
  kovracam::RateRecorder reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  kovracam::PrintRatios(reporter.rates());
  kovracam::PrintAgreement();
  benchmark::Shutdown();
  return 0;
}
