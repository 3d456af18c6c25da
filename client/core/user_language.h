// The user's language at the client's start and its change in the options window, stored as
// szLanguage in the user's client settings key.
#ifndef CLIENT_CORE_USER_LANGUAGE_H_
#define CLIENT_CORE_USER_LANGUAGE_H_

#include <string_view>

#include "client/core/client_session.h"

namespace sentrel::client {

// What the first-start window has to do.
enum class LanguagePrompt {
  kNone,       // a language is stored and is now current: go straight to the main window
  kFirstTime,  // the settings key was created now, or can be neither opened nor created
  kNotFound,   // the key exists but szLanguage is missing or empty
};

// The first-start window's texts for the two prompts (fixed English, as the window's own).
inline constexpr char16_t kFirstTimeText[] = u"This window appears only the first Time";
inline constexpr char16_t kNotFoundText[] = u"Language settings not found.";

// Opens the user's client settings key for reading and writing, creating it when missing
// (trace "Generating Client User RegKey"), and makes a stored szLanguage the current language.
// When the key can be neither opened nor created the language cannot be stored, and the
// chooser appears at every start.
LanguagePrompt StartLanguage(ClientSession& session);

// The first-start window's Start: `code` becomes the current language and is written as
// szLanguage. A failed write is traced by the registry primitive and answered here.
Result StoreStartLanguage(ClientSession& session, std::u16string_view code);

struct LanguageChange {
  bool changed = false;               // the code differed from the current language
  Result saved = platform::kSuccess;  // SaveUserConfig's result (when changed)
};

// The options window's OK: a code other than the current language becomes current and is saved
// with SaveUserConfig; the current language again changes and writes nothing.
LanguageChange ChangeLanguage(ClientSession& session, std::u16string_view code);

}  // namespace sentrel::client

#endif  // CLIENT_CORE_USER_LANGUAGE_H_
