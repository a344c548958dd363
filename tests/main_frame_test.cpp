// The main frame off screen: start-up, menu texts and ids, sizes, and the status pane.

#include "app/main_frame.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QStatusTipEvent>

#include "app/frame_geometry.h"
#include "app/kovracam_app.h"
#include "app/menu_resource.h"
#include "capture/frame_stats.h"
#include "res/command_ids.h"
#include "tests/avi_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/virtual_camera_env.h"
#include "view/child_view.h"
#include "view/device_choice_file.h"

namespace kovracam {
namespace {

using testing::processEventsUntil;
using testing::VirtualCameraEnv;

QStringList texts(const QList<QAction*>& actions) {
  QStringList out;
  for (QAction* a : actions) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return out;
}

TEST(FrameGeometry, ViewIsFivePixelsLargerThanVideoAndBanner) {
  EXPECT_EQ(viewSizeForVideo(640, 530), QSize(645, 535));
  EXPECT_EQ(frameSizeForVideo(640, 530, 22, 20), QSize(645, 22 + 535 + 20));
  // A client of 800 x 600 below the menu bar with a 20-pixel status bar.
  EXPECT_EQ(videoRectForClient(800, 600, 20), QRect(0, 50, 795, 525));
  // Minimised: the negative sizes are passed on as they are.
  EXPECT_EQ(videoRectForClient(0, 0, 20).size(), QSize(-5, -75));
}

class StartedApp : public ::testing::Test {
 protected:
  void SetUp() override {
    app = std::make_unique<CKOVRACAMApp>(io);
    ASSERT_TRUE(app->InitInstance());
    frame = app->mainFrame();
  }
  testing::ScratchDirectory cwd;
  VirtualCameraEnv cams{
      "id=red; name=Red Camera; formats=YUY2 640x480@30; pattern=red\n"
      "id=blue; name=Blue Camera; formats=YUY2 320x240@15; pattern=blue\n"};
  FakeV4l2Io io;
  std::unique_ptr<CKOVRACAMApp> app;
  CMainFrame* frame = nullptr;
};

TEST_F(StartedApp, MenuBarCarriesTheTableTextsAndIds) {
  EXPECT_EQ(frame->windowTitle(), "KOVRACAM");
  EXPECT_EQ(texts(frame->menuBar()->actions()),
            QStringList({"&File", "&Device", "&Option", "&Captue", "&Help"}));
  EXPECT_EQ(texts(frame->popup(kCaptureMenu)->actions()),
            QStringList({"&Start Capture", "Sto&p Capture", "S&napshot"}));
  EXPECT_EQ(
      texts(frame->popup(kOptionMenu)->actions()),
      QStringList({"&Preview", "-", "Video Capture filter", "Video Capture Pin", "Frequency"}));
  EXPECT_EQ(texts(frame->popup(kHelpMenu)->actions()), QStringList({"&About KORVACAM"}));
  EXPECT_EQ(texts(frame->popup(kDeviceMenu)->actions()),
            QStringList({"Red Camera", "Blue Camera"}));
  const QList<QAction*> devices = frame->popup(kDeviceMenu)->actions();
  EXPECT_EQ(devices[0]->data().toUInt(), ID_DEVICE_FIRST);
  EXPECT_EQ(devices[1]->data().toUInt(), ID_DEVICE_FIRST + 1);
}

TEST_F(StartedApp, WindowFitsTheFirstCameraUnderTheBanner) {
  EXPECT_TRUE(frame->isVisible());
  EXPECT_EQ(frame->m_nSelectedDevice, ID_DEVICE_FIRST);
  ASSERT_TRUE(processEventsUntil([&] { return frame->view().size() == QSize(645, 535); }))
      << "view is " << frame->view().width() << "x" << frame->view().height();
  QWidget* video = frame->view().m_videoCap.videoWindow();
  ASSERT_NE(video, nullptr);
  EXPECT_EQ(video->geometry(), QRect(0, 50, 640, 480));
}

TEST_F(StartedApp, ChoosingAnotherCameraRefitsTheWindow) {
  frame->OnDevice(ID_DEVICE_FIRST + 1);
  EXPECT_EQ(frame->m_nSelectedDevice, ID_DEVICE_FIRST + 1);
  EXPECT_TRUE(frame->view().m_bRunning);
  ASSERT_TRUE(processEventsUntil([&] { return frame->view().size() == QSize(325, 295); }));
  EXPECT_EQ(frame->view().m_videoCap.videoWindow()->geometry(), QRect(0, 50, 320, 240));
}

TEST_F(StartedApp, PreviewOffTearsDownAndOnRestarts) {
  frame->OnOptionPreview();
  EXPECT_FALSE(frame->m_bPreview);
  EXPECT_FALSE(frame->view().m_bRunning);
  EXPECT_FALSE(frame->view().m_videoCap.hasGraph());
  frame->OnOptionPreview();
  EXPECT_TRUE(frame->m_bPreview);
  EXPECT_TRUE(frame->view().m_videoCap.isRunning());
}

TEST_F(StartedApp, PaneShowsTheRateWhilePreviewingAndIgnoresMenuPrompts) {
  ASSERT_TRUE(processEventsUntil([&] { return frame->paneText().startsWith("Frame Rate "); },
                                 std::chrono::seconds(5)));
  const QString before = frame->paneText();
  QStatusTipEvent tip(QStringLiteral("Quit the application"));
  QCoreApplication::sendEvent(frame, &tip);
  EXPECT_EQ(frame->paneText(), before);
  EXPECT_TRUE(frame->statusBar()->currentMessage().isEmpty());

  frame->OnOptionPreview();  // off: the pane empties at the next tick
  ASSERT_TRUE(
      processEventsUntil([&] { return frame->paneText().isEmpty(); }, std::chrono::seconds(3)));
}

TEST_F(StartedApp, MenuStateFollowsPreview) {
  QMenu* option = frame->popup(kOptionMenu);
  frame->OnInitMenuPopup(option, kOptionMenu);
  const QList<QAction*> items = option->actions();
  EXPECT_TRUE(items[0]->isChecked());  // Preview
  EXPECT_TRUE(items[2]->isEnabled());
  EXPECT_TRUE(items[4]->isEnabled());  // Frequency: the virtual camera has the control
  frame->OnOptionPreview();
  frame->OnInitMenuPopup(option, kOptionMenu);
  EXPECT_FALSE(items[0]->isChecked());
  EXPECT_FALSE(items[2]->isEnabled());
  EXPECT_FALSE(items[3]->isEnabled());
  EXPECT_FALSE(items[4]->isEnabled());
}

TEST_F(StartedApp, CaptureItemsFollowPreviewAndRecording) {
  QMenu* capture = frame->popup(kCaptureMenu);
  QMenu* option = frame->popup(kOptionMenu);
  const auto enabled = [&] {
    frame->OnInitMenuPopup(capture, kCaptureMenu);
    frame->OnInitMenuPopup(option, kOptionMenu);
    QString out;
    for (QAction* a : {capture->actions()[0], capture->actions()[1], capture->actions()[2],
                       option->actions()[0], option->actions()[2]}) {
      out += a->isEnabled() ? '1' : '0';
    }
    return out;
  };
  // Start, Stop, Snapshot, Preview, Video Capture filter.
  EXPECT_EQ(enabled(), "10111");
  frame->m_bRecording = true;
  EXPECT_EQ(enabled(), "01101");
  frame->m_bRecording = false;
  frame->OnOptionPreview();
  EXPECT_EQ(enabled(), "00010");
}

// Choosing another camera ends the recording graph, which completes the file; the frame stays
// in its recording state until Stop Capture, which previews again.
TEST_F(StartedApp, AnotherCameraCompletesTheRecordingAndStopCapturePreviewsAgain) {
  const auto file = cwd.path() / "take.avi";
  int width = 0;
  int height = 0;
  ASSERT_EQ(frame->view().StartRecording(QString::fromStdString(file.string()), &width, &height),
            kOk);
  frame->m_bRecording = true;
  ASSERT_TRUE(processEventsUntil([&, start = frame_stats::produced.load()] {
    return frame_stats::produced.load() - start >= 5;
  }));
  frame->OnDevice(ID_DEVICE_FIRST + 1);
  EXPECT_TRUE(testing::isCompleteRecording(file));
  EXPECT_TRUE(frame->m_bRecording);
  EXPECT_FALSE(frame->view().m_videoCap.isRecording());
  frame->OnCaptureStop();
  EXPECT_FALSE(frame->m_bRecording);
  EXPECT_TRUE(frame->view().m_videoCap.isRunning());
}

TEST_F(StartedApp, ReopeningTheDeviceMenuListsEachCameraOnce) {
  QMenu* devices = frame->popup(kDeviceMenu);
  frame->OnInitMenuPopup(devices, kDeviceMenu);
  frame->OnInitMenuPopup(devices, kDeviceMenu);
  EXPECT_EQ(texts(devices->actions()), QStringList({"Red Camera", "Blue Camera"}));
  EXPECT_TRUE(devices->actions()[0]->isChecked());
  EXPECT_FALSE(devices->actions()[1]->isChecked());
  // A camera added to the file shows up at the next opening.
  cams.write(
      "id=red; name=Red Camera; formats=YUY2 640x480@30; pattern=red\n"
      "id=blue; name=Blue Camera; formats=YUY2 320x240@15; pattern=blue\n"
      "id=green; name=Green Camera; formats=YUY2 320x240@30; pattern=green\n");
  frame->OnInitMenuPopup(devices, kDeviceMenu);
  EXPECT_EQ(texts(devices->actions()), QStringList({"Red Camera", "Blue Camera", "Green Camera"}));
}

TEST_F(StartedApp, MaximisedFrameTakesTheFittedSizeWhenRestored) {
  frame->showMaximized();
  ASSERT_TRUE(processEventsUntil([&] { return frame->isMaximized(); }, std::chrono::seconds(3)));
  frame->OnDevice(ID_DEVICE_FIRST + 1);  // a 320 x 240 camera: fitted while maximised
  EXPECT_TRUE(frame->isMaximized());
  frame->showNormal();
  ASSERT_TRUE(processEventsUntil([&] { return frame->view().size() == QSize(325, 295); },
                                 std::chrono::seconds(3)))
      << "view is " << frame->view().width() << "x" << frame->view().height();
}

TEST_F(StartedApp, ClosingStopsAndReleasesTheGraph) {
  frame->close();
  EXPECT_FALSE(frame->view().m_bRunning);
  EXPECT_FALSE(frame->view().m_videoCap.hasGraph());
}

class TwoCameras : public ::testing::Test {
 protected:
  CKOVRACAMApp& start() {
    app = std::make_unique<CKOVRACAMApp>(io);
    EXPECT_TRUE(app->InitInstance());
    return *app;
  }
  std::string dir() const { return cwd.path().string(); }

  testing::ScratchDirectory cwd;
  VirtualCameraEnv cams{
      "id=one; name=One; formats=YUY2 320x240@30\n"
      "id=two; name=Two; formats=YUY2 160x120@30\n"};
  FakeV4l2Io io;
  std::unique_ptr<CKOVRACAMApp> app;
};

TEST_F(TwoCameras, DeviceMenuListsTheKernelsCamerasBeforeTheVirtualOnes) {
  io.addDevice("/dev/video0", fakeUvcCamera("USB Camera"));
  io.addDevice("/dev/video1", fakeUvcMetadataNode("USB Camera"));
  CChildView view(io);
  QMenu menu;
  ASSERT_EQ(view.FillDeviceMenu(&menu), kOk);
  EXPECT_EQ(texts(menu.actions()), QStringList({"USB Camera", "One", "Two"}));
  EXPECT_EQ(view.m_devices.pRecords[0].szDevicePath, "/dev/video0");
}

TEST_F(TwoCameras, StartPreviewsTheRememberedCamera) {
  ASSERT_TRUE(writeDeviceChoice(dir(), "virtual:two"));
  CMainFrame* frame = start().mainFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->m_nSelectedDevice, ID_DEVICE_FIRST + 1);
  EXPECT_EQ(frame->view().m_videoCap.m_nWidth, 160);
}

TEST_F(TwoCameras, ChoosingACameraWritesTheChoiceFileInTheCurrentDirectory) {
  CMainFrame* frame = start().mainFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_FALSE(readDeviceChoice(dir()));
  frame->OnDevice(ID_DEVICE_FIRST + 1);
  EXPECT_EQ(readDeviceChoice(dir()), "virtual:two");
}

TEST_F(TwoCameras, ChoiceStaysInForceWhenTheFileCannotBeWritten) {
  CMainFrame* frame = start().mainFrame();
  ASSERT_NE(frame, nullptr);
  CChildView& view = frame->view();
  // Nobody, root included, can create files here.
  view.m_strCurDir = QStringLiteral("/proc");
  frame->OnDevice(ID_DEVICE_FIRST + 1);
  EXPECT_EQ(view.m_nCurDevice, ID_DEVICE_FIRST + 1);
  EXPECT_TRUE(view.m_bRunning);
  EXPECT_EQ(view.m_videoCap.m_nWidth, 160);
}

}  // namespace
}  // namespace kovracam
