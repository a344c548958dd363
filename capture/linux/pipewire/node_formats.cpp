#include "capture/linux/pipewire/node_formats.h"

#include <spa/param/format-utils.h>
#include <spa/param/video/format.h>
#include <spa/param/video/raw.h>
#include <spa/pod/iter.h>

#include <algorithm>
#include <cstdint>

namespace kovracam {
namespace {

// The values a property offers: a fixed value, every item of an enumeration, the default of a
// range. `T` is the pod's body type.
template <typename T>
std::vector<T> offeredValues(const spa_pod* object, std::uint32_t key, std::uint32_t podType) {
  const spa_pod_prop* prop =
      spa_pod_find_prop(object, nullptr, key);  // NOLINT: the lookup wants no start hint
  if (!prop) return {};
  std::uint32_t count = 0;
  std::uint32_t choice = SPA_CHOICE_None;
  const spa_pod* values = spa_pod_get_values(&prop->value, &count, &choice);
  if (values->type != podType || values->size < sizeof(T) || count == 0) return {};
  const T* items = static_cast<const T*>(SPA_POD_BODY_CONST(values));
  std::vector<T> result;
  if (choice == SPA_CHOICE_Enum && count > 1) {
    // The first entry is the default, repeated among the alternatives.
    result.assign(items + 1, items + count);
  } else {
    result.push_back(items[0]);
  }
  return result;
}

struct Layout {
  Subtype subtype;
  const char* name;
};

Layout layoutOf(std::uint32_t id) {
  switch (id) {
    case SPA_VIDEO_FORMAT_YUY2:
      return {Subtype::YUY2, "YUY2"};
    case SPA_VIDEO_FORMAT_BGR:
      return {Subtype::RGB24, "BGR"};
    case SPA_VIDEO_FORMAT_RGB:
      return {Subtype::RGB24, "RGB"};
    case SPA_VIDEO_FORMAT_I420:
      return {Subtype::I420, "I420"};
    default:
      return {Subtype::I420, ""};
  }
}

}  // namespace

void appendNodeFormats(const spa_pod* param, std::vector<NodeFormat>& formats) {
  std::uint32_t mediaType = 0;
  std::uint32_t mediaSubtype = 0;
  if (!param || spa_format_parse(param, &mediaType, &mediaSubtype) < 0 ||
      mediaType != SPA_MEDIA_TYPE_video) {
    return;
  }
  std::vector<Layout> layouts;
  if (mediaSubtype == SPA_MEDIA_SUBTYPE_raw) {
    for (const auto id :
         offeredValues<std::uint32_t>(param, SPA_FORMAT_VIDEO_format, SPA_TYPE_Id)) {
      layouts.push_back(layoutOf(id));
    }
  } else if (mediaSubtype == SPA_MEDIA_SUBTYPE_mjpg) {
    layouts.push_back({Subtype::MJPG, ""});
  } else {
    return;  // other compressed streams: nothing we could even name
  }
  const auto sizes = offeredValues<spa_rectangle>(param, SPA_FORMAT_VIDEO_size, SPA_TYPE_Rectangle);
  auto rates = offeredValues<spa_fraction>(param, SPA_FORMAT_VIDEO_framerate, SPA_TYPE_Fraction);
  // A node that leaves the rate open (0/1 or no property) delivers what the camera runs at.
  if (rates.empty()) rates.push_back({0, 1});
  for (const Layout& layout : layouts) {
    for (const spa_rectangle& size : sizes) {
      if (size.width == 0 || size.height == 0 || size.width > 16384 || size.height > 16384) {
        continue;
      }
      for (const spa_fraction& rate : rates) {
        CaptureFormat format;
        format.subtype = layout.subtype;
        format.width = static_cast<int>(size.width);
        format.height = static_cast<int>(size.height);
        format.fps = {static_cast<int>(std::min<std::uint32_t>(rate.num, 1000000)),
                      static_cast<int>(std::max<std::uint32_t>(
                          std::min<std::uint32_t>(rate.denom, 1000000), 1))};
        formats.push_back({format, layout.name});
      }
    }
  }
}

void dropDuplicateLayouts(std::vector<NodeFormat>& formats) {
  std::vector<NodeFormat> kept;
  for (const NodeFormat& candidate : formats) {
    auto same = std::find_if(kept.begin(), kept.end(),
                             [&](const NodeFormat& k) { return k.format == candidate.format; });
    if (same == kept.end()) {
      kept.push_back(candidate);
    } else if (candidate.layout == "BGR") {
      same->layout = candidate.layout;
    }
  }
  formats = std::move(kept);
}

}  // namespace kovracam
