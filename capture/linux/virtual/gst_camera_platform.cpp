#include "capture/linux/virtual/gst_camera_platform.h"

#include <glib.h>
#include <gst/gst.h>

#include <optional>

namespace kovracam {
namespace {

// The nicknames of videotestsrc's "pattern" property, read from the element's class.
std::optional<std::vector<std::string>> readPatternNicknames() {
  GstElementFactory* factory = gst_element_factory_find("videotestsrc");
  if (factory == nullptr) return std::nullopt;
  GstPluginFeature* loaded = gst_plugin_feature_load(GST_PLUGIN_FEATURE(factory));
  gst_object_unref(factory);
  if (loaded == nullptr) return std::nullopt;
  std::optional<std::vector<std::string>> nicknames;
  const GType type = gst_element_factory_get_element_type(GST_ELEMENT_FACTORY(loaded));
  if (type != G_TYPE_INVALID) {
    gpointer klass = g_type_class_ref(type);
    GParamSpec* patternProperty = g_object_class_find_property(G_OBJECT_CLASS(klass), "pattern");
    if (patternProperty != nullptr && G_IS_PARAM_SPEC_ENUM(patternProperty)) {
      const GEnumClass* values = G_PARAM_SPEC_ENUM(patternProperty)->enum_class;
      nicknames.emplace();
      for (guint i = 0; i < values->n_values; ++i) {
        nicknames->push_back(values->values[i].value_nick);
      }
    }
    g_type_class_unref(klass);
  }
  gst_object_unref(loaded);
  return nicknames;
}

class GstVirtualCameraPlatform : public VirtualCameraPlatform {
 public:
  CharacterKind kindOf(char32_t c) const override {
    if (g_unichar_isalpha(c)) return CharacterKind::Letter;
    const GUnicodeType type = g_unichar_type(c);
    const bool mark = type == G_UNICODE_SPACING_MARK || type == G_UNICODE_ENCLOSING_MARK ||
                      type == G_UNICODE_NON_SPACING_MARK;
    return mark ? CharacterKind::Mark : CharacterKind::Other;
  }

  // nullptr when GStreamer is not started or videotestsrc is missing. Looked up once: the
  // registry does not change while we run.
  const std::vector<std::string>* patternNames() const override {
    if (!gst_is_initialized()) return nullptr;
    static const std::optional<std::vector<std::string>> nicknames = readPatternNicknames();
    return nicknames ? &*nicknames : nullptr;
  }

  std::string_view patternSource() const override { return "videotestsrc"; }
};

}  // namespace

const VirtualCameraPlatform& gstVirtualCameraPlatform() {
  static const GstVirtualCameraPlatform platform;
  return platform;
}

}  // namespace kovracam
