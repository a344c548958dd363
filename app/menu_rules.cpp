#include "app/menu_rules.h"

#include "res/command_ids.h"

namespace kovracam {
namespace {

// Popup positions the rules look at: the menu bar's Device, Option and Capture popups, and 4,
// which is both the Frequency submenu of Option and the Help popup (where no item matches).
constexpr int kDevicePopup = 1;
constexpr int kOptionPopup = 2;
constexpr int kCapturePopup = 3;
constexpr int kFrequencyPopup = 4;

ItemEnable enableIf(bool condition) { return condition ? ItemEnable::Enable : ItemEnable::Gray; }
ItemCheck checkIf(bool condition) { return condition ? ItemCheck::Check : ItemCheck::Uncheck; }

// What every opening does first: items with a handler enabled, Preview and the devices checked
// from the frame's state.
ItemRule baseRule(std::uint32_t id, const MenuFlags& flags) {
  if (id == kSubmenuItemId || id == kSeparatorItemId) return {};
  ItemRule rule{enableIf(hasHandler(id)), ItemCheck::Leave};
  if (id == ID_OPTION_PREVIEW) rule.check = checkIf(flags.bPreview);
  if (isDeviceCommand(id)) rule.check = checkIf(id == flags.nSelectedDevice);
  return rule;
}

ItemEnable optionEnable(std::uint32_t id, const MenuFlags& flags, ItemEnable base) {
  switch (id) {
    case ID_OPTION_FILTER_PROPERTIES:
    case ID_OPTION_PIN_PROPERTIES:
      return enableIf(flags.bPreview);
    case kSubmenuItemId:
      return enableIf(flags.bPreview && flags.nPowerLineFrequency != -1);
    case ID_OPTION_PREVIEW:
      return flags.bPreview ? enableIf(!flags.bRecording) : base;
    default:
      return base;
  }
}

ItemEnable captureEnable(std::uint32_t id, const MenuFlags& flags, ItemEnable base) {
  switch (id) {
    case ID_CAPTURE_START:
      return enableIf(flags.bPreview && !flags.bRecording);
    case ID_CAPTURE_STOP:
      return enableIf(flags.bPreview && flags.bRecording);
    case ID_CAPTURE_SNAPSHOT:
      return enableIf(flags.bPreview);
    default:
      return base;
  }
}

// The camera's value 1 (50 Hz) or 2 (60 Hz) checks its item; any other leaves both as they are.
ItemCheck frequencyCheck(std::uint32_t id, const MenuFlags& flags, ItemCheck base) {
  const int value = flags.nPowerLineFrequency;
  if (!flags.bPreview || (value != 1 && value != 2)) return base;
  if (id == ID_FREQUENCY_50HZ) return checkIf(value == 1);
  if (id == ID_FREQUENCY_60HZ) return checkIf(value == 2);
  return base;
}

}  // namespace

bool isDeviceCommand(std::uint32_t id) { return id >= ID_DEVICE_FIRST && id <= ID_DEVICE_LAST; }

bool hasHandler(std::uint32_t id) {
  switch (id) {
    case ID_APP_EXIT:
    case ID_APP_ABOUT:  // the application's
    case ID_OPTION_PREVIEW:
    case ID_OPTION_FILTER_PROPERTIES:
    case ID_OPTION_PIN_PROPERTIES:
    case ID_FREQUENCY_50HZ:
    case ID_FREQUENCY_60HZ:
    case ID_CAPTURE_START:
    case ID_CAPTURE_STOP:
    case ID_CAPTURE_SNAPSHOT:
      return true;
    default:
      return isDeviceCommand(id);
  }
}

bool powerLineNeeded(int popupIndex, bool bPreview) {
  return bPreview && (popupIndex == kOptionPopup || popupIndex == kFrequencyPopup);
}

ItemRule menuItemRule(int popupIndex, std::uint32_t itemId, const MenuFlags& flags) {
  ItemRule rule = baseRule(itemId, flags);
  switch (popupIndex) {
    case kOptionPopup:
      rule.enable = optionEnable(itemId, flags, rule.enable);
      break;
    case kCapturePopup:
      rule.enable = captureEnable(itemId, flags, rule.enable);
      break;
    case kFrequencyPopup:
      rule.check = frequencyCheck(itemId, flags, rule.check);
      break;
    case kDevicePopup:  // rebuilt by the frame before the rules apply
    default:
      break;
  }
  return rule;
}

}  // namespace kovracam
