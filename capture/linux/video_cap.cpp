#include "capture/linux/video_cap.h"
#include <QMessageBox>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>

#include "capture/linux/capture_graph_builder.h"
#include "capture/linux/device_enumerator.h"
#include "capture/linux/frame_mailbox.h"
#include "capture/linux/recording_branch.h"
#include "capture/linux/video_window.h"

namespace kovracam {
namespace {

// Bounds how long Run waits for the camera to deliver its first frame or fail.
constexpr GstClockTime kStartTimeout = 5 * GST_SECOND;

std::int64_t steadyNanoseconds() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The system's own words for a failure: the elements end their debug text with strerror
// ("...: File too large"); a full disk has a code of its own and ends the text with the
// element's path instead; without either, the message.
QString reasonOf(const GError* error, const gchar* debug) {
  if (error && g_error_matches(error, GST_RESOURCE_ERROR, GST_RESOURCE_ERROR_NO_SPACE_LEFT)) {
    return QString::fromUtf8(std::strerror(ENOSPC));
  }
  const QString text = QString::fromUtf8(debug ? debug : "").trimmed();
  const qsizetype colon = text.lastIndexOf(QStringLiteral(": "));
  const QString reason = colon >= 0 ? text.mid(colon + 2).trimmed() : text;
  return reason.isEmpty() || reason.startsWith('/')
             ? QString::fromUtf8(error ? error->message : "unknown error")
             : reason;
}

GstBusSyncReply onBusMessage(GstBus*, GstMessage* message, gpointer mailbox) {
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    GError* error = nullptr;
    gchar* debug = nullptr;
    gst_message_parse_error(message, &error, &debug);
    auto* box = static_cast<FrameMailbox*>(mailbox);
    if (RecordingBranch::isBranchElement(GST_MESSAGE_SRC(message))) {
      box->postRecordingError(reasonOf(error, debug));
    } else {
      box->postError(QString::fromUtf8(error ? error->message : "unknown error"));
    }
    if (error) g_error_free(error);
    g_free(debug);
  }
  gst_message_unref(message);
  return GST_BUS_DROP;
}

}  // namespace

void CVideoCap::showUnsupportedTypeBox() {
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Error"),
                  QStringLiteral("This type is not support"), QMessageBox::Ok);
  box.exec();
}

CVideoCap::CVideoCap(V4l2Io& io) : m_io(io), m_timing(steadyNanoseconds) {}

CVideoCap::~CVideoCap() {
  joinTableWorker();
  m_tables.reset();
  TearDown();
}

Status CVideoCap::EnumDevices(DeviceList* list) { return enumerateDevices(m_io, list, std::cerr); }

Status CVideoCap::SelectDevice(const std::string& displayName) {
  // A name that no longer resolves leaves no device bound, so nothing stale gets built.
  m_pMoniker = resolveDevice(m_io, displayName, std::cerr);
  return m_pMoniker ? kOk : kDeviceNotFound;
}

// The format for this build: the stored one when the device takes it; otherwise (first build,
// or a device that refuses the previous camera's format) the device's own, or when that is one
// we cannot show, the nearest we can. A V4L2 camera's current format is whatever the program
// that used it last left behind (often MJPG), not a choice of its own worth refusing.
std::optional<CaptureFormat> CVideoCap::decideFormat() {
  if (m_pFormat && m_pMoniker->applyFormat(*m_pFormat)) return m_pFormat;
  const auto current = m_pMoniker->currentFormat();
  if (!current) return std::nullopt;
  const auto chosen = chooseCaptureFormat(*current, m_pMoniker->offeredFormats());
  m_pFormat = chosen ? *chosen : *current;
  if (chosen) m_pMoniker->applyFormat(*chosen);
  return m_pFormat;
}

Status CVideoCap::BuildGraph(int* width, int* height) {
  if (!m_pMoniker) return kNotBound;  // nothing is built without a bound device
  if (m_pGraph) return kUnexpected;
  const auto format = decideFormat();
  if (!format) return kDeviceUnavailable;

  GstElement* graph = gst_pipeline_new("capture graph");
  GstElement* source = m_pMoniker->createSource(*format);
  if (!source) {
    gst_object_unref(graph);
    return kDeviceUnavailable;
  }
  gst_bin_add(GST_BIN(graph), source);
  m_pGraph = graph;
  m_pBuilder = std::make_unique<CaptureGraphBuilder>(graph);
  m_pSource = GST_ELEMENT(gst_object_ref(source));
  // From here on a failure leaves the members set; the caller tears the graph down.
  GstElement* grabber = gst_element_factory_make("identity", kGrabFilterName);
  if (!grabber) return kNoInterface;
  gst_bin_add(GST_BIN(graph), grabber);
  m_pGrabber = GST_ELEMENT(gst_object_ref(grabber));

  const PixelFormat pixel = pixelFormatOf(format->subtype);
  if (pixel == kPixelNone) {
    showUnsupportedTypeBox();
    return kUnsupportedSubtype;
  }
  m_graphFormat = *format;
  m_nPixelFormat = pixel;
  *width = m_nWidth = format->width;
  *height = m_nHeight = format->height;
  return kOk;
}

Status CVideoCap::RenderPreview() {
  if (!m_pGraph) return kNotBound;
  if (!m_mailbox) {
    m_mailbox = std::make_unique<FrameMailbox>();
    QObject::connect(m_mailbox.get(), &FrameMailbox::streamFailed, m_mailbox.get(),
                     [this](const QString& message) { onStreamFailed(message); });
    QObject::connect(m_mailbox.get(), &FrameMailbox::recordingFailed, m_mailbox.get(),
                     [this](const QString& reason) { onRecordingFailed(reason); });
  }
  const Status linked = m_pBuilder->renderPreview(m_pSource, m_pGrabber, *m_mailbox);
  if (linked != kOk) return linked;
  installGrabberProbe();

  GstBus* bus = gst_element_get_bus(m_pGraph);
  gst_bus_set_sync_handler(bus, onBusMessage, m_mailbox.get(), nullptr);
  gst_object_unref(bus);

  // Opening the device happens here, so a busy or vanished camera fails the start.
  if (gst_element_set_state(m_pGraph, GST_STATE_READY) == GST_STATE_CHANGE_FAILURE) {
    gst_element_set_state(m_pGraph, GST_STATE_NULL);
    std::cerr << "kovracam: the camera cannot be opened: it is busy or gone\n";
    return kDeviceUnavailable;
  }
  return kOk;
}

Status CVideoCap::PlaceVideoWindow(QWidget* owner, int width, int height) {
  if (!m_pGraph || !m_mailbox || !owner) return kOk;  // no graph: nothing to place
  if (!m_videoWindow || m_videoWindow->parentWidget() != owner) {
    delete m_videoWindow.data();
    m_videoWindow = new VideoWindow(*m_mailbox, owner);
  }
  // Below the banner strip; a minimised frame asks for negative sizes, which mean empty.
  m_videoWindow->setGeometry(0, 50, std::max(0, width), std::max(0, height));
  m_videoWindow->show();
  return kOk;
}

Status CVideoCap::Run() {
  if (!m_pGraph) return kOk;
  GstStateChangeReturn change = gst_element_set_state(m_pGraph, GST_STATE_PLAYING);
  if (change == GST_STATE_CHANGE_ASYNC) {
    change = gst_element_get_state(m_pGraph, nullptr, nullptr, kStartTimeout);
  }
  m_timing.reset();
  // A source that fails while negotiating posts its error, then ends its stream; the end lets
  // the graph reach playing, so the state change alone may report success.
  const QString error = m_mailbox ? m_mailbox->streamError() : QString();
  // Still changing when the wait ended: the camera delivered nothing to start on (a stream
  // nobody links, a camera that stalled); that is a failed start, not a running one.
  if (change == GST_STATE_CHANGE_FAILURE || change == GST_STATE_CHANGE_ASYNC || !error.isEmpty()) {
    gst_element_set_state(m_pGraph, GST_STATE_NULL);
    m_strStartFailure = error.isEmpty() ? (change == GST_STATE_CHANGE_FAILURE
                                               ? "the camera refused to start"
                                               : "the camera sent no picture in time")
                                        : error.toStdString();
    std::cerr << "kovracam: the camera cannot start: " << m_strStartFailure << "\n";
    // A format the camera lists but cannot deliver is not kept for the next start.
    if (m_lastRunFormat && m_pFormat != m_lastRunFormat) m_pFormat = m_lastRunFormat;
    return kDeviceUnavailable;
  }
  m_strStartFailure.clear();
  m_lastRunFormat = m_graphFormat;
  m_bGraphRunning.store(true, std::memory_order_release);
  return kOk;
}

Status CVideoCap::StartFileCapture(const std::string& path, QWidget* owner, int width, int height) {
  m_strRecordingFailure.clear();
  Status status = RenderPreview();
  if (status != kOk) {
    m_strRecordingFailure = "the camera could not be started";
    return status;
  }
  if ((status = PlaceVideoWindow(owner, width, height)) != kOk) return status;
  m_pRecording = std::make_unique<RecordingBranch>(m_pGraph, m_pBuilder->tee(), path);
  if ((status = m_pRecording->open(&m_strRecordingFailure)) != kOk) {
    m_pRecording.reset();
    return status;
  }
  if ((status = Run()) != kOk) {
    m_strRecordingFailure = m_strStartFailure;
    // Nothing was recorded: leave no empty file behind.
    m_pRecording->discard();
    m_pRecording.reset();
  }
  return status;
}

void CVideoCap::finishRecording() {
  if (!m_pRecording) return;
  if (m_pRecording->finish(m_bSourceFailed ? nullptr : m_pSource) ==
      RecordingBranch::Finish::TimedOut) {
    std::cerr << "kovracam: the recording " << m_pRecording->path()
              << " could not be completed in time\n";
  }
}

void CVideoCap::onRecordingFailed(const QString& reason) {
  if (!m_pRecording) return;
  std::cerr << "kovracam: writing " << m_pRecording->path() << " failed: " << reason.toStdString()
            << "\n";
  m_pRecording->markFailed();
  if (m_onRecordingFailed) m_onRecordingFailed(m_pRecording->path(), reason.toStdString());
}

Status CVideoCap::Stop() {
  if (!m_pGraph) return kOk;
  finishRecording();
  m_bGraphRunning.store(false, std::memory_order_release);
  // Stopping releases the device and ends the streaming threads before the call returns.
  return gst_element_set_state(m_pGraph, GST_STATE_NULL) == GST_STATE_CHANGE_FAILURE ? kFail : kOk;
}

void CVideoCap::TearDown() {
  finishRecording();  // a graph torn down without Stop still completes its file
  m_bGraphRunning.store(false, std::memory_order_release);
  if (m_pGraph) {
    gst_element_set_state(m_pGraph, GST_STATE_NULL);
    m_pRecording.reset();  // gives the tee its pad back while the pipeline still exists
    gst_object_unref(m_pGraph);
    m_pGraph = nullptr;
  }
  m_pBuilder.reset();
  if (m_pSource) gst_object_unref(m_pSource);
  m_pSource = nullptr;
  if (m_pGrabber) gst_object_unref(m_pGrabber);
  m_pGrabber = nullptr;
  m_pRecording.reset();
  m_strRecordingFailure.clear();  // it spoke of this graph's file
  m_bSourceFailed = false;
  m_pMoniker.reset();
  // The video window and the frame hand-over go with the graph.
  delete m_videoWindow.data();
  m_mailbox.reset();
}

QWidget* CVideoCap::videoWindow() const { return m_videoWindow.data(); }

void CVideoCap::onStreamFailed(const QString& message) {
  std::cerr << "kovracam: the camera stopped: " << message.toStdString() << "\n";
  m_bSourceFailed = true;
  // A recording ends with its camera: its file is completed by Stop, and the user is told why
  // the recording stopped (a write failure has told them already).
  const bool recording = m_pRecording && !m_pRecording->failed();
  Stop();
  if (recording && m_onRecordingFailed) {
    m_onRecordingFailed(m_pRecording->path(), "the camera stopped: " + message.toStdString());
  }
}

}  // namespace kovracam
