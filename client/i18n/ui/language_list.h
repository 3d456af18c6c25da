// The language list of the first-start and options windows (fill_LanguageListBox).
#ifndef CLIENT_I18N_UI_LANGUAGE_LIST_H_
#define CLIENT_I18N_UI_LANGUAGE_LIST_H_

#include <optional>
#include <string>

class QListWidget;

namespace sentrel::client {

// Fills the list with the five fixed entries, each with its item data, and selects the entry at
// `selected` (none when nullopt).
void FillLanguageListBox(QListWidget* list, std::optional<size_t> selected);
// Makes the list exactly tall enough to show all its entries in its current font; call it again
// after the font changed.
void ShowAllLanguageEntries(QListWidget* list);
// The code of the selected entry's item data; empty when no entry is selected.
std::u16string ChosenLanguageCode(const QListWidget* list);

}  // namespace sentrel::client

#endif  // CLIENT_I18N_UI_LANGUAGE_LIST_H_
