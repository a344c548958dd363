#include "capture/pin_properties_dialog.h"

#include <gtest/gtest.h>

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

namespace kovracam {
namespace {

CaptureFormat format(Subtype subtype, int width, int height, int num, int den = 1) {
  return CaptureFormat{subtype, width, height, FrameRate{num, den}};
}

std::vector<CaptureFormat> offeredFormats() {
  return {format(Subtype::YUY2, 640, 480, 30), format(Subtype::YUY2, 320, 240, 15, 2),
          format(Subtype::RGB24, 320, 240, 15, 2), format(Subtype::MJPG, 1280, 720, 30000, 1001),
          format(Subtype::YUY2, 160, 120, 5)};
}

TEST(PinPropertiesDialog, FormatTextNamesSubtypeSizeAndRate) {
  EXPECT_EQ(formatListText(format(Subtype::YUY2, 640, 480, 30)), "YUY2  640 x 480  30 fps");
  EXPECT_EQ(formatListText(format(Subtype::RGB24, 320, 240, 15, 2)), "RGB24  320 x 240  7.5 fps");
  EXPECT_EQ(formatListText(format(Subtype::MJPG, 1280, 720, 30000, 1001)),
            "MJPG  1280 x 720  29.97 fps");
  EXPECT_EQ(formatListText(format(Subtype::I420, 176, 144, 100, 3)), "I420  176 x 144  33.33 fps");
  EXPECT_EQ(formatListText(format(Subtype::YUY2, 640, 480, 0, 0)), "YUY2  640 x 480  0 fps");
}

TEST(PinPropertiesDialog, ListsOfferedFormatsInOrderWithTheCurrentSelected) {
  const std::vector<CaptureFormat> offered = offeredFormats();
  PinPropertiesDialog dialog(offered, offered[2], nullptr);
  QListWidget* list = dialog.formatList();
  ASSERT_EQ(list->count(), static_cast<int>(offered.size()));
  for (int i = 0; i < list->count(); ++i) {
    EXPECT_EQ(list->item(i)->text(), formatListText(offered[i]));
  }
  ASSERT_EQ(list->selectedItems().size(), 1);
  EXPECT_EQ(list->row(list->selectedItems().front()), 2);
  EXPECT_TRUE(dialog.okButton()->isEnabled());
  EXPECT_EQ(dialog.emptyLabel(), nullptr);
}

TEST(PinPropertiesDialog, AcceptReturnsTheSelectedFormat) {
  const std::vector<CaptureFormat> offered = offeredFormats();
  PinPropertiesDialog dialog(offered, offered[0], nullptr);
  dialog.show();
  dialog.formatList()->setCurrentRow(3);
  QTest::mouseClick(dialog.okButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.selectedFormat(), offered[3]);
}

TEST(PinPropertiesDialog, RejectOrNoSelectionReturnsNothing) {
  const std::vector<CaptureFormat> offered = offeredFormats();
  {
    PinPropertiesDialog dialog(offered, offered[1], nullptr);
    dialog.show();
    dialog.formatList()->setCurrentRow(4);
    QTest::mouseClick(dialog.cancelButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(dialog.selectedFormat(), std::nullopt);
  }
  // A current format the camera does not list leaves the list without a selection.
  PinPropertiesDialog dialog(offered, format(Subtype::RGB24, 1920, 1080, 60), nullptr);
  EXPECT_TRUE(dialog.formatList()->selectedItems().isEmpty());
  dialog.show();
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.selectedFormat(), std::nullopt);
}

TEST(PinPropertiesDialog, DoubleClickAcceptsTheClickedFormat) {
  const std::vector<CaptureFormat> offered = offeredFormats();
  PinPropertiesDialog dialog(offered, offered[0], nullptr);
  dialog.show();
  QListWidget* list = dialog.formatList();
  const QRect rect = list->visualItemRect(list->item(1));
  ASSERT_TRUE(rect.isValid());
  // A real double-click is a click followed by a second press the system reports as double.
  QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  EXPECT_TRUE(dialog.isVisible()) << "a single click only selects";
  QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.selectedFormat(), offered[1]);
}

TEST(PinPropertiesDialog, EmptyListDisablesOk) {
  PinPropertiesDialog dialog({}, format(Subtype::YUY2, 640, 480, 30), nullptr);
  EXPECT_EQ(dialog.formatList()->count(), 0);
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  EXPECT_TRUE(dialog.cancelButton()->isEnabled());
  ASSERT_NE(dialog.emptyLabel(), nullptr);
  EXPECT_TRUE(dialog.emptyLabel()->text().contains("no formats"));
  dialog.show();
  dialog.accept();
  EXPECT_EQ(dialog.selectedFormat(), std::nullopt);
}

TEST(PinPropertiesDialog, IsAModalUncaptionedWindowOffsetFromTheOwner) {
  QWidget window;
  window.move(210, 120);
  window.resize(500, 400);
  auto* owner = new QWidget(&window);
  owner->setGeometry(15, 25, 300, 200);
  window.show();
  const std::vector<CaptureFormat> offered = offeredFormats();
  PinPropertiesDialog dialog(offered, offered[0], owner);
  EXPECT_TRUE(dialog.windowTitle().isEmpty());
  EXPECT_TRUE(dialog.isModal());
  dialog.show();
  EXPECT_EQ(dialog.frameGeometry().topLeft(), owner->mapToGlobal(QPoint(30, 30)));
  dialog.reject();
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace kovracam
