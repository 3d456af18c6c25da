#include "client/ui/language_window.h"

#include <QApplication>
#include <QWidget>

#include "client/ui/qt_text.h"

namespace sentrel::client {

QFont ToQFont(const ClientFont& font) {
  InstallFontSubstitutes();
  QFont qfont(ToQString(font.name));
  qfont.setPointSize(font.size);
  qfont.setWeight(static_cast<QFont::Weight>(font.weight));
  qfont.setItalic(font.italic);
  qfont.setUnderline(font.underline);
  qfont.setStrikeOut(font.strikethrough);
  return qfont;
}

void InstallFontSubstitutes() {
  static const bool installed = [] {
    QFont::insertSubstitutions(QStringLiteral("MS Gothic"),
                               {QStringLiteral("IPAGothic"), QStringLiteral("IPAexGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("VL Gothic")});
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Microsoft Sans Serif"),
                                QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    return true;
  }();
  (void)installed;
}

void ApplyLanguageFont(QWidget* window) {
  SelectLanguageFont();
  const QFont font = ToQFont(SharedClientFont());
  QApplication::setFont(font);
  window->setFont(font);
}

void ReapplyLanguageOfOpenWindows() {
  for (QWidget* widget : QApplication::topLevelWidgets()) {
    if (auto* window = dynamic_cast<LanguageWindow*>(widget)) window->InitiateLanguageSettings();
  }
}

}  // namespace sentrel::client
