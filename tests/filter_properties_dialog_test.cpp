#include "capture/dialogs/filter_properties_dialog.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "tests/fakes/fake_device_controls.h"

namespace kovracam {
namespace {

constexpr std::uint32_t kBrightness = V4L2_CID_BRIGHTNESS;
constexpr std::uint32_t kContrast = V4L2_CID_CONTRAST;
constexpr std::uint32_t kAutoWhite = V4L2_CID_AUTO_WHITE_BALANCE;
constexpr std::uint32_t kWhiteTemp = V4L2_CID_WHITE_BALANCE_TEMPERATURE;
constexpr std::uint32_t kPowerLine = V4L2_CID_POWER_LINE_FREQUENCY;
constexpr std::uint32_t kPanReset = V4L2_CID_PAN_RESET;

// In the dialog's row order; the power-line menu has gaps in its indexes, as some drivers' do.
std::vector<ControlInfo> cameraControls() {
  using T = ControlType;
  return {
      {kBrightness, "Brightness", T::Integer, -64, 64, 1, 0, {}},
      {kContrast, "Contrast", T::Integer, 10, 90, 4, 50, {}},
      {kAutoWhite, "White Balance, Automatic", T::Boolean, 0, 1, 1, 1, {}},
      {kWhiteTemp, "White Balance Temperature", T::Integer, 2800, 6500, 10, 4600, {}},
      {kPowerLine, "Power Line", T::Menu, 0, 5, 1, 2, {{0, "Disabled"}, {2, "60"}, {5, "Auto"}}},
      {kPanReset, "Pan, Reset", T::Button, 0, 0, 0, 0, {}}};
}

class FilterPropertiesDialogTest : public ::testing::Test {
 protected:
  void open(QWidget* parent = nullptr) {
    dialog = std::make_unique<FilterPropertiesDialog>(fake, parent);
  }
  template <typename W>
  W* widget(std::uint32_t id) const {
    return qobject_cast<W*>(dialog->controlWidget(id));
  }
  bool messageNames(int error) const {
    return dialog->messageLabel()->text().contains(QString::fromLocal8Bit(std::strerror(error)));
  }

  FakeDeviceControls fake{cameraControls()};
  QWidget owner;  // declared before the dialog, so it outlives it
  std::unique_ptr<FilterPropertiesDialog> dialog;
};

TEST_F(FilterPropertiesDialogTest, ShowsEveryControlWithItsKindValueAndState) {
  fake.values[kBrightness] = -20;
  fake.values[kAutoWhite] = 0;
  fake.values[kWhiteTemp] = 5100;
  fake.values[kPowerLine] = 5;
  fake.controls[0].disabled = true;  // shown, but not to be changed
  fake.controls[2].inactive = true;
  fake.controls[3].readOnly = true;
  fake.controls[5].inactive = true;
  open();
  const char* kinds[] = {"QSlider", "QSlider", "QCheckBox", "QSlider", "QComboBox", "QPushButton"};
  for (std::size_t i = 0; i < std::size(kinds); ++i) {
    const ControlInfo& c = fake.controls[i];
    ASSERT_NE(dialog->controlWidget(c.id), nullptr) << c.name;
    EXPECT_STREQ(dialog->controlWidget(c.id)->metaObject()->className(), kinds[i]);
    EXPECT_EQ(dialog->controlWidget(c.id)->isEnabled(), !c.disabled && !c.inactive && !c.readOnly)
        << c.name;
  }
  EXPECT_EQ(widget<QSlider>(kWhiteTemp)->value(), 5100);
  auto* contrast = widget<QSlider>(kContrast);
  EXPECT_EQ(contrast->minimum(), 10);
  EXPECT_EQ(contrast->maximum(), 90);
  EXPECT_EQ(contrast->singleStep(), 4);
  EXPECT_EQ(widget<QSlider>(kBrightness)->value(), -20);
  EXPECT_EQ(dialog->valueLabel(kBrightness)->text(), "-20");
  EXPECT_FALSE(widget<QCheckBox>(kAutoWhite)->isChecked());
  auto* menu = widget<QComboBox>(kPowerLine);
  ASSERT_EQ(menu->count(), 3);
  EXPECT_EQ(menu->itemText(0), "Disabled");
  EXPECT_EQ(menu->currentText(), "Auto");
  EXPECT_EQ(dialog->valueLabel(kPanReset), nullptr);
  EXPECT_EQ(dialog->emptyLabel(), nullptr);
  EXPECT_TRUE(fake.sets.empty()) << "building the dialog must not write to the camera";

  fake.failGet = true;  // values that cannot be read show as the defaults
  open();
  EXPECT_EQ(widget<QSlider>(kBrightness)->value(), 0);
  EXPECT_EQ(widget<QSlider>(kWhiteTemp)->value(), 4600);
  EXPECT_TRUE(widget<QCheckBox>(kAutoWhite)->isChecked());
  EXPECT_EQ(widget<QComboBox>(kPowerLine)->currentData().toLongLong(), 2);
}

TEST_F(FilterPropertiesDialogTest, EveryKindWritesLive) {
  open();
  auto* menu = widget<QComboBox>(kPowerLine);
  for (int i : {2, 0, 1}) {  // the driver's index, not the row, is written
    fake.sets.clear();
    menu->setCurrentIndex(i);
    EXPECT_EQ(fake.sets, (decltype(fake.sets){{kPowerLine, fake.controls[4].menu[i].index}}));
  }
  widget<QCheckBox>(kAutoWhite)->setChecked(false);
  EXPECT_EQ(fake.values[kAutoWhite], 0);
  widget<QCheckBox>(kAutoWhite)->setChecked(true);
  EXPECT_EQ(fake.values[kAutoWhite], 1);
  fake.sets.clear();
  widget<QPushButton>(kPanReset)->click();
  widget<QPushButton>(kPanReset)->click();
  ASSERT_EQ(fake.sets.size(), 2u) << "each press is written, even with the same value";
  EXPECT_EQ(fake.sets[0].first, kPanReset);
  EXPECT_EQ(fake.sets[1].first, kPanReset);
}

TEST_F(FilterPropertiesDialogTest, SliderWritesLiveSnappedToTheStepFromTheMinimum) {
  open();
  auto* slider = widget<QSlider>(kContrast);
  slider->setValue(17);  // 10 + 4k: 14 and 18 are the neighbours, 18 the nearer one
  EXPECT_EQ(fake.sets, (decltype(fake.sets){{kContrast, 18}}));
  EXPECT_EQ(slider->value(), 18);
  EXPECT_EQ(dialog->valueLabel(kContrast)->text(), "18");
  for (int position = 10; position <= 90; ++position) {
    slider->setValue(position);
    const int shown = slider->value();
    EXPECT_EQ((shown - 10) % 4, 0) << position;
    EXPECT_LE(std::abs(shown - position), 2) << position;
    EXPECT_EQ(fake.values[kContrast], shown) << position;
  }
  // Every write is a real change: a position that snaps to the value shown writes nothing.
  for (std::size_t i = 1; i < fake.sets.size(); ++i) {
    EXPECT_NE(fake.sets[i].second, fake.sets[i - 1].second);
  }
}

TEST_F(FilterPropertiesDialogTest, DefaultRestoresEveryWritableControl) {
  fake.controls[3].readOnly = true;
  fake.values[kWhiteTemp] = 3000;
  open();
  widget<QSlider>(kBrightness)->setValue(33);
  widget<QSlider>(kContrast)->setValue(74);
  widget<QCheckBox>(kAutoWhite)->setChecked(false);
  widget<QComboBox>(kPowerLine)->setCurrentIndex(0);
  fake.sets.clear();

  QTest::mouseClick(dialog->defaultButton(), Qt::LeftButton);
  EXPECT_EQ(fake.values, (std::map<std::uint32_t, std::int64_t>{{kBrightness, 0},
                                                                {kContrast, 50},
                                                                {kAutoWhite, 1},
                                                                {kWhiteTemp, 3000},
                                                                {kPowerLine, 2}}));
  for (const auto& [id, value] : fake.sets) {
    EXPECT_NE(id, kWhiteTemp) << "a read-only control is never written";
    EXPECT_NE(id, kPanReset) << "Default must not press buttons";
  }
  EXPECT_EQ(dialog->valueLabel(kContrast)->text(), "50");
  EXPECT_TRUE(widget<QCheckBox>(kAutoWhite)->isChecked());
}

TEST_F(FilterPropertiesDialogTest, SwitchingAnAutomaticModeUpdatesWhichControlsAreEditable) {
  // A driver makes the manual temperature inactive while automatic white balance is on.
  fake.onSet = [this](std::uint32_t id, std::int64_t value) {
    if (id == kAutoWhite) fake.controls[3].inactive = value != 0;
  };
  fake.controls[3].inactive = true;
  open();
  widget<QCheckBox>(kAutoWhite)->setChecked(false);
  QWidget* temperature = dialog->controlWidget(kWhiteTemp);
  EXPECT_TRUE(temperature->isEnabled());
  widget<QSlider>(kWhiteTemp)->setValue(3200);

  // Default turns automatic mode back on first, so the now inactive temperature is left alone.
  fake.sets.clear();
  dialog->defaultButton()->click();
  EXPECT_FALSE(temperature->isEnabled());
  for (const auto& [id, value] : fake.sets) EXPECT_NE(id, kWhiteTemp);
}

TEST_F(FilterPropertiesDialogTest, RefusedChangesAndAVanishedCameraAreReported) {
  open(&owner);
  dialog->show();
  auto* menu = widget<QComboBox>(kPowerLine);
  fake.failSetWith = EBUSY;
  menu->setCurrentIndex(0);
  EXPECT_EQ(menu->currentData().toLongLong(), 2) << "the widget shows what the device holds";
  EXPECT_TRUE(messageNames(EBUSY));
  EXPECT_TRUE(menu->isEnabled()) << "a busy camera may accept the next change";
  fake.failSetWith = 0;
  auto* slider = widget<QSlider>(kBrightness);
  slider->setValue(10);
  EXPECT_TRUE(dialog->messageLabel()->text().isEmpty());

  fake.vanished = true;
  fake.sets.clear();
  slider->setValue(40);
  EXPECT_EQ(fake.sets.size(), 1u) << "a refused write is not retried";
  EXPECT_EQ(slider->value(), 10) << "the device cannot be read: the previous value stays";
  EXPECT_EQ(dialog->valueLabel(kBrightness)->text(), "10");
  EXPECT_TRUE(dialog->messageLabel()->isVisible());
  EXPECT_TRUE(messageNames(ENODEV)) << dialog->messageLabel()->text().toStdString();
  EXPECT_FALSE(slider->isEnabled());
  EXPECT_FALSE(dialog->defaultButton()->isEnabled());
  EXPECT_TRUE(dialog->isVisible());
}

TEST_F(FilterPropertiesDialogTest, EmptyListSaysSo) {
  fake.vanished = true;
  open();
  ASSERT_NE(dialog->emptyLabel(), nullptr);
  EXPECT_EQ(dialog->emptyLabel()->text(), "This camera has no adjustable controls.");
  EXPECT_FALSE(dialog->defaultButton()->isEnabled());
}

TEST_F(FilterPropertiesDialogTest, IsAModalCaptureFilterWindowAtTheOwnersCorner) {
  QWidget window;
  window.move(140, 90);
  window.resize(500, 400);
  auto* corner = new QWidget(&window);
  corner->setGeometry(25, 40, 300, 200);
  window.show();
  FilterPropertiesDialog placed(fake, corner);
  EXPECT_EQ(placed.windowTitle(), "Capture Filter");
  EXPECT_TRUE(placed.isModal());
  placed.show();
  EXPECT_EQ(placed.frameGeometry().topLeft(), corner->mapToGlobal(QPoint(0, 0)));
  QTest::mouseClick(placed.closeButton(), Qt::LeftButton);
  EXPECT_FALSE(placed.isVisible());
}

}  // namespace
}  // namespace kovracam
