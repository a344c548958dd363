// Choosing a format through the format dialog: the restart, the size, and what survives it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QTimer>

#include "capture/dialogs/pin_properties_dialog.h"
#include "res/command_ids.h"
#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/virtual_camera_env.h"
#include "view/child_view.h"

namespace kovracam {
namespace {

using testing::VirtualCameraEnv;

// When the format dialog opens, picks the row whose text starts with `prefix` and presses OK
// (or Cancel when prefix is empty).
void answerFormatDialog(const QString& prefix) {
  QTimer::singleShot(0, [prefix] {
    auto* dialog = qobject_cast<PinPropertiesDialog*>(QApplication::activeModalWidget());
    if (!dialog) return answerFormatDialog(prefix);  // not open yet: look again
    if (prefix.isEmpty()) return dialog->reject();
    for (int i = 0; i < dialog->formatList()->count(); ++i) {
      if (dialog->formatList()->item(i)->text().startsWith(prefix)) {
        dialog->formatList()->setCurrentRow(i);
      }
    }
    dialog->accept();
  });
}

class FormatDialogFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    QMenu menu;
    ASSERT_EQ(view.FillDeviceMenu(&menu), kOk);
    int w = 0, h = 0;
    ASSERT_EQ(view.StartPreview(0, &w, &h), kOk);
    ASSERT_EQ(w, 640);
  }
  void TearDown() override {
    view.m_videoCap.Stop();
    view.m_videoCap.TearDown();
  }

  testing::ScratchDirectory cwd;
  VirtualCameraEnv cams{
      "id=cam; name=Cam; formats=YUY2 640x480@30, YUY2 320x240@30, MJPG 800x600@30\n"};
  FakeV4l2Io io;
  CChildView view{io};
  testing::ModalBoxCloser boxes;
};

TEST_F(FormatDialogFlow, ChosenSizeRestartsThePreviewAndSurvivesRebuilds) {
  answerFormatDialog("YUY2  320 x 240");
  int w = 0, hb = 0;
  ASSERT_EQ(view.RestartWithPinProperties(&w, &hb), kOk);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(hb, 240 + BANNER_STRIP_HEIGHT);
  EXPECT_EQ(view.m_videoCap.m_nWidth, 320);
  EXPECT_EQ(view.m_videoCap.videoWindow()->geometry(), QRect(0, 50, 320, 240));
  EXPECT_TRUE(view.m_videoCap.isRunning());

  // Cancel still restarts, at the format now in force.
  answerFormatDialog(QString());
  ASSERT_EQ(view.RestartWithPinProperties(&w, &hb), kOk);
  EXPECT_EQ(w, 320);
  EXPECT_TRUE(boxes.seen.isEmpty());
}

TEST_F(FormatDialogFlow, UnsupportedChoiceKeepsTheOldSizeAndFailsTheNextBuild) {
  answerFormatDialog("MJPG");
  int w = 0, hb = 0;
  ASSERT_EQ(view.RestartWithPinProperties(&w, &hb), kOk);
  EXPECT_EQ(boxes.seen.size(), 1);
  EXPECT_EQ(w, 640);  // the restart goes on with the old size
  EXPECT_EQ(view.m_videoCap.m_nWidth, 640);
  EXPECT_TRUE(view.m_videoCap.isRunning());

  view.m_videoCap.Stop();
  view.m_videoCap.TearDown();
  view.m_bRunning = false;
  EXPECT_EQ(view.StartPreview(0, &w, &hb), kUnsupportedSubtype);
  EXPECT_EQ(boxes.seen.size(), 2);
  EXPECT_FALSE(view.m_videoCap.hasGraph());
}

}  // namespace
}  // namespace kovracam
