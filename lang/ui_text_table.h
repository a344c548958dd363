#pragma once
// The twenty user-interface texts: entry i holds string id 5001 + i.

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kovracam {

enum UiTextIndex : int {
  IDS_ERROR_CAPTION = 0,
  IDS_ABOUT_VERSION,
  IDS_ABOUT_COPYRIGHT,
  IDS_ABOUT_CAPTION,
  IDS_MENU_ABOUT,
  IDS_MENU_EXIT,
  IDS_MENU_DEVICE,
  IDS_MENU_FREQUENCY,
  IDS_MENU_PREVIEW,
  IDS_MENU_START_CAPTURE,
  IDS_MENU_STOP_CAPTURE,
  IDS_MENU_SNAPSHOT,
  IDS_MENU_FILTER_PROPERTIES,
  IDS_MENU_PIN_PROPERTIES,
  IDS_NO_CAMERA,
  IDS_MENU_HELP,
  IDS_MENU_FILE,
  IDS_MENU_OPTION,
  IDS_MENU_CAPTURE,
  IDS_OK,
  kUiTextCount
};

inline constexpr unsigned kFirstUiStringId = 5001;
inline constexpr unsigned kTitleStringId = 128;

class UiTextTable {
 public:
  explicit UiTextTable(unsigned count) : entries_(count) {}
  unsigned size() const { return static_cast<unsigned>(entries_.size()); }
  // An entry the table lacks reads as empty.
  std::u16string operator[](int index) const {
    return index >= 0 && index < static_cast<int>(entries_.size()) ? entries_[index]
                                                                   : std::u16string();
  }
  void set(int index, const std::u16string& text) { entries_.at(index) = text; }

 private:
  std::vector<std::u16string> entries_;  // UTF-16, as the string blocks hold them
};

// A language module's texts by string id: nullopt for a text it lacks.
using UiTextSource = std::function<std::optional<std::u16string>(unsigned id)>;

// Number of consecutive ids from 5001 that the program's own string table holds non-empty.
unsigned CountUiTexts();
// Fills entries 0 .. count-1 from `module`, or from the program's own string table when it is
// empty. Entries the source lacks stay empty.
void FillUiTexts(UiTextTable& table, unsigned count, const UiTextSource& module);
// The window title (string 128).
std::u16string programTitle();

}  // namespace kovracam
