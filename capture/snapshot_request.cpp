#include "capture/snapshot_request.h"

#include "capture/pixel/pixel_conversion.h"

namespace kovracam {

std::optional<SnapshotSizes> snapshotSizes(int width, int height, bool yuy2, std::size_t length) {
  if (width <= 0 || height <= 0) return std::nullopt;
  SnapshotSizes sizes;
  sizes.rows = static_cast<std::size_t>(height);
  sizes.pictureStride = rgb24Stride(width);
  if (length < sizes.pictureStride * sizes.rows) return std::nullopt;
  sizes.frameBytes =
      (yuy2 ? static_cast<std::size_t>(width) * 2 : sizes.pictureStride) * sizes.rows;
  return sizes;
}

std::chrono::nanoseconds snapshotTimeout(std::chrono::nanoseconds frameInterval) {
  constexpr auto kGrace = std::chrono::seconds(2);
  const auto interval =
      frameInterval > std::chrono::nanoseconds::zero() ? frameInterval : std::chrono::seconds(1);
  return kGrace + interval * 5;
}

}  // namespace kovracam
