#include "capture/filter_properties_dialog.h"

#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tests/fake_device_controls.h"

namespace kovracam {
namespace {

ControlInfo integer(std::uint32_t id, const char* name, std::int64_t min, std::int64_t max,
                    std::int64_t step, std::int64_t def) {
  ControlInfo c;
  c.id = id;
  c.name = name;
  c.type = ControlType::Integer;
  c.minimum = min;
  c.maximum = max;
  c.step = step;
  c.defaultValue = def;
  return c;
}

ControlInfo boolean(std::uint32_t id, const char* name, bool def) {
  ControlInfo c = integer(id, name, 0, 1, 1, def ? 1 : 0);
  c.type = ControlType::Boolean;
  return c;
}

ControlInfo button(std::uint32_t id, const char* name) {
  ControlInfo c = integer(id, name, 0, 0, 0, 0);
  c.type = ControlType::Button;
  return c;
}

// Power-line frequency as a driver with gaps in its menu indexes reports it.
ControlInfo powerLine() {
  ControlInfo c = integer(V4L2_CID_POWER_LINE_FREQUENCY, "Power Line Frequency", 0, 5, 1, 2);
  c.type = ControlType::Menu;
  c.menu = {{0, "Disabled"}, {2, "60 Hz"}, {5, "Auto"}};
  return c;
}

constexpr std::uint32_t kBrightness = V4L2_CID_BRIGHTNESS;
constexpr std::uint32_t kContrast = V4L2_CID_CONTRAST;
constexpr std::uint32_t kAutoWhite = V4L2_CID_AUTO_WHITE_BALANCE;
constexpr std::uint32_t kWhiteTemp = V4L2_CID_WHITE_BALANCE_TEMPERATURE;
constexpr std::uint32_t kPowerLine = V4L2_CID_POWER_LINE_FREQUENCY;
constexpr std::uint32_t kPanReset = V4L2_CID_PAN_RESET;

std::vector<ControlInfo> cameraControls() {
  return {integer(kBrightness, "Brightness", -64, 64, 1, 0),
          integer(kContrast, "Contrast", 10, 90, 4, 50),
          boolean(kAutoWhite, "White Balance, Automatic", true),
          integer(kWhiteTemp, "White Balance Temperature", 2800, 6500, 10, 4600),
          powerLine(),
          button(kPanReset, "Pan, Reset")};
}

template <typename W>
W* widgetOf(const FilterPropertiesDialog& dialog, std::uint32_t id) {
  return qobject_cast<W*>(dialog.controlWidget(id));
}

TEST(FilterPropertiesDialog, ShowsOneWidgetOfTheRightKindPerControlInOrder) {
  FakeDeviceControls fake(cameraControls());
  FilterPropertiesDialog dialog(fake, nullptr);

  const std::vector<ControlInfo> listed = fake.list();
  auto* form = dialog.findChild<QFormLayout*>();
  ASSERT_NE(form, nullptr);
  ASSERT_EQ(form->rowCount(), static_cast<int>(listed.size()));
  for (int i = 0; i < form->rowCount(); ++i) {
    QWidget* field = form->itemAt(i, QFormLayout::FieldRole)->widget();
    QWidget* control = dialog.controlWidget(listed[i].id);
    ASSERT_NE(control, nullptr) << listed[i].name;
    EXPECT_TRUE(control == field || field->isAncestorOf(control)) << listed[i].name;
  }

  auto* contrast = widgetOf<QSlider>(dialog, kContrast);
  ASSERT_NE(contrast, nullptr);
  EXPECT_EQ(contrast->orientation(), Qt::Horizontal);
  EXPECT_EQ(contrast->minimum(), 10);
  EXPECT_EQ(contrast->maximum(), 90);
  EXPECT_EQ(contrast->singleStep(), 4);
  ASSERT_NE(dialog.valueLabel(kContrast), nullptr);
  EXPECT_EQ(dialog.valueLabel(kContrast)->text(), QString::number(contrast->value()));

  EXPECT_NE(widgetOf<QSlider>(dialog, kBrightness), nullptr);
  EXPECT_NE(widgetOf<QCheckBox>(dialog, kAutoWhite), nullptr);
  auto* menu = widgetOf<QComboBox>(dialog, kPowerLine);
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->count(), 3);
  EXPECT_EQ(menu->itemText(0), "Disabled");
  EXPECT_EQ(menu->itemText(2), "Auto");
  auto* reset = widgetOf<QPushButton>(dialog, kPanReset);
  ASSERT_NE(reset, nullptr);
  EXPECT_EQ(dialog.valueLabel(kPanReset), nullptr);
  EXPECT_EQ(dialog.emptyLabel(), nullptr);
  EXPECT_TRUE(fake.sets().empty()) << "building the dialog must not write to the camera";
}

TEST(FilterPropertiesDialog, ShowsCurrentValuesAndDefaultsWhenTheyCannotBeRead) {
  FakeDeviceControls fake(cameraControls());
  fake.setStored(kBrightness, -20);
  fake.setStored(kAutoWhite, 0);
  fake.setStored(kPowerLine, 5);
  {
    FilterPropertiesDialog dialog(fake, nullptr);
    EXPECT_EQ(widgetOf<QSlider>(dialog, kBrightness)->value(), -20);
    EXPECT_EQ(dialog.valueLabel(kBrightness)->text(), "-20");
    EXPECT_FALSE(widgetOf<QCheckBox>(dialog, kAutoWhite)->isChecked());
    EXPECT_EQ(widgetOf<QComboBox>(dialog, kPowerLine)->currentText(), "Auto");
  }
  fake.failGet(true);
  FilterPropertiesDialog dialog(fake, nullptr);
  for (const ControlInfo& c : fake.list()) {
    if (c.type == ControlType::Integer) {
      EXPECT_EQ(widgetOf<QSlider>(dialog, c.id)->value(), c.defaultValue) << c.name;
    }
  }
  EXPECT_TRUE(widgetOf<QCheckBox>(dialog, kAutoWhite)->isChecked());
  EXPECT_EQ(widgetOf<QComboBox>(dialog, kPowerLine)->currentData().toLongLong(),
            powerLine().defaultValue);
}

TEST(FilterPropertiesDialog, MenuItemsWithGapsWriteTheDriverIndex) {
  FakeDeviceControls fake(cameraControls());
  FilterPropertiesDialog dialog(fake, nullptr);
  auto* menu = widgetOf<QComboBox>(dialog, kPowerLine);
  const std::vector<ControlMenuItem> items = powerLine().menu;
  for (int i : {2, 0, 1}) {
    fake.clearSets();
    menu->setCurrentIndex(i);
    ASSERT_EQ(fake.sets().size(), 1u);
    EXPECT_EQ(fake.sets()[0].first, kPowerLine);
    EXPECT_EQ(fake.sets()[0].second, items[i].index);
    EXPECT_EQ(fake.stored(kPowerLine), items[i].index);
  }
}

TEST(FilterPropertiesDialog, SliderWritesLiveSnappedToTheStepFromTheMinimum) {
  FakeDeviceControls fake(cameraControls());
  FilterPropertiesDialog dialog(fake, nullptr);
  const ControlInfo contrast = *fake.find(kContrast);
  auto* slider = widgetOf<QSlider>(dialog, kContrast);

  slider->setValue(17);  // 10 + 4k: 14 and 18 are the neighbours, 18 the nearer one
  ASSERT_EQ(fake.sets().size(), 1u);
  EXPECT_EQ(fake.sets().back(), std::make_pair(kContrast, std::int64_t{18}));
  EXPECT_EQ(slider->value(), 18);
  EXPECT_EQ(dialog.valueLabel(kContrast)->text(), "18");

  for (std::int64_t position = contrast.minimum; position <= contrast.maximum; ++position) {
    slider->setValue(static_cast<int>(position));
    const std::int64_t shown = slider->value();
    EXPECT_EQ((shown - contrast.minimum) % contrast.step, 0) << position;
    EXPECT_LE(std::abs(shown - position), contrast.step / 2) << position;
    EXPECT_EQ(fake.stored(kContrast), shown) << position;
  }
  // Every write is a real change: a position that snaps to the value shown writes nothing.
  for (std::size_t i = 1; i < fake.sets().size(); ++i) {
    EXPECT_NE(fake.sets()[i].second, fake.sets()[i - 1].second);
  }
}

TEST(FilterPropertiesDialog, CheckBoxAndButtonWriteLive) {
  FakeDeviceControls fake(cameraControls());
  FilterPropertiesDialog dialog(fake, nullptr);
  widgetOf<QCheckBox>(dialog, kAutoWhite)->setChecked(false);
  EXPECT_EQ(fake.stored(kAutoWhite), 0);
  widgetOf<QCheckBox>(dialog, kAutoWhite)->setChecked(true);
  EXPECT_EQ(fake.stored(kAutoWhite), 1);

  fake.clearSets();
  widgetOf<QPushButton>(dialog, kPanReset)->click();
  widgetOf<QPushButton>(dialog, kPanReset)->click();
  ASSERT_EQ(fake.sets().size(), 2u) << "each press is written, even with the same value";
  EXPECT_EQ(fake.sets()[0].first, kPanReset);
}

TEST(FilterPropertiesDialog, DisabledInactiveAndReadOnlyControlsAreShownButDisabled) {
  std::vector<ControlInfo> controls = cameraControls();
  controls[0].disabled = true;
  controls[2].inactive = true;
  controls[3].readOnly = true;
  controls[5].inactive = true;
  FakeDeviceControls fake(controls);
  fake.setStored(kWhiteTemp, 5100);
  FilterPropertiesDialog dialog(fake, nullptr);

  for (const ControlInfo& c : controls) {
    QWidget* w = dialog.controlWidget(c.id);
    ASSERT_NE(w, nullptr) << c.name;
    EXPECT_EQ(w->isEnabled(), !c.disabled && !c.inactive && !c.readOnly) << c.name;
  }
  EXPECT_EQ(widgetOf<QSlider>(dialog, kWhiteTemp)->value(), 5100);
  EXPECT_EQ(dialog.valueLabel(kWhiteTemp)->text(), "5100");
}

TEST(FilterPropertiesDialog, DefaultRestoresEveryWritableControl) {
  std::vector<ControlInfo> controls = cameraControls();
  controls[3].readOnly = true;
  FakeDeviceControls fake(controls);
  fake.setStored(kWhiteTemp, 3000);
  FilterPropertiesDialog dialog(fake, nullptr);
  widgetOf<QSlider>(dialog, kBrightness)->setValue(33);
  widgetOf<QSlider>(dialog, kContrast)->setValue(74);
  widgetOf<QCheckBox>(dialog, kAutoWhite)->setChecked(false);
  widgetOf<QComboBox>(dialog, kPowerLine)->setCurrentIndex(0);
  fake.clearSets();

  QTest::mouseClick(dialog.defaultButton(), Qt::LeftButton);

  for (const ControlInfo& c : controls) {
    if (c.type == ControlType::Button) continue;
    if (c.readOnly) {
      EXPECT_EQ(fake.stored(c.id), 3000) << "a read-only control is never written";
      continue;
    }
    EXPECT_EQ(fake.stored(c.id), c.defaultValue) << c.name;
  }
  for (const auto& [id, value] : fake.sets()) {
    EXPECT_NE(id, kWhiteTemp);
    EXPECT_NE(id, kPanReset) << "Default must not press buttons";
  }
  EXPECT_EQ(widgetOf<QSlider>(dialog, kBrightness)->value(), controls[0].defaultValue);
  EXPECT_EQ(dialog.valueLabel(kContrast)->text(), QString::number(controls[1].defaultValue));
  EXPECT_TRUE(widgetOf<QCheckBox>(dialog, kAutoWhite)->isChecked());
  EXPECT_EQ(widgetOf<QComboBox>(dialog, kPowerLine)->currentData().toLongLong(),
            controls[4].defaultValue);
  EXPECT_TRUE(dialog.messageLabel()->text().isEmpty());
}

// A driver makes the manual temperature inactive while automatic white balance is on.
void linkWhiteBalance(FakeDeviceControls& fake) {
  fake.onSet([&fake](std::uint32_t id, std::int64_t value) {
    if (id == kAutoWhite) fake.find(kWhiteTemp)->inactive = value != 0;
  });
  fake.find(kWhiteTemp)->inactive = fake.stored(kAutoWhite) != 0;
}

TEST(FilterPropertiesDialog, SwitchingAnAutomaticModeUpdatesWhichControlsAreEditable) {
  FakeDeviceControls fake(cameraControls());
  linkWhiteBalance(fake);
  FilterPropertiesDialog dialog(fake, nullptr);
  QWidget* temperature = dialog.controlWidget(kWhiteTemp);
  EXPECT_FALSE(temperature->isEnabled());
  widgetOf<QCheckBox>(dialog, kAutoWhite)->setChecked(false);
  EXPECT_TRUE(temperature->isEnabled());
  widgetOf<QSlider>(dialog, kWhiteTemp)->setValue(3200);
  EXPECT_EQ(fake.stored(kWhiteTemp), 3200);

  // Default turns automatic mode back on first, so the now inactive temperature is left alone.
  fake.clearSets();
  dialog.defaultButton()->click();
  EXPECT_FALSE(temperature->isEnabled());
  EXPECT_EQ(fake.stored(kAutoWhite), 1);
  for (const auto& [id, value] : fake.sets()) EXPECT_NE(id, kWhiteTemp);
}

TEST(FilterPropertiesDialog, CameraVanishingMidDialogIsReportedOnce) {
  FakeDeviceControls fake(cameraControls());
  QWidget owner;
  FilterPropertiesDialog dialog(fake, &owner);
  dialog.show();
  auto* slider = widgetOf<QSlider>(dialog, kBrightness);
  slider->setValue(10);
  ASSERT_EQ(fake.stored(kBrightness), 10);

  fake.vanish();
  fake.clearSets();
  slider->setValue(40);

  EXPECT_EQ(fake.sets().size(), 1u) << "a refused write is not retried";
  EXPECT_EQ(slider->value(), 10) << "the device cannot be read: the previous value stays";
  EXPECT_EQ(dialog.valueLabel(kBrightness)->text(), "10");
  EXPECT_TRUE(dialog.messageLabel()->isVisible());
  EXPECT_TRUE(dialog.messageLabel()->text().contains(QString::fromLocal8Bit(std::strerror(ENODEV))))
      << dialog.messageLabel()->text().toStdString();
  EXPECT_FALSE(slider->isEnabled());
  EXPECT_FALSE(dialog.defaultButton()->isEnabled());
  EXPECT_TRUE(dialog.isVisible());
  dialog.reject();
  EXPECT_FALSE(dialog.isVisible());
}

TEST(FilterPropertiesDialog, RefusedChangeShowsWhatTheDeviceReports) {
  FakeDeviceControls fake(cameraControls());
  fake.setStored(kPowerLine, 2);
  FilterPropertiesDialog dialog(fake, nullptr);
  auto* menu = widgetOf<QComboBox>(dialog, kPowerLine);
  auto* slider = widgetOf<QSlider>(dialog, kBrightness);

  fake.failSetWith(EBUSY);
  menu->setCurrentIndex(2);
  EXPECT_EQ(menu->currentData().toLongLong(), 2);
  EXPECT_EQ(fake.sets().size(), 1u);
  EXPECT_TRUE(dialog.messageLabel()->text().contains(QString::fromLocal8Bit(std::strerror(EBUSY))));
  EXPECT_TRUE(menu->isEnabled()) << "a busy camera may accept the next change";

  // The device moved on its own meanwhile: the widget follows it, not the refused value.
  fake.setStored(kBrightness, -7);
  fake.failSetWith(EINVAL);
  slider->setValue(30);
  EXPECT_EQ(slider->value(), -7);
  EXPECT_TRUE(
      dialog.messageLabel()->text().contains(QString::fromLocal8Bit(std::strerror(EINVAL))));

  fake.failSetWith(0);
  slider->setValue(31);
  EXPECT_EQ(fake.stored(kBrightness), 31);
  EXPECT_TRUE(dialog.messageLabel()->text().isEmpty());
}

TEST(FilterPropertiesDialog, EmptyListSaysSo) {
  FakeDeviceControls fake;
  FilterPropertiesDialog dialog(fake, nullptr);
  ASSERT_NE(dialog.emptyLabel(), nullptr);
  EXPECT_EQ(dialog.emptyLabel()->text(), "This camera has no adjustable controls.");
  EXPECT_FALSE(dialog.defaultButton()->isEnabled());
  EXPECT_TRUE(dialog.closeButton()->isEnabled());
  EXPECT_TRUE(dialog.findChildren<QSlider*>().isEmpty());

  FakeDeviceControls gone(cameraControls());
  gone.vanish();
  FilterPropertiesDialog vanished(gone, nullptr);
  EXPECT_NE(vanished.emptyLabel(), nullptr);
  EXPECT_EQ(vanished.controlWidget(kBrightness), nullptr);
}

TEST(FilterPropertiesDialog, IsAModalCaptureFilterWindowAtTheOwnersCorner) {
  QWidget window;
  window.move(140, 90);
  window.resize(500, 400);
  auto* owner = new QWidget(&window);
  owner->setGeometry(25, 40, 300, 200);
  window.show();
  FakeDeviceControls fake(cameraControls());
  FilterPropertiesDialog dialog(fake, owner);
  EXPECT_EQ(dialog.windowTitle(), "Capture Filter");
  EXPECT_TRUE(dialog.isModal());
  dialog.show();
  EXPECT_EQ(dialog.frameGeometry().topLeft(), owner->mapToGlobal(QPoint(0, 0)));
  EXPECT_EQ(dialog.pos(), owner->mapToGlobal(QPoint(0, 0)));

  QTest::mouseClick(dialog.closeButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
}

}  // namespace
}  // namespace kovracam
