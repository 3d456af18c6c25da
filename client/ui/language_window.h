// The seam through which every window speaks the current language.
//
// A window that shows texts of the message tables derives from LanguageWindow and implements
// InitiateLanguageSettings (Initiate_Language_settings): first ApplyLanguageFont(this), then every
// caption, tool tip and list entry from its message number. The window calls it when it is
// made; the options window calls it on every open window after the language changed
// (ReapplyLanguageOfOpenWindows), so a window that is open at that moment changes at once and one
// opened later starts in the new language.
#ifndef CLIENT_UI_LANGUAGE_WINDOW_H_
#define CLIENT_UI_LANGUAGE_WINDOW_H_

#include <QFont>

#include "client/i18n/languages.h"

class QWidget;

namespace sentrel::client {

class LanguageWindow {
 public:
  virtual ~LanguageWindow() = default;
  // Applies the font and the texts of the current language to the window's controls.
  virtual void InitiateLanguageSettings() = 0;
};

// The Qt font of a client font. The platform's names are kept ("MS Sans Serif", "MS Gothic"):
// where such a face is not installed, Qt's substitutes for it apply (InstallFontSubstitutes), so
// Japanese text renders through IPA Gothic on a computer without "MS Gothic".
QFont ToQFont(const ClientFont& font);
// Registers the substitutes once per process: "MS Gothic" -> IPAGothic and the other installed
// Japanese Gothic faces; "MS Sans Serif" -> common sans-serif faces.
void InstallFontSubstitutes();

// SelectLanguageFont, then assigns the shared font to the window (its controls inherit it) and to
// the application, which gives it to what the window opens on its own: menus, tool tips, message
// boxes.
void ApplyLanguageFont(QWidget* window);

// Calls InitiateLanguageSettings of every open window that implements LanguageWindow.
void ReapplyLanguageOfOpenWindows();

}  // namespace sentrel::client

#endif  // CLIENT_UI_LANGUAGE_WINDOW_H_
