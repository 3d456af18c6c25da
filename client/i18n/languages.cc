#include "client/i18n/languages.h"

#include "client/i18n/messages.h"

namespace sentrel::client {

std::optional<size_t> LanguageIndex(std::u16string_view code) {
  for (size_t i = 0; i < kLanguages.size(); ++i) {
    if (kLanguages[i].code == code) return i;
  }
  return std::nullopt;
}

std::u16string_view LanguageCodeOfItemData(int32_t item_data) {
  for (const Language& language : kLanguages) {
    if (language.item_data == item_data) return language.code;
  }
  return {};
}

void SelectLanguageFontFor(std::u16string_view code, ClientFont* font) {
  if (code == kJapaneseCode) {
    font->name = u"MS Gothic";
    font->size = 8;
    font->charset = kShiftJisCharset;
  } else if (LanguageIndex(code)) {
    font->name = u"MS Sans Serif";
    font->size = 8;
    font->charset = kDefaultCharset;
  }
  font->weight = 400;
  font->italic = false;
  font->underline = false;
  font->strikethrough = false;
}

ClientFont& SharedClientFont() {
  static ClientFont font;
  return font;
}

void SelectLanguageFont() { SelectLanguageFontFor(CurrentLanguage(), &SharedClientFont()); }

}  // namespace sentrel::client
