#include "capture/frame_timing.h"

namespace kovracam {

FrameTiming::FrameTiming(std::function<std::int64_t()> clock) : m_clock(std::move(clock)) {}

void FrameTiming::stamp() {
  const std::int64_t now = m_clock();
  std::lock_guard lock(m_csFrames);
  ++m_nFrames;
  m_liLastSample = now;
}

void FrameTiming::reset() {
  const std::int64_t now = m_clock();
  {
    std::lock_guard lock(m_csFrames);
    m_liLastSample = now;
    m_nFrames = 0;
  }
  m_liPrevSample = now;
  m_dLastRate = 0.0;
}

double FrameTiming::read() {
  std::uint32_t n;
  std::int64_t t1;
  {
    std::lock_guard lock(m_csFrames);
    n = m_nFrames;
    t1 = m_liLastSample;
    m_nFrames = 0;
  }
  const std::int64_t t0 = m_liPrevSample;
  m_liPrevSample = t1;
  constexpr double kTicksPerSecond = 1e9;
  const double elapsed = static_cast<double>(t1 - t0);
  return elapsed >= 1e-10 ? static_cast<double>(n) / (elapsed / kTicksPerSecond) : m_dLastRate;
}

}  // namespace kovracam
