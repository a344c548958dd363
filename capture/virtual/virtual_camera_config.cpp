#include "capture/virtual/virtual_camera_config.h"

#include <algorithm>
#include <istream>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string_view>

#include "base/utf16.h"
#include "capture/device/device_record.h"
#include "capture/virtual/config_fields.h"

namespace kovracam {

namespace {

constexpr int kMaxFrameSide = 8192;
constexpr int kMaxFrameRate = 1000;
constexpr int kMaxRateDecimals = 6;         // 1000 * 10^6 still fits an int
constexpr double kMaxFaultSeconds = 86400;  // a day is "never" for any session
// The display name must fit a device field whole, or the device-choice file could not name it.
constexpr std::size_t kMaxIdUnits =
    kDeviceFieldUnits - std::char_traits<char>::length(kVirtualDisplayPrefix);

std::string_view trim(std::string_view s) { return trimConfigText(s); }

// A whole number from 1 to `max`; nullopt otherwise (digits only, so no sign and no overflow).
std::optional<int> parseBounded(std::string_view s, int max) {
  long value = 0;
  for (char c : s) {
    value = value * 10 + (c - '0');
    if (value > max) return std::nullopt;
  }
  if (value < 1) return std::nullopt;
  return static_cast<int>(value);
}

bool looksLikeRate(std::string_view s) {
  const auto point = s.find('.');
  if (point == std::string_view::npos) return allDigits(s);
  return allDigits(s.substr(0, point)) && allDigits(s.substr(point + 1));
}

// A decimal rate as an exact fraction in lowest terms: "7.5" is 15/2, "29.97" is 2997/100.
std::optional<FrameRate> parseRate(std::string_view s) {
  const auto rate = parseDecimalRate(s, kMaxFrameRate, kMaxRateDecimals);
  if (!rate) return std::nullopt;
  return FrameRate{rate->first, rate->second};
}

// One "FOURCC WxH@FPS" item; on failure `fault` says why.
std::optional<CaptureFormat> parseFormat(std::string_view item, std::string& fault) {
  const std::string prefix = "bad format " + quoted(item) + " (";
  const auto gap = item.find_first_of(" \t");
  const std::string_view fourcc = item.substr(0, gap);
  const std::string_view rest = gap == std::string_view::npos ? "" : trim(item.substr(gap));
  const auto x = rest.find('x');
  const auto at = rest.find('@', x == std::string_view::npos ? 0 : x);
  if (x == std::string_view::npos || at == std::string_view::npos ||
      !allDigits(rest.substr(0, x)) || !allDigits(rest.substr(x + 1, at - x - 1)) ||
      !looksLikeRate(rest.substr(at + 1))) {
    fault = prefix + "expected FOURCC WxH@FPS)";
    return std::nullopt;
  }
  const auto subtype = subtypeFromName(std::string(fourcc));
  if (!subtype) {
    fault = prefix + "unknown FOURCC " + quoted(fourcc) + "; expected YUY2, RGB24, MJPG or I420)";
    return std::nullopt;
  }
  const auto width = parseBounded(rest.substr(0, x), kMaxFrameSide);
  const auto height = parseBounded(rest.substr(x + 1, at - x - 1), kMaxFrameSide);
  if (!width || !height) {
    fault = prefix + "width and height must be from 1 to " + std::to_string(kMaxFrameSide) + ")";
    return std::nullopt;
  }
  const auto rate = parseRate(rest.substr(at + 1));
  if (!rate) {
    fault = prefix + "frame rate must be above 0 and at most " + std::to_string(kMaxFrameRate) +
            ", with at most " + std::to_string(kMaxRateDecimals) + " decimals)";
    return std::nullopt;
  }
  return CaptureFormat{*subtype, *width, *height, *rate};
}

std::optional<std::vector<CaptureFormat>> parseFormats(std::string_view value, std::string& fault) {
  std::vector<CaptureFormat> formats;
  std::size_t start = 0;
  while (true) {
    const auto comma = value.find(',', start);
    const auto format = parseFormat(trim(value.substr(start, comma - start)), fault);
    if (!format) return std::nullopt;
    formats.push_back(*format);
    if (comma == std::string_view::npos) return formats;
    start = comma + 1;
  }
}

// Letters of any script (with the marks that complete them), ASCII digits, '.', '_' and '-'.
bool isValidId(const std::string& id, const VirtualCameraPlatform& platform) {
  const auto codePoints = utf8ToUtf32(id);
  if (id.empty() || !codePoints) return false;
  bool afterLetter = false;
  for (const char32_t c : *codePoints) {
    const auto kind = platform.kindOf(c);
    const bool mark = kind == VirtualCameraPlatform::CharacterKind::Mark;
    const bool letter = kind == VirtualCameraPlatform::CharacterKind::Letter;
    const bool asciiOther = (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '-';
    if (!letter && !asciiOther && !(mark && afterLetter)) return false;
    afterLetter = letter || (mark && afterLetter);
  }
  return true;
}

void checkPattern(const std::string& pattern, const VirtualCameraPlatform& platform,
                  std::string& fault) {
  const std::vector<std::string>* known = platform.patternNames();
  if (pattern.empty()) {
    fault = "empty pattern";
    return;
  }
  if (known == nullptr) return;
  std::string list;
  for (const std::string& name : *known) {
    if (name == pattern) return;
    list += (list.empty() ? "" : ", ") + name;
  }
  fault = "unknown pattern " + quoted(pattern) + " (" + std::string(platform.patternSource()) +
          " offers " + list + ")";
}

std::optional<PowerLineSetting> parsePowerLine(std::string_view value) {
  static constexpr std::pair<std::string_view, PowerLineSetting> kSettings[] = {
      {"none", PowerLineSetting::None},
      {"off", PowerLineSetting::Off},
      {"50", PowerLineSetting::Hz50},
      {"60", PowerLineSetting::Hz60},
      {"auto", PowerLineSetting::Auto}};
  for (const auto& [name, setting] : kSettings) {
    if (value == name) return setting;
  }
  return std::nullopt;
}

// "preview, still": the pins beside the capture pin, which is always there.
void applyPins(std::string_view value, VirtualCamera& camera, std::string& fault) {
  std::size_t start = 0;
  while (true) {
    const auto comma = value.find(',', start);
    const std::string_view pin = trim(value.substr(start, comma - start));
    if (pin == "preview") {
      camera.previewPin = true;
    } else if (pin == "still") {
      camera.stillPin = true;
    } else if (pin != "capture") {
      fault =
          "bad pins " + quoted(value) + " (expected capture, preview or still, comma-separated)";
      return;
    }
    if (comma == std::string_view::npos) return;
    start = comma + 1;
  }
}

// "stream+SECONDS" for unplug, "AT+SECONDS" for stall, as the simulated V4L2 cameras take them.
void applyFault(const std::string& key, std::string_view value, VirtualCamera& camera,
                std::string& fault) {
  const auto plus = value.find('+');
  const std::string_view first = value.substr(0, plus);
  const std::string_view after = plus == std::string_view::npos ? "" : value.substr(plus + 1);
  const std::optional<double> seconds = parseConfigSeconds(after, kMaxFaultSeconds);
  if (key == "unplug") {
    if (first == "stream" && seconds) {
      camera.unplugAfterStream = seconds;
      return;
    }
    fault = "bad unplug " + quoted(value) + " (expected stream+SECONDS)";
    return;
  }
  const auto at = parseConfigSeconds(first, kMaxFaultSeconds);
  if (at && seconds) {
    camera.stallAt = *at;
    camera.stallFor = *seconds;
    return;
  }
  fault = "bad stall " + quoted(value) + " (expected AT+SECONDS)";
}

// Stores one key's value in `camera`; false with `fault` set when the value is bad.
bool applyField(const std::string& key, const std::string& value,
                const VirtualCameraPlatform& platform, VirtualCamera& camera, std::string& fault) {
  if (key == "id") {
    if (!isValidId(value, platform)) {
      fault = "bad id " + quoted(value) + " (letters, digits, '.', '_' and '-' only, not empty)";
      return false;
    }
    if (utf16Length(value) > kMaxIdUnits) {
      fault = "id too long (at most " + std::to_string(kMaxIdUnits) + " UTF-16 code units)";
      return false;
    }
    camera.id = value;
  } else if (key == "name") {
    if (value.empty()) {
      fault = "empty name";
    } else if (!utf8ToUtf16(value)) {
      fault = "name is not valid UTF-8";
    }
    camera.name = value;
  } else if (key == "formats") {
    auto formats = parseFormats(value, fault);
    if (formats) camera.formats = std::move(*formats);
  } else if (key == "pattern") {
    checkPattern(value, platform, fault);
    camera.pattern = value;
  } else if (key == "powerline") {
    const auto setting = parsePowerLine(value);
    if (!setting) {
      fault = "bad powerline " + quoted(value) + " (expected none, off, 50, 60 or auto)";
    }
    camera.powerline = setting.value_or(PowerLineSetting::Hz50);
  } else if (key == "pins") {
    applyPins(value, camera, fault);
  } else if (key == "unplug" || key == "stall") {
    applyFault(key, value, camera, fault);
  } else if (key == "end") {
    camera.endAfter = parseConfigSeconds(value, kMaxFaultSeconds);
    if (!camera.endAfter) fault = "bad end " + quoted(value) + " (expected SECONDS)";
  } else if (key == "busy") {
    camera.busy = value == "yes";
    if (!camera.busy && value != "no") {
      fault = "bad busy " + quoted(value) + " (expected yes or no)";
    }
  } else {
    fault = "unknown key " + quoted(key) +
            " (expected id, name, formats, pattern, powerline, pins, unplug, stall, end or busy)";
  }
  return fault.empty();
}

// One camera line; on failure `fault` names the first thing wrong with it.
std::optional<VirtualCamera> parseLine(std::string_view line, const VirtualCameraPlatform& platform,
                                       std::string& fault) {
  VirtualCamera camera;
  const auto fields = splitConfigFields(line, fault);
  if (!fields) return std::nullopt;
  std::set<std::string> seen;
  for (const auto& [key, value] : *fields) {
    seen.insert(key);
    if (!applyField(key, value, platform, camera, fault)) return std::nullopt;
  }
  for (const char* required : {"id", "name", "formats"}) {
    if (!seen.contains(required)) {
      fault = "missing required key " + quoted(required);
      return std::nullopt;
    }
  }
  return camera;
}

}  // namespace

std::vector<VirtualCamera> parseVirtualCameras(std::istream& in, const std::string& fileName,
                                               std::ostream& diagnostics,
                                               const VirtualCameraPlatform& platform) {
  std::vector<VirtualCamera> cameras;
  std::map<std::string, int> idLines;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    // Some editors start a UTF-8 file with a byte-order mark.
    if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    const std::string_view text = trim(line);
    if (text.empty() || text.front() == '#') continue;
    std::string fault;
    auto camera = parseLine(text, platform, fault);
    if (camera) {
      const auto [earlier, fresh] = idLines.emplace(camera->id, number);
      if (!fresh) {
        fault = "duplicate id " + quoted(camera->id) + " (already on line " +
                std::to_string(earlier->second) + ")";
      }
    }
    if (!fault.empty()) {
      diagnostics << fileName << ":" << number << ": " << fault << "\n";
      continue;
    }
    cameras.push_back(std::move(*camera));
  }
  return cameras;
}

std::vector<VirtualCamera> parseVirtualCameraFile(const FileRead& read, const std::string& fileName,
                                                  std::ostream& diagnostics,
                                                  const VirtualCameraPlatform& platform) {
  if (read.outcome != FileRead::Outcome::Read || read.truncated) {
    const std::string fault =
        read.outcome != FileRead::Outcome::Read
            ? read.what
            : "larger than " + std::to_string(kMaxVirtualCameraFileBytes) + " bytes";
    diagnostics << fileName << ": cannot read the virtual camera list (" << fault << ")\n";
    return {};
  }
  std::istringstream in(read.bytes);
  return parseVirtualCameras(in, fileName, diagnostics, platform);
}

}  // namespace kovracam
