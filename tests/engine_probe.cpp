#include "tests/engine_probe.h"

namespace kovracam::testing {
namespace {

struct PipelineSpy {
  GstTracer parent;
};
struct PipelineSpyClass {
  GstTracerClass parent_class;
};

std::mutex spyMutex;
GWeakRef newestPipeline;  // guarded by spyMutex

G_DEFINE_TYPE(PipelineSpy, pipeline_spy, GST_TYPE_TRACER)
void pipeline_spy_class_init(PipelineSpyClass*) {}
void pipeline_spy_init(PipelineSpy*) {}

void onElementNew(GObject*, GstClockTime, GstElement* element) {
  if (!GST_IS_PIPELINE(element)) return;
  gchar* name = gst_object_get_name(GST_OBJECT(element));
  if (g_strcmp0(name, "capture graph") == 0) {
    std::lock_guard lock(spyMutex);
    g_weak_ref_set(&newestPipeline, element);
  }
  g_free(name);
}

void installSpy() {
  static std::once_flag once;
  std::call_once(once, [] {
    g_weak_ref_init(&newestPipeline, nullptr);
    auto* spy = static_cast<GstTracer*>(g_object_new(pipeline_spy_get_type(), nullptr));
    gst_tracing_register_hook(spy, "element-new", G_CALLBACK(onElementNew));
  });
}

// Installed before any test builds a pipeline.
const bool installed = (gst_init(nullptr, nullptr), installSpy(), true);

}  // namespace

GstElement* capturePipeline() {
  std::lock_guard lock(spyMutex);
  return static_cast<GstElement*>(g_weak_ref_get(&newestPipeline));
}

GstElement* graphElement(const char* name) {
  g_autoptr(GstElement) graph = capturePipeline();
  return gst_bin_get_by_name(GST_BIN(graph), name);
}

void postGraphError(const char* name, int code, const char* debug) {
  g_autoptr(GstElement) element = graphElement(name);
  GError* error = g_error_new_literal(GST_RESOURCE_ERROR, code, "failed");
  gst_element_post_message(element, gst_message_new_error(GST_OBJECT(element), error, debug));
  g_error_free(error);
}

}  // namespace kovracam::testing
