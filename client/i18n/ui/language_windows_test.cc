// The first-start window, the options window and the fonts of the languages, on emulated
// computers in temporary directories.
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRawFont>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <memory>

#include "client/core/connection.h"
#include "client/core/user_language.h"
#include "client/i18n/embedded_tables.h"
#include "client/i18n/message_table.h"
#include "client/i18n/messages.h"
#include "client/i18n/ui/options_window.h"
#include "client/i18n/ui/splash_window.h"
#include "client/ui/main_window.h"
#include "client/ui/qt_text.h"
#include "client/ui/select_computer_window.h"
#include "client/ui/service_state_window.h"
#include "platform/code_page.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

template <typename T>
T* TopLevel(const char* name) {
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->objectName() == QLatin1String(name) && w->isVisible()) return qobject_cast<T*>(w);
  }
  return nullptr;
}

std::unique_ptr<platform::RegKey> ClientSettings(platform::Platform& platform) {
  std::unique_ptr<platform::RegKey> hkcu, key;
  if (platform.registry().OpenRoot(platform::RegRoot::kCurrentUser, &hkcu) == platform::kSuccess) {
    (void)hkcu->CreateKey(kClientSettingsPath, &key);
  }
  return key;
}

// szLanguage as stored; "<none>" when absent.
QString StoredLanguage(platform::Platform& platform) {
  std::u16string text;
  if (platform::QueryString(*ClientSettings(platform), u"szLanguage", &text) !=
      platform::kSuccess) {
    return QStringLiteral("<none>");
  }
  return ToQString(text);
}

void StoreLanguage(platform::Platform& platform, std::u16string_view code) {
  QCOMPARE(platform::SetString(*ClientSettings(platform), u"szLanguage", code), platform::kSuccess);
}

void SelectEntry(QListWidget* list, const QString& text) {
  const auto items = list->findItems(text, Qt::MatchExactly);
  QVERIFY(!items.isEmpty());
  list->setCurrentItem(items.front());
}

// A computer with English stored and the main window on it, its language commands installed.
struct EnglishClient {
  EnglishClient() {
    StoreLanguage(computer.platform(), u"EN");
    (void)StartLanguage(session);
    (void)session.ResetToDefaults();
    window = std::make_unique<MainWindow>(session);
    InstallLanguageCommands(*window);
    window->Load();
    window->show();
  }
  MainWindow& main() { return *window; }
  // Opens the options window from the menu (once the last one has gone).
  OptionsWindow* OpenOptions() {
    if (!QTest::qWaitFor([] { return !TopLevel<OptionsWindow>("frmOptions"); })) return nullptr;
    window->menu_action(Command::kOptions)->trigger();
    return TopLevel<OptionsWindow>("frmOptions");
  }
  // Chooses `language` in the options window and confirms (click(): other windows may be modal).
  void Choose(const QString& language) {
    OptionsWindow* options = OpenOptions();
    QVERIFY(options);
    SelectEntry(options->findChild<QListWidget*>("lsLanguage"), language);
    options->findChild<QPushButton*>("cmdOk")->click();
  }

  testsupport::TempComputer computer;
  ClientSession session{computer.platform()};
  std::unique_ptr<MainWindow> window;
};

// Every entry lies whole inside the list's visible area: no language hides behind a scroll bar.
bool AllEntriesInSight(const QListWidget* list) {
  for (int i = 0; i < list->count(); ++i) {
    if (!list->viewport()->rect().contains(list->visualItemRect(list->item(i)))) return false;
  }
  return list->count() > 0;
}

}  // namespace

class LanguageWindowsTest : public QObject {
  Q_OBJECT

 private slots:
  void init() { SetCurrentLanguage(u"EN"); }
  void cleanup() {
    for (QWidget* w : QApplication::topLevelWidgets()) w->close();
    QApplication::processEvents();
    SetCurrentLanguage(u"EN");
  }

  // The first start, and a start with an empty stored language, ask for the language; what is
  // chosen is stored and used, and the next start goes straight to the main window.
  void FirstStartAsksOnceThenGoesStraightToTheMainWindow_data() {
    QTest::addColumn<bool>("stored_empty");
    QTest::addColumn<QString>("prompt");
    QTest::addColumn<QString>("chosen");  // the entry chosen; empty: the selection is kept
    QTest::addColumn<QString>("code");
    QTest::newRow("first") << false << "This window appears only the first Time"
                           << "Deutsch"
                           << "DE";
    QTest::newRow("empty") << true << "Language settings not found."
                           << ""
                           << "EN";
  }
  void FirstStartAsksOnceThenGoesStraightToTheMainWindow() {
    QFETCH(bool, stored_empty);
    QFETCH(QString, prompt);
    QFETCH(QString, chosen);
    QFETCH(QString, code);
    testsupport::TempComputer computer;
    if (stored_empty) StoreLanguage(computer.platform(), u"");
    int opened = 0;
    {
      ClientSession session(computer.platform());
      StartClient(session, [&] { ++opened; });
      QCOMPARE(opened, 0);
      auto* splash = TopLevel<QWidget>("frmSplash");
      QVERIFY(splash);
      QCOMPARE(splash->findChild<QLabel*>("lblFirstTime")->text(), prompt);
      auto* list = splash->findChild<QListWidget*>("lsLanguage");
      QCOMPARE(list->count(), 5);
      QVERIFY(AllEntriesInSight(list));
      QCOMPARE(list->currentItem()->text(), QStringLiteral("English"));
      if (!chosen.isEmpty()) SelectEntry(list, chosen);
      QTest::mouseClick(splash->findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
      QCOMPARE(opened, 1);
      QCOMPARE(StoredLanguage(computer.platform()), code);
      QCOMPARE(ToQString(CurrentLanguage()), code);
      QTRY_VERIFY(!TopLevel<QWidget>("frmSplash"));
    }
    SetCurrentLanguage(u"FR");
    ClientSession next(computer.platform());
    StartClient(next, [&] { ++opened; });
    QCOMPARE(opened, 2);
    QVERIFY(!TopLevel<QWidget>("frmSplash"));
    QCOMPARE(ToQString(CurrentLanguage()), code);
  }

  // The options window changes the open main window at once, in the language's font and size,
  // and saves (that the current language chosen again writes nothing is checked in the core).
  void OptionsChangeTheOpenWindows() {
    EnglishClient c;
    MainWindow& main = c.main();
    // Japanese: texts, the Japanese font and the wider minimum size at once; stored.
    c.Choose(QStringLiteral("Japanese"));
    QCOMPARE(StoredLanguage(c.computer.platform()), QStringLiteral("JP"));
    QCOMPARE(main.findChild<QPushButton*>("pbCancel")->text(),
             QString::fromUtf8("\u30ad\u30e3\u30f3\u30bb\u30eb(&C)"));
    QCOMPARE(main.findChild<QCheckBox*>("chkLogSystem")->toolTip(),
             ToQString(GetMessageTextIn(u"JP", 60)));
    QCOMPARE(main.font().family(), QStringLiteral("MS Gothic"));  // which face it gives: below
    QVERIFY(main.minimumWidth() >= 10240 * main.logicalDpiX() / 1440);

    // A window opened now starts in Japanese.
    OptionsWindow* options = c.OpenOptions();
    QVERIFY(options);
    QCOMPARE(options->windowTitle(), ToQString(GetMessageTextIn(u"JP", 350)));
    QCOMPARE(options->findChild<QListWidget*>("lsLanguage")->currentItem()->text(),
             QStringLiteral("Japanese"));
    QVERIFY(AllEntriesInSight(options->findChild<QListWidget*>("lsLanguage")));
    QTest::mouseClick(options->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("JP"));
  }

  // Select Computer and the service progress window, open while the language changes, take the
  // new texts and font at once; the progress window keeps the action and target it shows.
  void OptionsChangeSelectComputerAndServiceState() {
    EnglishClient c;
    MainWindow& main = c.main();
    auto* select = new SelectComputerWindow(
        c.computer.platform(), [](const std::u16string&) {}, &main);
    select->setAttribute(Qt::WA_DeleteOnClose);
    select->show();
    auto* state = new ServiceStateWindow(&main);
    state->ShowAction(205, u"SRV2");
    auto* label = state->findChild<QLabel*>("lblServiceStatus");

    c.Choose(QStringLiteral("Japanese"));
    QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("JP"));
    QCOMPARE(select->windowTitle(), ToQString(GetMessageTextIn(u"JP", 202)));
    QCOMPARE(select->findChild<QPushButton*>("cmdCancel")->text(),
             main.findChild<QPushButton*>("pbCancel")->text());
    QCOMPARE(select->font().family(), QStringLiteral("MS Gothic"));
    QCOMPARE(label->text(), ToQString(GetMessageTextIn(u"JP", 205)));
    QCOMPARE(state->findChild<QStatusBar*>("StBServiceState")->currentMessage(),
             ToQString(GetMessageTextIn(u"JP", 201)) + QStringLiteral(" SRV2"));
    QCOMPARE(state->font().family(), QStringLiteral("MS Gothic"));
    state->Finish();

    // A progress window made after the change starts in the new language.
    ServiceStateWindow later(&main);
    later.ShowAction(206, u"SRV2");
    QCOMPARE(later.findChild<QLabel*>("lblServiceStatus")->text(),
             ToQString(GetMessageTextIn(u"JP", 206)));
    later.Finish();
  }

  // A stored code of no language: English texts, no entry selected, and OK changes nothing.
  void UnknownLanguageSelectsNothing() {
    testsupport::TempComputer computer;
    StoreLanguage(computer.platform(), u"IT");
    ClientSession session(computer.platform());
    QCOMPARE(StartLanguage(session), LanguagePrompt::kNone);
    OptionsWindow options(session, nullptr);
    options.show();
    QCOMPARE(options.windowTitle(), QStringLiteral("Options"));
    QVERIFY(options.findChild<QListWidget*>("lsLanguage")->selectedItems().isEmpty());
    QTest::mouseClick(options.findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
    QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("IT"));
    QCOMPARE(StoredLanguage(computer.platform()), QStringLiteral("IT"));
  }

  // Every text of every table has a glyph in the face its language's font resolves to: no boxes.
  void EveryTextHasGlyphs() {
    for (size_t i = 0; i < kEmbeddedTableCount; ++i) {
      const std::u16string code = kEmbeddedTables[i].language;
      MessageTable table;
      std::string error;
      QVERIFY(ParseMessageTable(kEmbeddedTables[i].text, &table, &error));
      ClientFont font;
      SelectLanguageFontFor(code, &font);
      // The face the font resolves to first, without Qt's per-character fallback.
      QFont primary(QFontInfo(ToQFont(font)).family());
      primary.setPointSize(font.size);
      const QRawFont raw = QRawFont::fromFont(primary);
      QVERIFY2(raw.isValid(), qPrintable(ToQString(code)));
      if (code == u"JP") {
        QVERIFY2(raw.familyName().contains(QStringLiteral("IPA")), qPrintable(raw.familyName()));
      }
      for (const auto& [number, text] : table) {
        for (char16_t c : text) {
          if (c < 0x20) continue;  // line breaks
          QVERIFY2(raw.supportsCharacter(QChar(c)),
                   qPrintable(QStringLiteral("%1 %2: U+%3 in %4")
                                  .arg(ToQString(code))
                                  .arg(number)
                                  .arg(static_cast<int>(c), 4, 16, QLatin1Char('0'))
                                  .arg(raw.familyName())));
        }
      }
    }
  }
};

}  // namespace sentrel::client

QTEST_MAIN(sentrel::client::LanguageWindowsTest)
#include "language_windows_test.moc"
