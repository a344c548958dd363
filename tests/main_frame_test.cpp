// The main frame off screen: start-up, menu texts and ids, sizes, and the status pane.

#include "app/linux/main_frame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QStatusTipEvent>
#include <QTimer>
#include <chrono>

#include "app/linux/kovracam_app.h"
#include "app/linux/menu_resource.h"
#include "res/command_ids.h"
#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/test_env.h"
#include "view/linux/child_view.h"

namespace kovracam {
namespace {

using testing::ModalBoxCloser;
using testing::processEventsUntil;
using testing::VirtualCameraEnv;

constexpr const char* kRed = "id=red; name=Red Camera; formats=YUY2 640x480@30; pattern=red\n";
constexpr const char* kBlue = "id=blue; name=Blue Camera; formats=YUY2 320x240@15; pattern=blue\n";

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
  VirtualCameraEnv cams{std::string(kRed) + kBlue};
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
  EXPECT_TRUE(devices->actions()[0]->isChecked() && !devices->actions()[1]->isChecked());
  cams.write(std::string(kRed) + "id=green; name=Green Camera; formats=YUY2 320x240@30\n");
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
  EXPECT_FALSE(frame->view().m_bRunning || frame->view().m_videoCap.hasGraph());
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
  EXPECT_EQ(std::tuple(view.m_nCurDevice, view.m_videoCap.m_nWidth),
            std::tuple(ID_DEVICE_FIRST + 1, 320));
  EXPECT_TRUE(frame->isMaximized());
  frame->showNormal();
  ASSERT_TRUE(
      processEventsUntil([&] { return view.size() == QSize(325, 295); }, std::chrono::seconds(3)));
}

// Answers the next save dialog with `path`; one still open a moment later (it refused the name)
// is cancelled. Looks for it for 20 seconds at most.
void answerSaveDialog(const QString& path, bool answered = false,
                      std::chrono::steady_clock::time_point until =
                          std::chrono::steady_clock::now() + std::chrono::seconds(20)) {
  QTimer::singleShot(5, [=] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (answered && dialog) dialog->reject();
    if (answered) return;
    if (dialog) {
      dialog->selectFile(path);
      QMetaObject::invokeMethod(dialog, "accept");  // as its Save button does
    }
    if (dialog || std::chrono::steady_clock::now() < until)
      answerSaveDialog(path, dialog != nullptr, until);
  });
}

// A start that failed leaves the preview wanted and not running, and a recording whose file
// cannot be made then leaves its graph built: Stop Capture, or Preview off and on, previews again.
TEST_F(StartedApp, PreviewComesBackAfterAFailedStartAndAFailedRecording) {
  CChildView& view = frame->view();
  const auto failStartThenRecording = [&](std::uint32_t device, const char* left) {
    cams.write(left);
    frame->OnDevice(device);  // listed, but gone when its preview starts
    EXPECT_TRUE(!view.m_bRunning && frame->m_bPreview);
    cams.write(std::string(kRed) + kBlue);
    int width = 0, heightWithBanner = 0;
    EXPECT_NE(view.StartRecording("/proc/take.avi", &width, &heightWithBanner), kOk);
  };
  failStartThenRecording(ID_DEVICE_FIRST + 1, kRed);
  frame->OnCaptureStop();
  EXPECT_TRUE(view.m_videoCap.isRunning() && view.m_videoCap.m_nWidth == 320);

  failStartThenRecording(ID_DEVICE_FIRST, kBlue);
  frame->OnOptionPreview();
  frame->OnOptionPreview();
  EXPECT_TRUE(view.m_videoCap.isRunning() && view.m_videoCap.m_nWidth == 640);
}

// A Start Capture that fails says so in one box, with this attempt's reason.
TEST_F(StartedApp, AFailedStartCaptureShowsOneBoxWithItsOwnReason) {
  ModalBoxCloser boxes;
  const auto dead = cwd.path() / "dead.avi";  // leads into a folder that does not exist
  std::filesystem::create_symlink("/nonexistent/folder/take.avi", dead);
  answerSaveDialog(QString::fromStdString(dead.string()));
  frame->OnCaptureStart();
  ASSERT_EQ(boxes.seen.size(), 1);
  EXPECT_TRUE(boxes.seen[0].endsWith("dead.avi\": No such file or directory."))
      << boxes.seen[0].toStdString();

  cams.write(kBlue);  // the camera is gone by the next attempt
  const QString take = QString::fromStdString((cwd.path() / "take.avi").string());
  answerSaveDialog(take);
  frame->OnCaptureStart();
  ASSERT_EQ(boxes.seen.size(), 2);
  EXPECT_EQ(boxes.seen[1],
            "ERROR: Can't record to \"" + take + "\": the camera is no longer connected.");

  // Back with a format the pipeline cannot take: the engine's own box, and no other.
  cams.write("id=red; name=Red Camera; formats=MJPG 640x480@30\n");
  answerSaveDialog(take);
  frame->OnCaptureStart();
  EXPECT_TRUE(boxes.seen.mid(2) == QStringList{"Error: This type is not support"} &&
              !frame->m_bRecording);
}

// The 50Hz and 60Hz marks show what the camera reports as the submenu opens; choosing an item
// marks nothing by itself.
TEST_F(StartedApp, FrequencyMarksFollowOnlyTheCamera) {
  QMenu* frequency = frame->popup(kOptionMenu)->actions()[kFrequencySubmenu]->menu();
  const auto marks = [&] {
    frame->OnInitMenuPopup(frequency, kFrequencySubmenu);
    QString out;
    for (QAction* item : frequency->actions()) out += item->isChecked() ? '1' : '0';
    return out;
  };
  CVideoCap& engine = frame->view().m_videoCap;
  engine.SetPowerLineFrequency(0);  // off: neither
  EXPECT_EQ(marks(), "00");
  {
    const QSignalBlocker refused(frame->menuBar());  // a click the camera does not take
    frequency->actions()[0]->trigger();
  }
  EXPECT_EQ(engine.GetPowerLineFrequency(), 0);
  EXPECT_EQ(marks(), "00");
  frequency->actions()[1]->trigger();  // taken
  EXPECT_EQ(marks(), "01");
  engine.SetPowerLineFrequency(3);  // auto: the marks stay as they were
  EXPECT_EQ(marks(), "01");
}

}  // namespace
}  // namespace kovracam
