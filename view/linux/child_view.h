#pragma once
// The frame's client view: paints the banner strip across its top, hosts the engine's video
// window under it, owns the engine and the device list, and fills the Device menu.

#include <QImage>
#include <QString>
#include <QWidget>
#include <cstdint>

#include "capture/device/device_record.h"
#include "capture/linux/video_cap.h"
#include "capture/status.h"

class QMenu;

namespace kovracam {

class UiTextTable;

// Height of the banner strip, the video window's y position, and what the view adds to the
// video height when it reports the size it needs.
inline constexpr int BANNER_STRIP_HEIGHT = 50;

class CChildView : public QWidget {
  Q_OBJECT

 public:
  explicit CChildView(V4l2Io& io = systemV4l2Io(), QWidget* parent = nullptr);
  ~CChildView() override;

  // Lists the cameras into `deviceMenu` (whose only item is the first device's) and picks the
  // remembered one. Non-zero when no camera could be listed, after the no-camera box.
  Status FillDeviceMenu(QMenu* deviceMenu);
  void SaveDeviceChoice(std::uint32_t id);
  Status StartPreview(int index, int* width, int* heightWithBanner);
  Status RestartWithPinProperties(int* width, int* heightWithBanner);
  // Rebuilds the current camera's graph with a branch recording to `path`. The outputs are
  // written once the graph is built, even when the start then fails.
  Status StartRecording(const QString& path, int* width, int* heightWithBanner);

  const UiTextTable* m_pUiTexts = nullptr;
  CVideoCap m_videoCap;
  DeviceList m_devices;
  bool m_bRunning = false;
  QString m_strCurDir;
  std::uint32_t m_nCurDevice = 0;
  int m_nBannerWidth = 0;
  int m_nBannerHeight = 0;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void LoadDeviceChoice();
  const DeviceRecord* recordAt(int index) const;
  Status BuildAround(const DeviceRecord& record, int* width, int* height);
  Status RebuildCurrent(int* width, int* height);

  V4l2Io& m_io;  // the devices this view lists and its engine binds
  QImage m_bmpBanner;
};

}  // namespace kovracam
