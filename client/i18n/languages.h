// The five languages of the client, the language list of the first-start and options windows,
// and the shared font that follows the language.
#ifndef CLIENT_I18N_LANGUAGES_H_
#define CLIENT_I18N_LANGUAGES_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace sentrel::client {

struct Language {
  std::u16string_view code;        // the stored code, compared case-sensitively
  std::u16string_view list_entry;  // the fixed text of the language lists, in every language
  int32_t item_data;               // the entry's item data
};

// In the order of the language lists.
inline constexpr std::array<Language, 5> kLanguages = {{
    {u"EN", u"English", 0},
    {u"DE", u"Deutsch", 1},
    {u"JP", u"Japanese", 2},
    {u"ES", u"Espa\u00f1ol", 3},
    {u"FR", u"Fran\u00e7ais", 4},
}};

inline constexpr char16_t kEnglishCode[] = u"EN";
inline constexpr char16_t kJapaneseCode[] = u"JP";

// The position of `code` in kLanguages; nullopt for any other code ("IT", "en", "").
std::optional<size_t> LanguageIndex(std::u16string_view code);
// The code of the entry with this item data; empty when no entry has it.
std::u16string_view LanguageCodeOfItemData(int32_t item_data);

// The client's font, described as the platform's font object holds it.
struct ClientFont {
  std::u16string name = u"MS Sans Serif";
  int32_t size = 8;     // points
  int32_t charset = 1;  // 1 default, 128 Shift-JIS
  int32_t weight = 400;
  bool italic = false;
  bool underline = false;
  bool strikethrough = false;

  bool operator==(const ClientFont&) const = default;
};

inline constexpr int32_t kDefaultCharset = 1;
inline constexpr int32_t kShiftJisCharset = 128;

// The font of the language `code`: "MS Sans Serif" 8 for EN, DE, ES and FR, "MS Gothic" 8 with
// the Shift-JIS character set for JP; any other code keeps the font's name, size and character
// set. Weight 400 and no italic, underline or strikethrough in every case.
void SelectLanguageFontFor(std::u16string_view code, ClientFont* font);

// The one font every window assigns to its controls, created on first use (as a default
// ClientFont). The client uses it from its window thread only.
ClientFont& SharedClientFont();
// SelectLanguageFont: the shared font for the current language. Every window's
// Initiate_Language_settings calls it first.
void SelectLanguageFont();

}  // namespace sentrel::client

#endif  // CLIENT_I18N_LANGUAGES_H_
