// Format enumeration on a V4L2 capture node: ENUM_FMT x ENUM_FRAMESIZES x ENUM_FRAMEINTERVALS.

#include "capture/linux/v4l2/v4l2_formats.h"

#include <linux/videodev2.h>

#include <cerrno>
#include <climits>
#include <numeric>
#include <utility>

namespace kovracam {
namespace {

// No driver lists more entries at one level; guards against one that never answers EINVAL.
constexpr std::uint32_t kMaxEntries = 256;

// Sizes offered out of a stepwise or continuous range: the usual ones that fit it.
constexpr std::pair<std::uint32_t, std::uint32_t> kCommonSizes[] = {
    {160, 120},  {176, 144},  {320, 240},   {352, 288},   {640, 480},   {800, 600},
    {1024, 768}, {1280, 720}, {1280, 1024}, {1920, 1080}, {2560, 1440}, {3840, 2160}};

// Rates offered out of an interval range.
constexpr std::uint32_t kCommonRates[] = {60, 50, 30, 25, 24, 20, 15, 10, 5};

// Asks the node, remembering when it has gone so callers can drop half-read results.
struct Probe {
  V4l2Io& io;
  int fd;
  bool gone = false;

  bool ask(unsigned long request, void* arg) {
    if (io.ioctl(fd, request, arg) == 0) return true;
    if (errno == ENODEV) gone = true;
    return false;
  }
};

bool fits(const v4l2_frmsize_stepwise& range, std::uint32_t width, std::uint32_t height) {
  const std::uint32_t stepW = range.step_width ? range.step_width : 1;
  const std::uint32_t stepH = range.step_height ? range.step_height : 1;
  return width >= range.min_width && width <= range.max_width && height >= range.min_height &&
         height <= range.max_height && (width - range.min_width) % stepW == 0 &&
         (height - range.min_height) % stepH == 0;
}

using Size = std::pair<std::uint32_t, std::uint32_t>;

std::vector<Size> commonSizesWithin(const v4l2_frmsize_stepwise& range) {
  std::vector<Size> sizes;
  for (const auto& size : kCommonSizes) {
    if (fits(range, size.first, size.second)) sizes.push_back(size);
  }
  if (sizes.empty()) sizes.emplace_back(range.max_width, range.max_height);
  return sizes;
}

std::vector<FrameRate> commonRatesWithin(const v4l2_frmival_stepwise& range) {
  std::vector<FrameRate> rates;
  for (const std::uint64_t rate : kCommonRates) {
    // 1/rate lies within [min, max] seconds.
    if (range.min.numerator * rate <= range.min.denominator &&
        range.max.denominator <= rate * range.max.numerator) {
      rates.push_back({static_cast<int>(rate), 1});
    }
  }
  if (rates.empty()) {
    if (auto fastest = rateOfInterval(range.min.numerator, range.min.denominator)) {
      rates.push_back(*fastest);
    }
  }
  return rates;
}

std::vector<Size> sizesOf(Probe& probe, std::uint32_t pixelFormat) {
  std::vector<Size> sizes;
  for (std::uint32_t index = 0; index < kMaxEntries; ++index) {
    v4l2_frmsizeenum entry{};
    entry.index = index;
    entry.pixel_format = pixelFormat;
    if (!probe.ask(VIDIOC_ENUM_FRAMESIZES, &entry)) break;
    if (entry.type != V4L2_FRMSIZE_TYPE_DISCRETE) return commonSizesWithin(entry.stepwise);
    sizes.emplace_back(entry.discrete.width, entry.discrete.height);
  }
  return sizes;
}

std::vector<FrameRate> ratesOf(Probe& probe, std::uint32_t pixelFormat, const Size& size) {
  std::vector<FrameRate> rates;
  for (std::uint32_t index = 0; index < kMaxEntries; ++index) {
    v4l2_frmivalenum entry{};
    entry.index = index;
    entry.pixel_format = pixelFormat;
    entry.width = size.first;
    entry.height = size.second;
    if (!probe.ask(VIDIOC_ENUM_FRAMEINTERVALS, &entry)) break;
    if (entry.type != V4L2_FRMIVAL_TYPE_DISCRETE) return commonRatesWithin(entry.stepwise);
    if (auto rate = rateOfInterval(entry.discrete.numerator, entry.discrete.denominator)) {
      rates.push_back(*rate);
    }
  }
  return rates;
}

std::optional<v4l2_pix_format> currentPixFormat(Probe& probe) {
  v4l2_format format{};
  format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (!probe.ask(VIDIOC_G_FMT, &format)) return std::nullopt;
  return format.fmt.pix;
}

std::optional<FrameRate> currentRate(Probe& probe) {
  v4l2_streamparm parm{};
  parm.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
  if (!probe.ask(VIDIOC_G_PARM, &parm)) return std::nullopt;
  const auto& interval = parm.parm.capture.timeperframe;
  return rateOfInterval(interval.numerator, interval.denominator);
}

}  // namespace

std::optional<Subtype> subtypeOfPixelFormat(std::uint32_t pixelFormat) {
  switch (pixelFormat) {
    case V4L2_PIX_FMT_YUYV:
      return Subtype::YUY2;
    case V4L2_PIX_FMT_BGR24:
      return Subtype::RGB24;
    case V4L2_PIX_FMT_MJPEG:
      return Subtype::MJPG;
    case V4L2_PIX_FMT_YUV420:
      return Subtype::I420;
    default:
      return std::nullopt;
  }
}

std::uint32_t pixelFormatOfSubtype(Subtype subtype) {
  switch (subtype) {
    case Subtype::YUY2:
      return V4L2_PIX_FMT_YUYV;
    case Subtype::RGB24:
      return V4L2_PIX_FMT_BGR24;
    case Subtype::MJPG:
      return V4L2_PIX_FMT_MJPEG;
    case Subtype::I420:
      return V4L2_PIX_FMT_YUV420;
  }
  return 0;
}

std::optional<FrameRate> rateOfInterval(std::uint32_t numerator, std::uint32_t denominator) {
  if (numerator == 0 || denominator == 0) return std::nullopt;
  const std::uint32_t divisor = std::gcd(numerator, denominator);
  std::uint32_t num = denominator / divisor;
  std::uint32_t den = numerator / divisor;
  // A fraction too wide for FrameRate loses precision rather than overflowing.
  while (num > INT_MAX || den > INT_MAX) {
    num >>= 1;
    den >>= 1;
  }
  if (num == 0 || den == 0) return std::nullopt;
  return FrameRate{static_cast<int>(num), static_cast<int>(den)};
}

std::optional<CaptureFormat> readCurrentFormat(V4l2Io& io, int fd) {
  Probe probe{io, fd};
  const auto pix = currentPixFormat(probe);
  if (!pix) return std::nullopt;
  const auto subtype = subtypeOfPixelFormat(pix->pixelformat);
  if (!subtype) return std::nullopt;
  const Size size{pix->width, pix->height};
  auto rate = currentRate(probe);
  if (!rate && !probe.gone) {
    // Without G_PARM the driver runs at the first rate it lists for the size.
    const auto rates = ratesOf(probe, pix->pixelformat, size);
    rate = rates.empty() ? kUnknownFrameRate : rates.front();
  }
  if (probe.gone) return std::nullopt;
  return CaptureFormat{*subtype, static_cast<int>(size.first), static_cast<int>(size.second),
                       *rate};
}

std::vector<CaptureFormat> readOfferedFormats(V4l2Io& io, int fd) {
  Probe probe{io, fd};
  const auto current = currentPixFormat(probe);
  const FrameRate fallbackRate = currentRate(probe).value_or(kUnknownFrameRate);
  std::vector<CaptureFormat> formats;
  for (std::uint32_t index = 0; index < kMaxEntries && !probe.gone; ++index) {
    v4l2_fmtdesc desc{};
    desc.index = index;
    desc.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    if (!probe.ask(VIDIOC_ENUM_FMT, &desc)) break;
    const auto subtype = subtypeOfPixelFormat(desc.pixelformat);
    if (!subtype) continue;
    auto sizes = sizesOf(probe, desc.pixelformat);
    if (sizes.empty() && current && current->pixelformat == desc.pixelformat) {
      sizes.emplace_back(current->width, current->height);
    }
    for (const auto& size : sizes) {
      auto rates = ratesOf(probe, desc.pixelformat, size);
      if (rates.empty()) rates.push_back(fallbackRate);
      for (const auto& rate : rates) {
        formats.push_back(
            {*subtype, static_cast<int>(size.first), static_cast<int>(size.second), rate});
      }
    }
  }
  if (probe.gone) return {};
  return formats;
}

}  // namespace kovracam
