#include "client/i18n/ui/language_list.h"

#include <QListWidget>

#include "client/i18n/languages.h"
#include "client/ui/qt_text.h"

namespace sentrel::client {

void FillLanguageListBox(QListWidget* list, std::optional<size_t> selected) {
  list->clear();
  for (const Language& language : kLanguages) {
    auto* item = new QListWidgetItem(ToQString(language.list_entry), list);
    item->setData(Qt::UserRole, language.item_data);
  }
  list->setCurrentRow(selected ? static_cast<int>(*selected) : -1);
  if (!selected) list->clearSelection();
}

void ShowAllLanguageEntries(QListWidget* list) {
  list->setFixedHeight(list->sizeHintForRow(0) * list->count() + 2 * list->frameWidth() + 4);
}

std::u16string ChosenLanguageCode(const QListWidget* list) {
  const QList<QListWidgetItem*> chosen = list->selectedItems();
  if (chosen.isEmpty()) return {};
  return std::u16string(LanguageCodeOfItemData(chosen.front()->data(Qt::UserRole).toInt()));
}

}  // namespace sentrel::client
