// The main frame off screen: start-up, menu texts and ids, sizes, and the status pane.

#include "app/linux/main_frame.h"

#include <gtest/gtest.h>

#include <QMenu>
#include <QStatusTipEvent>

#include "app/linux/kovracam_app.h"
#include "app/linux/menu_resource.h"
#include "res/command_ids.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/test_env.h"
#include "view/linux/child_view.h"

namespace kovracam {
namespace {

using testing::processEventsUntil;
using testing::VirtualCameraEnv;

QStringList texts(const QList<QAction*>& actions) {
  QStringList out;
  for (QAction* a : actions) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
  return out;
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

TEST_F(StartedApp, MenuBarCarriesTheTableTextsAndIdsAndEachCameraOnce) {
  EXPECT_EQ(frame->windowTitle(), "KOVRACAM");
  EXPECT_EQ((*frame->m_pUiTexts)[IDS_NO_CAMERA], u"Can't find Camera device");
  EXPECT_EQ(frame->m_nSelectedDevice, ID_DEVICE_FIRST);  // no choice saved: the first camera
  EXPECT_EQ(frame->view().m_videoCap.m_nWidth, 640);
  EXPECT_EQ(
      texts(frame->popup(kOptionMenu)->actions()),
      QStringList({"&Preview", "-", "Video Capture filter", "Video Capture Pin", "Frequency"}));
  QMenu* devices = frame->popup(kDeviceMenu);
  EXPECT_EQ(texts(devices->actions()), QStringList({"Red Camera", "Blue Camera"}));
  EXPECT_EQ(devices->actions()[1]->data().toUInt(), ID_DEVICE_FIRST + 1);
  frame->OnInitMenuPopup(devices, kDeviceMenu);
  frame->OnInitMenuPopup(devices, kDeviceMenu);
  EXPECT_EQ(texts(devices->actions()), QStringList({"Red Camera", "Blue Camera"}));
  EXPECT_TRUE(devices->actions()[0]->isChecked());
  EXPECT_FALSE(devices->actions()[1]->isChecked());
  cams.write(
      "id=red; name=Red Camera; formats=YUY2 640x480@30; pattern=red\n"
      "id=green; name=Green Camera; formats=YUY2 320x240@30; pattern=green\n");
  frame->OnInitMenuPopup(devices, kDeviceMenu);
  EXPECT_EQ(texts(devices->actions()), QStringList({"Red Camera", "Green Camera"}));
}

// Start, Stop, Snapshot, Preview, Video Capture filter, Frequency enabled, Preview checked: the
// items' states as each popup opens, and the pane: preview on, recording, stopped, preview off.
TEST_F(StartedApp, MenusAndPaneFollowPreviewAndRecording) {
  QMenu* capture = frame->popup(kCaptureMenu);
  QMenu* option = frame->popup(kOptionMenu);
  const auto state = [&] {
    frame->OnInitMenuPopup(capture, kCaptureMenu);
    frame->OnInitMenuPopup(option, kOptionMenu);
    QString out;
    const QList<QAction*> options = option->actions();
    for (QAction* a : capture->actions() + QList{options[0], options[2], options[4]})
      out += a->isEnabled() ? '1' : '0';
    return out + (options[0]->isChecked() ? '1' : '0');
  };
  EXPECT_EQ(state(), "1011111");
  ASSERT_TRUE(processEventsUntil([&] { return frame->paneText().startsWith("Frame Rate "); }));
  QStatusTipEvent tip(QStringLiteral("Quit the application"));  // menu prompts never show
  QCoreApplication::sendEvent(frame, &tip);
  EXPECT_TRUE(frame->paneText().startsWith("Frame Rate "));
  frame->m_bRecording = true;
  EXPECT_EQ(state(), "0110111");
  frame->OnDevice(ID_DEVICE_FIRST + 1);  // another camera: still recording until Stop Capture
  EXPECT_EQ(state(), "0110111");
  frame->OnCaptureStop();  // previews again
  EXPECT_EQ(state(), "1011111");
  frame->OnOptionPreview();
  EXPECT_FALSE(frame->view().m_bRunning);
  EXPECT_FALSE(frame->view().m_videoCap.hasGraph());
  EXPECT_EQ(state(), "0001000");
  ASSERT_TRUE(processEventsUntil([&] { return frame->paneText().isEmpty(); }));
  frame->OnOptionPreview();
  EXPECT_TRUE(frame->view().m_videoCap.isRunning());
}

// A choice made while maximised stays in force unsaved, and is fitted when the frame is restored.
TEST_F(StartedApp, MaximisedFrameTakesTheFittedSizeWhenRestored) {
  CChildView& view = frame->view();
  view.m_strCurDir = QStringLiteral("/proc");  // nobody, root included, can create files here
  frame->showMaximized();
  ASSERT_TRUE(processEventsUntil([&] { return frame->isMaximized(); }, std::chrono::seconds(3)));
  frame->OnDevice(ID_DEVICE_FIRST + 1);
  EXPECT_EQ(view.m_nCurDevice, ID_DEVICE_FIRST + 1);
  EXPECT_EQ(view.m_videoCap.m_nWidth, 320);
  EXPECT_TRUE(frame->isMaximized());
  frame->showNormal();
  ASSERT_TRUE(
      processEventsUntil([&] { return view.size() == QSize(325, 295); }, std::chrono::seconds(3)));
}

}  // namespace
}  // namespace kovracam
