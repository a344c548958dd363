#pragma once
// The menu bar as the program carries it, before its texts are replaced from the text table.
// Every item's data() is its command id; popups are found by position.

class QMenuBar;

namespace kovracam {

void buildMainMenu(QMenuBar* bar);

// Menu bar positions.
inline constexpr int kFileMenu = 0;
inline constexpr int kDeviceMenu = 1;
inline constexpr int kOptionMenu = 2;
inline constexpr int kCaptureMenu = 3;
inline constexpr int kHelpMenu = 4;
// Position of the Frequency submenu in the Option popup.
inline constexpr int kFrequencySubmenu = 4;

}  // namespace kovracam
