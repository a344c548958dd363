#include "capture/dialogs/pin_properties_dialog.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

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
  EXPECT_EQ(list->row(list->selectedItems().front()), 2);
  EXPECT_TRUE(dialog.okButton()->isEnabled());
  EXPECT_EQ(dialog.emptyLabel(), nullptr);
  EXPECT_EQ(formatListText({Subtype::YUY2, 640, 480, {0, 0}}), "YUY2  640 x 480  0 fps");
}

TEST(PinPropertiesDialog, OnlyAcceptReturnsTheSelectedFormat) {
  PinPropertiesDialog accepted(kOffered, kOffered[0], nullptr);
  accepted.show();
  accepted.formatList()->setCurrentRow(3);
  QTest::mouseClick(accepted.okButton(), Qt::LeftButton);
  EXPECT_FALSE(accepted.isVisible());
  EXPECT_EQ(accepted.selectedFormat(), kOffered[3]);
  PinPropertiesDialog rejected(kOffered, kOffered[0], nullptr);
  rejected.show();
  rejected.formatList()->setCurrentRow(3);
  QTest::mouseClick(rejected.cancelButton(), Qt::LeftButton);
  EXPECT_EQ(rejected.result(), QDialog::Rejected);
  EXPECT_EQ(rejected.selectedFormat(), std::nullopt);
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
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.selectedFormat(), kOffered[1]);
}

TEST(PinPropertiesDialog, EmptyListDisablesOk) {
  PinPropertiesDialog dialog({}, kOffered[0], nullptr);
  EXPECT_EQ(dialog.formatList()->count(), 0);
  EXPECT_FALSE(dialog.okButton()->isEnabled());
  ASSERT_NE(dialog.emptyLabel(), nullptr);
  EXPECT_TRUE(dialog.emptyLabel()->text().contains("no formats"));
}

TEST(PinPropertiesDialog, IsAModalUncaptionedWindowOffsetFromTheOwner) {
  QWidget window;
  window.move(210, 120);
  window.resize(500, 400);
  auto* owner = new QWidget(&window);
  owner->setGeometry(15, 25, 300, 200);
  window.show();
  PinPropertiesDialog dialog(kOffered, kOffered[0], owner);
  EXPECT_TRUE(dialog.windowTitle().isEmpty());
  EXPECT_TRUE(dialog.isModal());
  dialog.show();
  EXPECT_EQ(dialog.frameGeometry().topLeft(), owner->mapToGlobal(QPoint(30, 30)));
}

}  // namespace
}  // namespace kovracam
