#include "client/core/user_language.h"

#include <string>

#include "client/i18n/messages.h"

namespace sentrel::client {

LanguagePrompt StartLanguage(ClientSession& session) {
  bool created = false;
  if (session.connection().OpenClientSettings(&created) != platform::kSuccess || created) {
    return LanguagePrompt::kFirstTime;
  }
  std::u16string language;
  (void)session.registry().ReadRegString(session.connection().client_settings(), u"szLanguage",
                                         &language, u"");
  if (language.empty()) return LanguagePrompt::kNotFound;
  SetCurrentLanguage(language);
  return LanguagePrompt::kNone;
}

Result StoreStartLanguage(ClientSession& session, std::u16string_view code) {
  SetCurrentLanguage(code);
  return session.registry().SaveRegString(session.connection().client_settings(), u"szLanguage",
                                          code, false);
}

LanguageChange ChangeLanguage(ClientSession& session, std::u16string_view code) {
  LanguageChange change;
  if (code == CurrentLanguage()) return change;
  change.changed = true;
  SetCurrentLanguage(code);
  // The key could not be opened at start: try once more, so the choice is kept when it can be.
  if (!session.connection().client_settings()) (void)session.connection().OpenClientSettings();
  change.saved = session.SaveUserConfig();
  return change;
}

}  // namespace sentrel::client
