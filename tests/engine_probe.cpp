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

}  // namespace kovracam::testing
