// The camera's controls dialog against an in-memory camera. Its place, title, a live brightness
// change and Default on a real picture are checked by the real-window tests.

#include "capture/linux/dialogs/filter_properties_dialog.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <cerrno>
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
using Sets = std::vector<std::pair<std::uint32_t, std::int64_t>>;

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
  void open() { dialog = std::make_unique<FilterPropertiesDialog>(fake, nullptr); }
  template <typename W>
  W* widget(std::uint32_t id) const {
    return qobject_cast<W*>(dialog->controlWidget(id));
  }
  bool messageNames(int error) const {
    return dialog->messageLabel()->text().contains(QString::fromLocal8Bit(std::strerror(error)));
  }

  FakeDeviceControls fake{cameraControls()};
  std::unique_ptr<FilterPropertiesDialog> dialog;
};

TEST_F(FilterPropertiesDialogTest, ShowsEachKindAndWritesOnlyWhatTheUserChanges) {
  fake.values = {
      {kBrightness, -20}, {kContrast, 50}, {kAutoWhite, 0}, {kWhiteTemp, 5100}, {kPowerLine, 5}};
  fake.controls[0].disabled = true;  // shown, but not to be changed
  fake.controls[2].inactive = true;
  fake.controls[3].readOnly = true;
  open();
  const char* kinds[] = {"QSlider", "QSlider", "QCheckBox", "QSlider", "QComboBox", "QPushButton"};
  const bool enabled[] = {false, true, false, false, true, true};
  for (std::size_t i = 0; i < std::size(kinds); ++i) {
    QWidget* w = dialog->controlWidget(fake.controls[i].id);
    ASSERT_NE(w, nullptr) << i;
    EXPECT_STREQ(w->metaObject()->className(), kinds[i]);
    EXPECT_EQ(w->isEnabled(), enabled[i]) << i;
  }
  EXPECT_TRUE(widget<QSlider>(kBrightness)->value() == -20 &&
              !widget<QCheckBox>(kAutoWhite)->isChecked() &&
              widget<QComboBox>(kPowerLine)->currentText() == "Auto" && fake.sets.empty());
  for (int row : {0, 1}) {  // the driver's index, not the row, is written
    fake.sets.clear();
    widget<QComboBox>(kPowerLine)->setCurrentIndex(row);
    EXPECT_EQ(fake.sets, (Sets{{kPowerLine, fake.controls[4].menu[row].index}}));
  }
  fake.sets.clear();
  widget<QPushButton>(kPanReset)->click();
  widget<QPushButton>(kPanReset)->click();
  EXPECT_EQ(fake.sets, (Sets{{kPanReset, 1}, {kPanReset, 1}})) << "each press is written";

  fake.failGet = true;  // values that cannot be read show as the defaults
  open();
  EXPECT_TRUE(widget<QSlider>(kWhiteTemp)->value() == 4600 &&
              widget<QCheckBox>(kAutoWhite)->isChecked() &&
              widget<QComboBox>(kPowerLine)->currentData().toLongLong() == 2);
}

TEST_F(FilterPropertiesDialogTest, SliderWritesLiveSnappedToTheStepFromTheMinimum) {
  open();
  auto* slider = widget<QSlider>(kContrast);  // 10 + 4k
  for (int position = 10; position <= 90; ++position) {
    slider->setValue(position);
    const int shown = slider->value();
    EXPECT_EQ((shown - 10) % 4, 0) << position;
    EXPECT_LE(std::abs(shown - position), 2) << position;
    EXPECT_EQ(fake.values[kContrast], shown) << position;
    EXPECT_EQ(dialog->valueLabel(kContrast)->text(), QString::number(shown));
  }
  // Every write is a real change: a position that snaps to the value shown writes nothing.
  for (std::size_t i = 1; i < fake.sets.size(); ++i)
    EXPECT_NE(fake.sets[i].second, fake.sets[i - 1].second);
}

TEST_F(FilterPropertiesDialogTest, DefaultRestoresWritableControlsAfterTheirAutomaticModes) {
  // A driver makes the manual temperature inactive while automatic white balance is on.
  fake.onSet = [this](std::uint32_t id, std::int64_t value) {
    if (id == kAutoWhite) fake.controls[3].inactive = value != 0;
  };
  fake.controls[3].inactive = true;
  fake.controls[1].readOnly = true;
  fake.values[kContrast] = 30;
  open();
  widget<QSlider>(kBrightness)->setValue(33);
  widget<QCheckBox>(kAutoWhite)->setChecked(false);
  EXPECT_TRUE(dialog->controlWidget(kWhiteTemp)->isEnabled());
  widget<QSlider>(kWhiteTemp)->setValue(3200);
  widget<QComboBox>(kPowerLine)->setCurrentIndex(0);
  fake.sets.clear();

  // Automatic mode comes back first, so the now inactive temperature is left alone; read-only
  // controls are never written and buttons never pressed.
  dialog->defaultButton()->click();
  EXPECT_EQ(fake.sets, (Sets{{kBrightness, 0}, {kAutoWhite, 1}, {kPowerLine, 2}}));
  EXPECT_TRUE(fake.values[kWhiteTemp] == 3200 && !dialog->controlWidget(kWhiteTemp)->isEnabled());
  EXPECT_TRUE(dialog->valueLabel(kBrightness)->text() == "0" &&
              widget<QCheckBox>(kAutoWhite)->isChecked());
}

TEST_F(FilterPropertiesDialogTest, RefusedChangesAndAVanishedCameraAreReported) {
  open();
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
  EXPECT_TRUE(dialog->valueLabel(kBrightness)->text() == "10" &&
              dialog->messageLabel()->isVisible());
  EXPECT_TRUE(messageNames(ENODEV)) << dialog->messageLabel()->text().toStdString();
  EXPECT_TRUE(!slider->isEnabled() && !dialog->defaultButton()->isEnabled() && dialog->isVisible());
}

}  // namespace
}  // namespace kovracam
