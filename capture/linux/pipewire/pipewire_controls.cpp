#include "capture/linux/pipewire/pipewire_controls.h"

#include <linux/videodev2.h>
#include <pipewire/pipewire.h>
#include <spa/param/param.h>
#include <spa/param/props.h>
#include <spa/pod/builder.h>
#include <spa/pod/iter.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "capture/linux/pipewire/pipewire_session.h"

namespace kovracam {
namespace {

constexpr std::chrono::milliseconds kAnswerTimeout{1000};
constexpr double kFractionScale = 100.0;
// Ids for properties of no V4L2 kind, clear of every V4L2 control class.
constexpr std::uint32_t kOtherIdBase = 0x7F000000;
constexpr std::uint32_t kMaxParams = 256;

// The daemon answers a node's Props from a cache that the camera plugins do not refresh when a
// value is set, so what this process wrote (and the daemon took) is remembered here, by node
// serial (never reused while the daemon runs) and property, and wins over the cached reading.
class WrittenValues {
 public:
  static WrittenValues& instance() {
    static WrittenValues values;
    return values;
  }
  void put(const std::string& serial, std::uint32_t key, double value) {
    std::lock_guard lock(mutex_);
    values_[{serial, key}] = value;
  }
  std::optional<double> find(const std::string& serial, std::uint32_t key) {
    std::lock_guard lock(mutex_);
    const auto it = values_.find({serial, key});
    return it == values_.end() ? std::nullopt : std::optional<double>(it->second);
  }

 private:
  std::mutex mutex_;
  std::map<std::pair<std::string, std::uint32_t>, double> values_;
};

std::uint32_t controlIdOf(std::uint32_t key) {
  switch (key) {
    case SPA_PROP_brightness:
      return V4L2_CID_BRIGHTNESS;
    case SPA_PROP_contrast:
      return V4L2_CID_CONTRAST;
    case SPA_PROP_saturation:
      return V4L2_CID_SATURATION;
    case SPA_PROP_hue:
      return V4L2_CID_HUE;
    case SPA_PROP_gamma:
      return V4L2_CID_GAMMA;
    case SPA_PROP_exposure:
      return V4L2_CID_EXPOSURE;
    case SPA_PROP_gain:
      return V4L2_CID_GAIN;
    case SPA_PROP_sharpness:
      return V4L2_CID_SHARPNESS;
    default:
      break;
  }
  // PipeWire's V4L2 plugin publishes other controls as the custom range plus their V4L2 id.
  if (key >= SPA_PROP_START_CUSTOM) return key - SPA_PROP_START_CUSTOM;
  return kOtherIdBase | (key & 0xFFFFFF);
}

// A number of any of the pod types a property may carry.
std::optional<double> numberOf(const spa_pod* pod) {
  switch (pod->type) {
    case SPA_TYPE_Bool:
      if (pod->size < sizeof(std::int32_t)) break;
      return SPA_POD_VALUE(spa_pod_bool, pod) ? 1.0 : 0.0;
    case SPA_TYPE_Int:
    case SPA_TYPE_Id:
      if (pod->size < sizeof(std::int32_t)) break;
      return static_cast<double>(*static_cast<const std::int32_t*>(SPA_POD_BODY_CONST(pod)));
    case SPA_TYPE_Long:
      if (pod->size < sizeof(std::int64_t)) break;
      return static_cast<double>(SPA_POD_VALUE(spa_pod_long, pod));
    case SPA_TYPE_Float:
      if (pod->size < sizeof(float)) break;
      return SPA_POD_VALUE(spa_pod_float, pod);
    case SPA_TYPE_Double:
      if (pod->size < sizeof(double)) break;
      return SPA_POD_VALUE(spa_pod_double, pod);
    default:
      break;
  }
  return std::nullopt;
}

// The nth value of a pod array body of `child` values.
std::optional<double> valueAt(const spa_pod* child, std::uint32_t n) {
  const std::uint32_t size = child->size;
  std::vector<std::uint8_t> one(sizeof(spa_pod) + size);
  spa_pod header{size, child->type};
  std::memcpy(one.data(), &header, sizeof header);
  std::memcpy(one.data() + sizeof header,
              static_cast<const std::uint8_t*>(SPA_POD_BODY_CONST(child)) + n * size, size);
  return numberOf(reinterpret_cast<const spa_pod*>(one.data()));
}

struct Control {
  ControlInfo info;
  std::uint32_t key = 0;
  std::uint32_t podType = SPA_TYPE_Int;
  double scale = 1.0;
};

// One PropInfo object as a control; nullopt for a kind the dialog cannot show.
std::optional<Control> controlOf(const spa_pod* object) {
  const spa_pod_prop* idProp = spa_pod_find_prop(object, nullptr, SPA_PROP_INFO_id);
  const spa_pod_prop* typeProp = spa_pod_find_prop(object, nullptr, SPA_PROP_INFO_type);
  if (!idProp || !typeProp || idProp->value.type != SPA_TYPE_Id) return std::nullopt;
  Control control;
  control.key = SPA_POD_VALUE(spa_pod_id, &idProp->value);
  control.info.id = controlIdOf(control.key);
  for (std::uint32_t key : {SPA_PROP_INFO_description, SPA_PROP_INFO_name}) {
    const spa_pod_prop* text = spa_pod_find_prop(object, nullptr, key);
    const char* value = nullptr;
    if (text && spa_pod_get_string(&text->value, &value) == 0 && value && *value) {
      control.info.name = value;
      break;
    }
  }
  if (control.info.name.empty()) control.info.name = "Control " + std::to_string(control.key);

  std::uint32_t count = 0;
  std::uint32_t choice = SPA_CHOICE_None;
  const spa_pod* values = spa_pod_get_values(&typeProp->value, &count, &choice);
  control.podType = values->type;
  const bool fraction = values->type == SPA_TYPE_Float || values->type == SPA_TYPE_Double;
  control.scale = fraction ? kFractionScale : 1.0;
  const auto at = [&](std::uint32_t n) { return valueAt(values, n).value_or(0.0) * control.scale; };
  if (count == 0 || !numberOf(values)) return std::nullopt;
  control.info.defaultValue = std::llround(at(0));

  const spa_pod_prop* labels = spa_pod_find_prop(object, nullptr, SPA_PROP_INFO_labels);
  if (values->type == SPA_TYPE_Bool) {
    control.info.type = ControlType::Boolean;
    control.info.maximum = 1;
  } else if (labels && spa_pod_is_struct(&labels->value)) {
    // value, label, value, label...
    control.info.type = ControlType::Menu;
    bool haveIndex = false;
    double index = 0.0;
    const void* body = SPA_POD_BODY_CONST(&labels->value);
    const std::uint32_t size = labels->value.size;
    for (auto* item = static_cast<const spa_pod*>(body); spa_pod_is_inside(body, size, item);
         item = static_cast<const spa_pod*>(spa_pod_next(item))) {
      const char* text = nullptr;
      if (!haveIndex) {
        const auto number = numberOf(item);
        haveIndex = number.has_value();
        index = number.value_or(0.0);
      } else {
        if (spa_pod_get_string(item, &text) == 0 && text) {
          control.info.menu.push_back({std::llround(index), text});
        }
        haveIndex = false;
      }
    }
    if (control.info.menu.empty()) return std::nullopt;
    control.info.minimum = control.info.menu.front().index;
    control.info.maximum = control.info.menu.back().index;
  } else if ((choice == SPA_CHOICE_Range || choice == SPA_CHOICE_Step) && count >= 3) {
    control.info.type = ControlType::Integer;
    control.info.minimum = std::llround(at(1));
    control.info.maximum = std::llround(at(2));
    control.info.step = choice == SPA_CHOICE_Step && count >= 4 ? std::llround(at(3)) : 1;
    if (control.info.step <= 0) control.info.step = 1;
  } else {
    return std::nullopt;  // a value without a range: nothing a slider could offer
  }
  return control;
}

class PipeWireControls final : public DeviceControls {
 public:
  PipeWireControls(std::unique_ptr<PipeWireSession> session, std::string serial)
      : session_(std::move(session)), serial_(std::move(serial)) {}

  ~PipeWireControls() override {
    if (node_) {
      spa_hook_remove(&nodeListener_);
      pw_proxy_destroy(node_);
    }
    if (listening_) spa_hook_remove(&registryListener_);
  }

  std::vector<ControlInfo> list() override {
    if (!bind()) return {};
    controls_.clear();
    collectingInfo_ = true;
    pw_node_enum_params(reinterpret_cast<pw_node*>(node_), 0, SPA_PARAM_PropInfo, 0, kMaxParams,
                        nullptr);
    const bool answered = session_->roundTrip(deadline());
    collectingInfo_ = false;
    std::vector<ControlInfo> result;
    if (!answered) return result;
    for (const Control& control : controls_) result.push_back(control.info);
    return result;
  }

  std::optional<std::int64_t> get(std::uint32_t id) override {
    if (controls_.empty()) list();
    const Control* control = find(id);
    if (!control || !readValues()) return std::nullopt;
    auto value = WrittenValues::instance().find(serial_, control->key);
    if (!value) {
      const auto reported = values_.find(control->key);
      if (reported == values_.end()) return std::nullopt;
      value = reported->second;
    }
    return std::llround(*value * control->scale);
  }

  int set(std::uint32_t id, std::int64_t value) override {
    if (controls_.empty()) list();
    const Control* control = find(id);
    if (!node_) return ENODEV;
    if (!control) return EINVAL;
    std::uint8_t buffer[256];
    spa_pod_builder builder = SPA_POD_BUILDER_INIT(buffer, sizeof buffer);
    spa_pod_frame frame{};
    spa_pod_builder_push_object(&builder, &frame, SPA_TYPE_OBJECT_Props, SPA_PARAM_Props);
    spa_pod_builder_prop(&builder, control->key, 0);
    const double scaled = static_cast<double>(value) / control->scale;
    switch (control->podType) {
      case SPA_TYPE_Bool:
        spa_pod_builder_bool(&builder, value != 0);
        break;
      case SPA_TYPE_Long:
        spa_pod_builder_long(&builder, value);
        break;
      case SPA_TYPE_Float:
        spa_pod_builder_float(&builder, static_cast<float>(scaled));
        break;
      case SPA_TYPE_Double:
        spa_pod_builder_double(&builder, scaled);
        break;
      case SPA_TYPE_Id:
        spa_pod_builder_id(&builder, static_cast<std::uint32_t>(value));
        break;
      default:
        spa_pod_builder_int(&builder, static_cast<std::int32_t>(value));
        break;
    }
    const auto* props = static_cast<const spa_pod*>(spa_pod_builder_pop(&builder, &frame));
    if (!props) return EINVAL;
    const std::uint32_t proxyId = pw_proxy_get_id(node_);
    session_->takeError(proxyId);
    pw_node_set_param(reinterpret_cast<pw_node*>(node_), SPA_PARAM_Props, 0, props);
    if (!session_->roundTrip(deadline()) || gone_) return ENODEV;
    if (const int error = session_->takeError(proxyId)) return error == -ENOENT ? ENODEV : EINVAL;
    WrittenValues::instance().put(serial_, control->key, scaled);
    return 0;
  }

 private:
  static Deadline deadline() { return std::chrono::steady_clock::now() + kAnswerTimeout; }

  const Control* find(std::uint32_t id) const {
    for (const Control& control : controls_) {
      if (control.info.id == id) return &control;
    }
    return nullptr;
  }

  bool readValues() {
    values_.clear();
    pw_node_enum_params(reinterpret_cast<pw_node*>(node_), 0, SPA_PARAM_Props, 0, kMaxParams,
                        nullptr);
    return session_->roundTrip(deadline()) && !gone_;
  }

  // Finds the node by its serial and binds it; once.
  bool bind() {
    if (node_) return !gone_;
    if (tried_) return false;
    tried_ = true;
    static const pw_registry_events registryEvents = [] {
      pw_registry_events events{};
      events.version = PW_VERSION_REGISTRY_EVENTS;
      events.global = [](void* data, std::uint32_t id, std::uint32_t, const char* type,
                         std::uint32_t, const spa_dict* props) {
        auto* self = static_cast<PipeWireControls*>(data);
        const char* serial = props ? spa_dict_lookup(props, PW_KEY_OBJECT_SERIAL) : nullptr;
        if (std::strcmp(type, PW_TYPE_INTERFACE_Node) == 0 && serial && self->serial_ == serial) {
          self->nodeId_ = id;
        }
      };
      events.global_remove = [](void* data, std::uint32_t id) {
        auto* self = static_cast<PipeWireControls*>(data);
        if (self->nodeId_ && *self->nodeId_ == id) self->gone_ = true;
      };
      return events;
    }();
    pw_registry_add_listener(session_->registry(), &registryListener_, &registryEvents, this);
    listening_ = true;
    if (!session_->roundTrip(deadline()) || !nodeId_) return false;
    node_ = static_cast<pw_proxy*>(pw_registry_bind(session_->registry(), *nodeId_,
                                                    PW_TYPE_INTERFACE_Node, PW_VERSION_NODE, 0));
    if (!node_) return false;
    static const pw_node_events nodeEvents = [] {
      pw_node_events events{};
      events.version = PW_VERSION_NODE_EVENTS;
      events.param = [](void* data, int, std::uint32_t id, std::uint32_t, std::uint32_t,
                        const spa_pod* param) {
        static_cast<PipeWireControls*>(data)->onParam(id, param);
      };
      return events;
    }();
    pw_proxy_add_object_listener(node_, &nodeListener_, &nodeEvents, this);
    return true;
  }

  void onParam(std::uint32_t id, const spa_pod* param) {
    if (!param || !spa_pod_is_object(param)) return;
    if (id == SPA_PARAM_PropInfo && collectingInfo_) {
      if (auto control = controlOf(param)) controls_.push_back(std::move(*control));
    } else if (id == SPA_PARAM_Props) {
      const spa_pod_prop* prop = nullptr;
      SPA_POD_OBJECT_FOREACH(reinterpret_cast<const spa_pod_object*>(param), prop) {
        if (const auto value = numberOf(&prop->value)) values_[prop->key] = *value;
      }
    }
  }

  std::unique_ptr<PipeWireSession> session_;
  std::string serial_;
  spa_hook registryListener_{};
  bool listening_ = false;
  spa_hook nodeListener_{};
  std::optional<std::uint32_t> nodeId_;
  pw_proxy* node_ = nullptr;
  bool tried_ = false;
  bool gone_ = false;
  bool collectingInfo_ = false;
  std::vector<Control> controls_;
  std::map<std::uint32_t, double> values_;
};

}  // namespace

std::unique_ptr<DeviceControls> openPipeWireControls(const std::string& serial) {
  auto session = PipeWireSession::connect();
  if (!session) return nullptr;
  return std::make_unique<PipeWireControls>(std::move(session), serial);
}

}  // namespace kovracam
