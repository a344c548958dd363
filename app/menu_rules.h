#pragma once
// The enable and check rules applied to a popup's items each time it opens, as a function of the
// frame's state. Each frame applies them with its own menu calls.

#include <cstdint>

namespace kovracam {

// The id given to an item that opens a submenu (the Frequency entry of the Option popup), as
// GetMenuItemID reports such items.
inline constexpr std::uint32_t kSubmenuItemId = 0xFFFFFFFFu;
// The id of a separator, which no rule touches.
inline constexpr std::uint32_t kSeparatorItemId = 0;

bool isDeviceCommand(std::uint32_t id);
// Commands something handles; an item without a handler is shown grayed.
bool hasHandler(std::uint32_t id);

struct MenuFlags {
  bool bPreview = false;
  bool bRecording = false;
  std::uint32_t nSelectedDevice = 0;
  int nPowerLineFrequency = -1;  // the engine's reading; meaningful when powerLineNeeded says so
};

// Whether the rules of the popup at `popupIndex` read the power-line frequency: the engine is
// asked only then.
bool powerLineNeeded(int popupIndex, bool bPreview);

enum class ItemEnable { Leave, Enable, Gray };
enum class ItemCheck { Leave, Check, Uncheck };

struct ItemRule {
  ItemEnable enable = ItemEnable::Leave;
  ItemCheck check = ItemCheck::Leave;
  bool operator==(const ItemRule&) const = default;
};

// The state of item `itemId` of the popup at position `popupIndex` of its parent menu (menu-bar
// position, or 4 for the Frequency submenu). Only the index is looked at, never which menu it is.
ItemRule menuItemRule(int popupIndex, std::uint32_t itemId, const MenuFlags& flags);

}  // namespace kovracam
