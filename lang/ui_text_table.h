#pragma once
// The twenty user-interface texts: entry i holds string id 5001 + i.

#include <QString>
#include <vector>

namespace kovracam {

class LanguageModule;

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
  QString operator[](int index) const {
    return index >= 0 && index < static_cast<int>(entries_.size()) ? entries_[index] : QString();
  }
  void set(int index, const QString& text) { entries_.at(index) = text; }

 private:
  std::vector<QString> entries_;
};

// Number of consecutive ids from 5001 that the program's own string table holds non-empty.
unsigned CountUiTexts();
// Chooses the language module for the user's interface language in the folder Language of the
// current directory and fills entries 0 .. count-1 from it; from the program's own string table
// when none qualifies.
void LoadUiTexts(UiTextTable& table, unsigned count);
// Fills entries 0 .. count-1 from `module`, or from the program's own string table when it is
// null. Entries the source lacks stay empty.
void LoadUiTexts(UiTextTable& table, unsigned count, const LanguageModule* module);
// The window title (string 128).
QString programTitle();

}  // namespace kovracam
