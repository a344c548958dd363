#include "tools/v4l2sim/sim_config.h"

#include <linux/version.h>

#include <algorithm>
#include <charconv>
#include <istream>
#include <map>
#include <ostream>
#include <set>
#include <stdexcept>
#include <tuple>

#include "capture/virtual/config_fields.h"

namespace kovracam::v4l2sim {
namespace {

constexpr int kMaxRate = 1000;
constexpr int kMaxRateDecimals = 6;
constexpr std::uint32_t kMaxSide = 8192;

struct KnownControl {
  const char* key;
  std::uint32_t id;
  const char* name;  // as uvcvideo names it
};

constexpr KnownControl kKnownControls[] = {
    {"brightness", V4L2_CID_BRIGHTNESS, "Brightness"},
    {"contrast", V4L2_CID_CONTRAST, "Contrast"},
    {"saturation", V4L2_CID_SATURATION, "Saturation"},
    {"hue", V4L2_CID_HUE, "Hue"},
    {"gamma", V4L2_CID_GAMMA, "Gamma"},
    {"gain", V4L2_CID_GAIN, "Gain"},
    {"sharpness", V4L2_CID_SHARPNESS, "Sharpness"},
    {"backlight_compensation", V4L2_CID_BACKLIGHT_COMPENSATION, "Backlight Compensation"},
    {"white_balance_automatic", V4L2_CID_AUTO_WHITE_BALANCE, "White Balance, Automatic"},
    {"white_balance_temperature", V4L2_CID_WHITE_BALANCE_TEMPERATURE, "White Balance Temperature"},
    {"auto_exposure", V4L2_CID_EXPOSURE_AUTO, "Auto Exposure"},
    {"exposure_time_absolute", V4L2_CID_EXPOSURE_ABSOLUTE, "Exposure Time, Absolute"},
    {"focus_automatic_continuous", V4L2_CID_FOCUS_AUTO, "Focus, Automatic Continuous"},
    {"focus_absolute", V4L2_CID_FOCUS_ABSOLUTE, "Focus, Absolute"},
    {"zoom_absolute", V4L2_CID_ZOOM_ABSOLUTE, "Zoom, Absolute"},
    {"pan_absolute", V4L2_CID_PAN_ABSOLUTE, "Pan, Absolute"},
    {"tilt_absolute", V4L2_CID_TILT_ABSOLUTE, "Tilt, Absolute"},
};

struct Fault : std::runtime_error {
  using std::runtime_error::runtime_error;
};

std::vector<std::string_view> split(std::string_view text, char separator) {
  std::vector<std::string_view> parts;
  int depth = 0;  // separators inside {} belong to a menu
  std::size_t start = 0;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && text[i] == '{') ++depth;
    if (i < text.size() && text[i] == '}') --depth;
    if (i == text.size() || (text[i] == separator && depth == 0)) {
      if (const auto part = trimConfigText(text.substr(start, i - start)); !part.empty()) {
        parts.push_back(part);
      }
      start = i + 1;
    }
  }
  return parts;
}

std::vector<std::string_view> words(std::string_view text) {
  std::vector<std::string_view> out;
  std::size_t start = 0;
  while ((start = text.find_first_not_of(" \t", start)) != std::string_view::npos) {
    const auto end = std::min(text.find_first_of(" \t", start), text.size());
    out.push_back(text.substr(start, end - start));
    start = end;
  }
  return out;
}

template <typename Number>
Number number(std::string_view text, const std::string& what) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) {
    throw Fault("bad " + what + " " + quoted(text));
  }
  return value;
}

double seconds(std::string_view text, const std::string& what) {
  const double value = number<double>(text, what);
  if (value < 0) throw Fault("bad " + what + " " + quoted(text) + " (seconds, not negative)");
  return value;
}

std::uint32_t side(std::string_view text) {
  const auto value = number<std::uint32_t>(text, "size");
  if (value < 1 || value > kMaxSide) throw Fault("bad size " + quoted(text));
  return value;
}

// "640x480"
std::pair<std::uint32_t, std::uint32_t> size(std::string_view text) {
  const auto x = text.find('x');
  if (x == std::string_view::npos) throw Fault("bad size " + quoted(text) + " (expected WxH)");
  return {side(text.substr(0, x)), side(text.substr(x + 1))};
}

// "30/15/7.5": frame rates, as the intervals a driver reports.
std::vector<v4l2_fract> intervals(std::string_view text) {
  std::vector<v4l2_fract> out;
  for (const auto rate : split(text, '/')) {
    const auto fraction = parseDecimalRate(rate, kMaxRate, kMaxRateDecimals);
    if (!fraction) throw Fault("bad frame rate " + quoted(rate));
    out.push_back({static_cast<std::uint32_t>(fraction->second),
                   static_cast<std::uint32_t>(fraction->first)});
  }
  if (out.empty()) throw Fault("no frame rate");
  return out;
}

// "YUY2 640x480@30/15 320x240@30" or "RGB24 160x120-640x480/16x8@30"
Format format(std::string_view item) {
  const auto parts = words(item);
  static const std::pair<std::string_view, std::uint32_t> kFourccs[] = {
      {"YUY2", V4L2_PIX_FMT_YUYV}, {"RGB24", V4L2_PIX_FMT_BGR24}};
  Format out;
  const auto known = std::find_if(std::begin(kFourccs), std::end(kFourccs), [&](const auto& f) {
    return !parts.empty() && f.first == parts[0];
  });
  if (known == std::end(kFourccs)) {
    throw Fault("bad format " + quoted(item) + " (expected YUY2 or RGB24, then sizes)");
  }
  out.pixelFormat = known->second;
  if (parts.size() < 2) throw Fault("format " + quoted(item) + " has no size");
  for (std::size_t i = 1; i < parts.size(); ++i) {
    const auto at = parts[i].find('@');
    if (at == std::string_view::npos) throw Fault("bad size " + quoted(parts[i]) + " (no @rate)");
    const std::string_view sizes = parts[i].substr(0, at);
    const auto rates = intervals(parts[i].substr(at + 1));
    if (const auto dash = sizes.find('-'); dash != std::string_view::npos) {
      const auto slash = sizes.find('/', dash);
      const auto [minW, minH] = size(sizes.substr(0, dash));
      const auto [maxW, maxH] = size(sizes.substr(dash + 1, slash - dash - 1));
      const auto [stepW, stepH] =
          slash == std::string_view::npos ? std::pair{1u, 1u} : size(sizes.substr(slash + 1));
      if (parts.size() != 2 || maxW < minW || maxH < minH) {
        throw Fault("bad size range " + quoted(parts[i]) + " (one a format, min below max)");
      }
      out.sizeRange = v4l2_frmsize_stepwise{minW, maxW, stepW, minH, maxH, stepH};
      out.rangeIntervals = rates;
    } else {
      const auto [w, h] = size(sizes);
      out.sizes.push_back({w, h, rates});
    }
  }
  return out;
}

// "{1:Manual Mode|3:Aperture Priority Mode}"
std::map<std::uint32_t, std::string> menu(std::string_view text) {
  std::map<std::uint32_t, std::string> out;
  for (const auto entry : split(text, '|')) {
    const auto colon = entry.find(':');
    if (colon == std::string_view::npos) throw Fault("bad menu entry " + quoted(entry));
    out[number<std::uint32_t>(trimConfigText(entry.substr(0, colon)), "menu index")] =
        std::string(trimConfigText(entry.substr(colon + 1)));
  }
  return out;
}

// "brightness int -64..64/2 =0" or "auto_exposure menu 1..3 =3 {1:Manual Mode|3:Aperture}"
Control control(std::string_view item) {
  Control c;
  const auto brace = item.find('{');
  if (brace != std::string_view::npos) {
    if (item.back() != '}') throw Fault("bad menu in " + quoted(item));
    c.menu = menu(item.substr(brace + 1, item.size() - brace - 2));
    item = trimConfigText(item.substr(0, brace));
  }
  const auto parts = words(item);
  const auto known =
      std::find_if(std::begin(kKnownControls), std::end(kKnownControls),
                   [&](const auto& k) { return !parts.empty() && parts[0] == k.key; });
  if (known == std::end(kKnownControls)) throw Fault("unknown control in " + quoted(item));
  c.id = known->id;
  c.name = known->name;
  static const std::pair<std::string_view, std::uint32_t> kTypes[] = {
      {"int", V4L2_CTRL_TYPE_INTEGER},   {"bool", V4L2_CTRL_TYPE_BOOLEAN},
      {"menu", V4L2_CTRL_TYPE_MENU},     {"intmenu", V4L2_CTRL_TYPE_INTEGER_MENU},
      {"button", V4L2_CTRL_TYPE_BUTTON}, {"int64", V4L2_CTRL_TYPE_INTEGER64}};
  const auto type = std::find_if(std::begin(kTypes), std::end(kTypes), [&](const auto& t) {
    return parts.size() > 1 && parts[1] == t.first;
  });
  if (type == std::end(kTypes)) throw Fault("bad control type in " + quoted(item));
  c.type = type->second;
  if (c.type == V4L2_CTRL_TYPE_BOOLEAN) c.maximum = 1;
  if (c.type == V4L2_CTRL_TYPE_BUTTON) c.flags = V4L2_CTRL_FLAG_WRITE_ONLY;
  for (std::size_t i = 2; i < parts.size(); ++i) {
    if (parts[i].front() == '=') {
      c.defaultValue = number<std::int64_t>(parts[i].substr(1), "default");
      continue;
    }
    const auto dots = parts[i].find("..");
    if (dots == std::string_view::npos) throw Fault("bad range " + quoted(parts[i]));
    const auto slash = parts[i].find('/', dots);
    c.minimum = number<std::int64_t>(parts[i].substr(0, dots), "minimum");
    c.maximum = number<std::int64_t>(parts[i].substr(dots + 2, slash - dots - 2), "maximum");
    if (slash != std::string_view::npos) {
      c.step = number<std::uint64_t>(parts[i].substr(slash + 1), "step");
    }
  }
  const bool isMenu = c.type == V4L2_CTRL_TYPE_MENU || c.type == V4L2_CTRL_TYPE_INTEGER_MENU;
  if (c.maximum < c.minimum || c.step == 0 || (isMenu && c.menu.empty()) ||
      (!isMenu && !c.menu.empty())) {
    throw Fault("bad control " + quoted(item) + " (range, step or menu)");
  }
  if (c.type == V4L2_CTRL_TYPE_INTEGER_MENU) {
    for (const auto& [index, entry] : c.menu) number<std::int64_t>(entry, "integer menu entry");
  }
  std::int64_t value = c.defaultValue;
  if (c.type != V4L2_CTRL_TYPE_BUTTON &&
      (value < c.minimum || value > c.maximum ||
       (isMenu && !c.menu.count(static_cast<std::uint32_t>(value))))) {
    throw Fault("default of " + quoted(item) + " is not a value it can take");
  }
  c.value = c.defaultValue;
  return c;
}

Control powerLine(std::string_view value) {
  static const std::pair<std::string_view, std::int64_t> kSettings[] = {
      {"off", 0}, {"50", 1}, {"60", 2}, {"auto", 3}};
  for (const auto& [name, setting] : kSettings) {
    if (value != name) continue;
    Control c{V4L2_CID_POWER_LINE_FREQUENCY,
              "Power Line Frequency",
              V4L2_CTRL_TYPE_MENU,
              0,
              setting == 3 ? 3 : 2,
              1,
              setting,
              0,
              {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}},
              setting,
              0};
    if (setting == 3) c.menu[3] = "Auto";
    return c;
  }
  throw Fault("bad powerline " + quoted(value) + " (expected none, off, 50, 60 or auto)");
}

// The class entries the control framework lists ahead of each class's controls.
void addClassEntries(Device& device) {
  std::set<std::uint32_t> classes;
  for (const auto& c : device.controls) classes.insert(V4L2_CTRL_ID2WHICH(c.id));
  for (const std::uint32_t which : classes) {
    const bool user = which == V4L2_CTRL_CLASS_USER;
    device.controls.push_back({which | 1,
                               user ? "User Controls" : "Camera Controls",
                               V4L2_CTRL_TYPE_CTRL_CLASS,
                               0,
                               0,
                               0,
                               0,
                               V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_WRITE_ONLY,
                               {},
                               0,
                               0});
  }
}

Control* controlByKey(Device& device, std::string_view key) {
  for (const auto& known : kKnownControls) {
    if (key == known.key) return findControl(device, known.id);
  }
  return key == "power_line_frequency" ? findControl(device, V4L2_CID_POWER_LINE_FREQUENCY)
                                       : nullptr;
}

// "stream+3" or "open+0.5"
void unplug(std::string_view value, Faults& faults) {
  const auto plus = value.find('+');
  const std::string_view from = value.substr(0, plus);
  if (plus == std::string_view::npos || (from != "open" && from != "stream")) {
    throw Fault("bad unplug " + quoted(value) + " (expected open+SECONDS or stream+SECONDS)");
  }
  (from == "open" ? faults.unplugAfterOpen : faults.unplugAfterStream) =
      seconds(value.substr(plus + 1), "unplug time");
}

NodeConfig node(const ConfigFields& fields) {
  NodeConfig config;
  Device& device = config.device;
  device.capabilities =
      V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT | V4L2_CAP_DEVICE_CAPS;
  device.deviceCaps = V4L2_CAP_VIDEO_CAPTURE | V4L2_CAP_STREAMING | V4L2_CAP_EXT_PIX_FORMAT;
  device.version = LINUX_VERSION_CODE;
  std::string powerline = "50";
  std::vector<std::string_view> refused;
  std::set<std::string> seen;
  for (const auto& [key, value] : fields) {
    seen.insert(key);
    if (key == "node") {
      config.number = number<unsigned>(value, "node number");
      // The kernel numbers at most 256 video nodes.
      if (config.number > 255) throw Fault("bad node number " + quoted(value) + " (0 to 255)");
    } else if (key == "name") {
      device.card = value;
    } else if (key == "bus") {
      device.busInfo = value;
    } else if (key == "id") {
      config.byId = value;
    } else if (key == "path") {
      config.byPath = value;
    } else if (key == "formats") {
      for (const auto item : split(value, ',')) {
        device.formats.push_back(format(item));
        // A driver lists each pixel format once, with all its sizes.
        for (std::size_t i = 0; i + 1 < device.formats.size(); ++i) {
          if (device.formats[i].pixelFormat == device.formats.back().pixelFormat) {
            throw Fault("duplicate format " + quoted(item) + " (list its sizes under one FOURCC)");
          }
        }
      }
    } else if (key == "controls") {
      for (const auto item : split(value, ',')) device.controls.push_back(control(item));
    } else if (key == "powerline") {
      powerline = value;
    } else if (key == "pattern") {
      static const std::set<std::string> kPatterns = {"smpte", "ball",  "red",  "green",
                                                      "blue",  "white", "black"};
      if (!kPatterns.count(value)) {
        throw Fault("bad pattern " + quoted(value) +
                    " (expected smpte, ball, red, green, blue, white or black)");
      }
      config.pattern = value;
    } else if (key == "unplug") {
      unplug(value, config.faults);
    } else if (key == "stall") {
      const auto plus = value.find('+');
      if (plus == std::string::npos) throw Fault("bad stall " + quoted(value) + " (AT+SECONDS)");
      config.faults.stallAt = seconds(std::string_view(value).substr(0, plus), "stall time");
      config.faults.stallFor = seconds(std::string_view(value).substr(plus + 1), "stall time");
    } else if (key == "drop") {
      config.faults.dropEvery = number<unsigned>(value, "drop interval");
    } else if (key == "padding") {
      device.linePadding = number<std::uint32_t>(value, "line padding");
      if (device.linePadding > 4096) throw Fault("line padding " + quoted(value) + " above 4096");
    } else if (key == "short") {
      config.faults.shortEvery = number<unsigned>(value, "short-frame interval");
    } else if (key == "refuse") {
      for (const auto item : split(value, ',')) refused.push_back(item);
    } else if (key == "read") {
      if (value != "yes" && value != "no")
        throw Fault("bad read " + quoted(value) + " (yes or no)");
      if (value == "yes") {
        device.capabilities |= V4L2_CAP_READWRITE;
        device.deviceCaps |= V4L2_CAP_READWRITE;
      }
    } else if (key == "busy") {
      if (value != "open" && value != "stream") {
        throw Fault("bad busy " + quoted(value) + " (expected open or stream)");
      }
      config.faults.busy = value == "open" ? Busy::Open : Busy::Stream;
    } else {
      throw Fault("unknown key " + quoted(key));
    }
  }
  for (const char* required : {"node", "name", "formats"}) {
    if (!seen.count(required)) throw Fault("missing required key " + quoted(required));
  }
  if (device.formats.empty()) throw Fault("no format listed");
  if (powerline != "none") device.controls.push_back(powerLine(powerline));
  for (const auto key : refused) {
    // A size (digits, 'x', digits) names a format S_FMT refuses; anything else a control.
    if (!key.empty() && key.front() >= '0' && key.front() <= '9') {
      config.faults.refusedSizes.push_back(size(key));
      continue;
    }
    Control* c = controlByKey(device, key);
    if (!c) throw Fault("refuse names no control of the camera: " + quoted(key));
    c->refusal = EIO;
  }
  addClassEntries(device);
  const Format& first = device.formats.front();
  device.pixelFormat = first.pixelFormat;
  if (first.sizeRange) {
    std::tie(device.width, device.height) =
        std::tie(first.sizeRange->max_width, first.sizeRange->max_height);
    device.interval = first.rangeIntervals.front();
  } else {
    std::tie(device.width, device.height) = std::tie(first.sizes[0].width, first.sizes[0].height);
    device.interval = first.sizes[0].intervals.front();
  }
  if (device.busInfo.empty()) device.busInfo = "usb-sim-" + std::to_string(config.number);
  return config;
}

}  // namespace

std::vector<NodeConfig> parseSimConfig(std::istream& in, const std::string& fileName,
                                       std::ostream& diagnostics) {
  std::vector<NodeConfig> nodes;
  std::set<unsigned> numbers;
  std::string line;
  for (int lineNumber = 1; std::getline(in, line); ++lineNumber) {
    const std::string_view text = trimConfigText(line);
    if (text.empty() || text.front() == '#') continue;
    std::string fault;
    try {
      const auto fields = splitConfigFields(text, fault);
      if (fields) {
        NodeConfig config = node(*fields);
        if (!numbers.insert(config.number).second) throw Fault("node number used twice");
        nodes.push_back(std::move(config));
      }
    } catch (const std::exception& e) {
      fault = e.what();
    }
    if (!fault.empty()) diagnostics << fileName << ":" << lineNumber << ": " << fault << "\n";
  }
  return nodes;
}

}  // namespace kovracam::v4l2sim
