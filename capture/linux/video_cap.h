#pragma once
// The capture engine: binds a camera, builds and runs its pipeline (preview into a video window
// under the banner), counts and times its frames, hands single frames over for snapshots, and
// reaches the camera's own controls.
//
// Threads: every operation runs on the user-interface thread, except BufferCB, which the
// pipeline's streaming thread calls for every frame. What the two share is FrameTiming (under
// its lock) and SnapshotHandover (an atomic flag plus an event); see those classes.

#include <gst/gst.h>

#include <QPointer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "capture/device/capture_format.h"
#include "capture/device/device_record.h"
#include "capture/frame_timing.h"
#include "capture/linux/device/capture_device.h"
#include "capture/linux/v4l2/v4l2_io.h"
#include "capture/pixel/pixel_conversion.h"
#include "capture/snapshot_handover.h"
#include "capture/status.h"

namespace kovracam {

class CaptureGraphBuilder;
class FrameMailbox;
class RecordingBranch;
class VideoWindow;

// Interfaces the engine answers to as a frame callback object.
enum class InterfaceId { Unknown, SampleGrabberCB, Other };

class CVideoCap {
 public:
  explicit CVideoCap(V4l2Io& io = systemV4l2Io());
  virtual ~CVideoCap();
  CVideoCap(const CVideoCap&) = delete;
  CVideoCap& operator=(const CVideoCap&) = delete;

  // Frame callback object. The engine lives as long as its owner: reference counting is a no-op.
  Status QueryInterface(InterfaceId riid, void** ppv);
  std::uint32_t AddRef() { return 1; }
  std::uint32_t Release() { return 0; }
  Status SampleCB(double sampleTime, GstSample* sample);
  // Streaming thread, once per frame.
  Status BufferCB(double sampleTime, const std::uint8_t* buffer, std::size_t length);

  // Devices.
  Status EnumDevices(DeviceList* list);
  Status SelectDevice(const std::string& displayName);

  // Graph.
  Status BuildGraph(int* width, int* height);
  Status RenderPreview();
  Status PlaceVideoWindow(QWidget* owner, int width, int height);
  Status Run();
  // Why the last Run failed, in the camera's words where it gave some.
  const std::string& startFailure() const { return m_strStartFailure; }
  // Stops the graph; a recording in it is completed first (bounded wait).
  Status Stop();
  void TearDown();

  // Recording: the preview of RenderPreview plus a branch writing the camera's frames to an AVI
  // file at `path`, then Run. A path the writer cannot create fails with the preview rendered
  // and placed but not running; recordingFailure() then says why, until the graph is torn down
  // (empty when the attempt failed before this call).
  Status StartFileCapture(const std::string& path, QWidget* owner, int width, int height);
  const std::string& recordingFailure() const { return m_strRecordingFailure; }
  bool isRecording() const { return m_pRecording != nullptr; }
  // Called on the user-interface thread, from the graph's own event delivery, when writing the
  // recording failed mid-way. The graph is left as it is: the handler must defer stopping or
  // tearing it down until it has returned.
  using RecordingFailedHandler =
      std::function<void(const std::string& path, const std::string& reason)>;
  void setRecordingFailedHandler(RecordingFailedHandler handler) {
    m_onRecordingFailed = std::move(handler);
  }

  // Frames.
  void Prepare();
  // 1 when `bits` (bottom-up 24-bit rows, each padded to 4 bytes) holds the next frame; 0 when
  // the block is too small, no graph runs, or no frame came in time.
  int GetSnapshot(std::uint8_t* bits, std::size_t length);
  Status GetFrameRate(double* rate);

  // Camera controls.
  void ShowFilterProperties(QWidget* owner);
  void ShowPinProperties(QWidget* owner, int* width, int* height);
  int GetPowerLineFrequency();
  void SetPowerLineFrequency(int value);

  // Read by the view and the frame.
  int m_nWidth = 0;
  int m_nHeight = 0;

  // The graph's state.
  bool hasGraph() const { return m_pGraph != nullptr; }
  bool hasMoniker() const { return m_pMoniker != nullptr; }
  bool isRunning() const { return m_bGraphRunning.load(std::memory_order_acquire); }
  QWidget* videoWindow() const;
  std::optional<CaptureFormat> storedFormat() const { return m_pFormat; }

 private:
  std::optional<CaptureFormat> decideFormat();
  void installGrabberProbe();
  void replaceSource(const CaptureFormat& format);
  static void showUnsupportedTypeBox();
  void onStreamFailed(const QString& message);
  void onRecordingFailed(const QString& reason);
  void finishRecording();
  void joinTableWorker();
  std::chrono::nanoseconds snapshotTimeout() const;

  V4l2Io& m_io;

  std::unique_ptr<CaptureDevice> m_pMoniker;
  GstElement* m_pGraph = nullptr;
  std::unique_ptr<CaptureGraphBuilder> m_pBuilder;
  GstElement* m_pGrabber = nullptr;
  GstElement* m_pSource = nullptr;
  std::optional<CaptureFormat> m_pFormat;        // survives TearDown and device changes
  CaptureFormat m_graphFormat;                   // what the current graph was built with
  std::optional<CaptureFormat> m_lastRunFormat;  // the last format a graph ran with
  std::string m_strStartFailure;

  FrameTiming m_timing;
  SnapshotHandover m_snapshot;
  int m_nPixelFormat = kPixelNone;

  std::unique_ptr<std::thread> m_pTableThread;
  std::unique_ptr<ConversionTables> m_tables;

  std::unique_ptr<RecordingBranch> m_pRecording;
  bool m_bSourceFailed = false;  // the camera reported an error: it streams no more
  std::string m_strRecordingFailure;
  RecordingFailedHandler m_onRecordingFailed;

  std::atomic<bool> m_bGraphRunning{false};
  std::unique_ptr<FrameMailbox> m_mailbox;
  QPointer<VideoWindow> m_videoWindow;
};

}  // namespace kovracam
