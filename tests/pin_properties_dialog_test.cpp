// The format dialog, and choosing a format through it: the restart, the size, and what survives
// it. Its place, its missing title and a plain choice on a real picture are checked by the
// real-window tests.

#include "capture/linux/dialogs/pin_properties_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "res/command_ids.h"
#include "tests/engine_probe.h"
#include "tests/fakes/fake_v4l2_io.h"
#include "tests/test_env.h"
#include "view/linux/child_view.h"

namespace kovracam {
namespace {

const std::vector<CaptureFormat> kOffered = {
    {Subtype::YUY2, 640, 480, {30, 1}},  {Subtype::YUY2, 320, 240, {15, 2}},
    {Subtype::RGB24, 320, 240, {15, 2}}, {Subtype::MJPG, 1280, 720, {30000, 1001}},
    {Subtype::I420, 176, 144, {100, 3}},
};

TEST(PinPropertiesDialog, ListsOfferedFormatsInOrderWithTheCurrentSelected) {
  PinPropertiesDialog dialog(kOffered, kOffered[2], nullptr);
  const char* texts[] = {"YUY2  640 x 480  30 fps", "YUY2  320 x 240  7.5 fps",
                         "RGB24  320 x 240  7.5 fps", "MJPG  1280 x 720  29.97 fps",
                         "I420  176 x 144  33.33 fps"};
  QListWidget* list = dialog.formatList();
  ASSERT_EQ(list->count(), static_cast<int>(kOffered.size()));
  for (int i = 0; i < list->count(); ++i) EXPECT_EQ(list->item(i)->text(), texts[i]);
  ASSERT_EQ(list->selectedItems().size(), 1);
  EXPECT_TRUE(list->row(list->selectedItems().front()) == 2 && dialog.okButton()->isEnabled());
  EXPECT_EQ(formatListText({Subtype::YUY2, 640, 480, {0, 0}}), "YUY2  640 x 480  0 fps");

  QWidget owner;  // the dialog opens 30 pixels right of and below its owner's corner
  owner.move(100, 80);
  PinPropertiesDialog placed(kOffered, kOffered[0], &owner);
  EXPECT_EQ(placed.pos(), owner.mapToGlobal(QPoint(30, 30)));
}

TEST(PinPropertiesDialog, OnlyAcceptReturnsTheSelectedFormat) {
  PinPropertiesDialog accepted(kOffered, kOffered[0], nullptr);
  accepted.show();
  accepted.formatList()->setCurrentRow(3);
  QTest::mouseClick(accepted.okButton(), Qt::LeftButton);
  EXPECT_TRUE(!accepted.isVisible() && accepted.selectedFormat() == kOffered[3]);
  PinPropertiesDialog rejected(kOffered, kOffered[0], nullptr);
  rejected.formatList()->setCurrentRow(3);
  QTest::mouseClick(rejected.cancelButton(), Qt::LeftButton);
  EXPECT_TRUE(rejected.result() == QDialog::Rejected && !rejected.selectedFormat());
  // A current format the camera does not list leaves the list without a selection.
  PinPropertiesDialog unlisted(kOffered, {Subtype::RGB24, 1920, 1080, {60, 1}}, nullptr);
  EXPECT_TRUE(unlisted.formatList()->selectedItems().isEmpty());
  unlisted.accept();
  EXPECT_EQ(unlisted.selectedFormat(), std::nullopt);
}

TEST(PinPropertiesDialog, DoubleClickAcceptsTheClickedFormat) {
  PinPropertiesDialog dialog(kOffered, kOffered[0], nullptr);
  dialog.show();
  QListWidget* list = dialog.formatList();
  const QPoint at = list->visualItemRect(list->item(1)).center();
  // A real double-click is a click followed by a second press the system reports as double.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_TRUE(dialog.isVisible()) << "a single click only selects";
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  EXPECT_TRUE(dialog.result() == QDialog::Accepted && dialog.selectedFormat() == kOffered[1]);
}

// When the format dialog opens, picks the row whose text starts with `prefix` and presses OK
// (or Cancel when prefix is empty).
void answerFormatDialog(const QString& prefix) {
  QTimer::singleShot(0, [prefix] {
    auto* dialog = qobject_cast<PinPropertiesDialog*>(QApplication::activeModalWidget());
    if (!dialog) return answerFormatDialog(prefix);  // not open yet: look again
    if (prefix.isEmpty()) return dialog->reject();
    const auto rows = dialog->formatList()->findItems(prefix, Qt::MatchStartsWith);
    if (!rows.isEmpty()) dialog->formatList()->setCurrentItem(rows.last());
    dialog->accept();
  });
}

TEST(FormatDialogFlow, ChoiceRestartsThePreviewAndAnUnsupportedOneKeepsTheOldSize) {
  testing::ScratchDirectory cwd;
  testing::VirtualCameraEnv cams{
      "id=cam; name=Cam; formats=YUY2 640x480@30, YUY2 320x240@30, MJPG 800x600@30\n"};
  FakeV4l2Io io;
  CChildView view{io};
  testing::ModalBoxCloser boxes;
  QMenu menu;
  ASSERT_EQ(view.FillDeviceMenu(&menu), kOk);
  int w = 0, hb = 0;
  ASSERT_EQ(view.StartPreview(0, &w, &hb), kOk);

  answerFormatDialog("YUY2  320 x 240");
  ASSERT_EQ(view.RestartWithPinProperties(&w, &hb), kOk);
  EXPECT_EQ(std::make_pair(w, hb), std::make_pair(320, 240 + BANNER_STRIP_HEIGHT));
  EXPECT_EQ(view.m_videoCap.videoWindow()->geometry(), QRect(0, 50, 320, 240));
  answerFormatDialog(QString());  // Cancel still restarts, at the format now in force
  ASSERT_EQ(view.RestartWithPinProperties(&w, &hb), kOk);
  EXPECT_TRUE(w == 320 && view.m_videoCap.isRunning() && boxes.seen.isEmpty());

  // A format the pipeline cannot show: a message, the restart goes on at the old size, and the
  // next build fails with the unsupported format instead of showing a wrong picture.
  answerFormatDialog("MJPG");
  ASSERT_EQ(view.RestartWithPinProperties(&w, &hb), kOk);
  EXPECT_EQ(std::tuple(boxes.seen.size(), w, view.m_videoCap.m_nWidth, view.m_videoCap.isRunning()),
            std::tuple(1, 320, 320, true));
  view.m_videoCap.Stop();
  view.m_videoCap.TearDown();
  view.m_bRunning = false;
  EXPECT_EQ(view.StartPreview(0, &w, &hb), kUnsupportedSubtype);
  EXPECT_TRUE(boxes.seen.size() == 2 && !view.m_videoCap.hasGraph());
}

// A camera with no controls, and one that lists no format: neither command shows a dialog, and
// the format in force is still read.
TEST(FormatDialogFlow, NothingToShowShowsNoDialog) {
  testing::ScratchDirectory cwd;
  testing::VirtualCameraEnv cams{""};
  FakeV4l2Io io;
  io.addDevice("/dev/video0", fakeUvcCamera("Bare Camera"));
  CChildView view{io};
  QMenu menu;
  ASSERT_EQ(view.FillDeviceMenu(&menu), kOk);
  QStringList shown;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (QWidget* modal = QApplication::activeModalWidget()) {
      shown << modal->metaObject()->className();
      modal->close();
    }
  });
  closer.start(5);
  CVideoCap& engine = view.m_videoCap;
  ASSERT_EQ(engine.SelectDevice(view.m_devices.pRecords[0].szDisplayName), kOk);
  io.device("/dev/video0")->formats.clear();  // it lists none from now on
  int w = 0, h = 0;
  ASSERT_EQ(engine.BuildGraph(&w, &h), kOk);
  engine.ShowFilterProperties(&view);
  w = h = 0;
  engine.ShowPinProperties(&view, &w, &h);
  EXPECT_EQ(std::make_pair(w, h), std::make_pair(640, 480));
  EXPECT_TRUE(shown.isEmpty()) << shown.join(' ').toStdString();
}

}  // namespace
}  // namespace kovracam
