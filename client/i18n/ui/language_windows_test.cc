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

// szLanguage as stored; "<none>" when absent.
QString StoredLanguage(platform::Platform& platform) {
  std::unique_ptr<platform::RegKey> hkcu, key;
  if (platform.registry().OpenRoot(platform::RegRoot::kCurrentUser, &hkcu) != platform::kSuccess ||
      hkcu->OpenKey(kClientSettingsPath, platform::RegAccess::kRead, &key) != platform::kSuccess) {
    return QStringLiteral("<no key>");
  }
  uint32_t type = 0, size = 0;
  if (key->QueryValue(u"szLanguage", &type, nullptr, &size) != platform::kSuccess) {
    return QStringLiteral("<none>");
  }
  std::u16string text(size / 2, u'\0');
  (void)key->QueryValue(u"szLanguage", &type, text.data(), &size);
  while (!text.empty() && text.back() == u'\0') text.pop_back();
  return ToQString(text);
}

void StoreLanguage(platform::Platform& platform, std::u16string_view code) {
  std::unique_ptr<platform::RegKey> hkcu, key;
  QCOMPARE(platform.registry().OpenRoot(platform::RegRoot::kCurrentUser, &hkcu),
           platform::kSuccess);
  QCOMPARE(hkcu->CreateKey(kClientSettingsPath, &key), platform::kSuccess);
  const std::u16string text(code);
  QCOMPARE(key->SetValue(u"szLanguage", platform::kRegSz, text.c_str(),
                         static_cast<uint32_t>((text.size() + 1) * 2)),
           platform::kSuccess);
}

void SelectEntry(QListWidget* list, const QString& text) {
  const auto items = list->findItems(text, Qt::MatchExactly);
  QVERIFY(!items.isEmpty());
  list->setCurrentItem(items.front());
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

  void FirstStartAsksOnceThenGoesStraightToTheMainWindow() {
    testsupport::TempComputer computer;
    int opened = 0;
    {
      ClientSession session(computer.platform());
      StartClient(session, [&] { ++opened; });
      QCOMPARE(opened, 0);
      auto* splash = TopLevel<QWidget>("frmSplash");
      QVERIFY(splash);
      QCOMPARE(splash->findChild<QLabel*>("lblFirstTime")->text(),
               QStringLiteral("This window appears only the first Time"));
      auto* list = splash->findChild<QListWidget*>("lsLanguage");
      QCOMPARE(list->count(), 5);
      QCOMPARE(list->currentItem()->text(), QStringLiteral("English"));
      SelectEntry(list, QStringLiteral("Deutsch"));
      QTest::mouseClick(splash->findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
      QCOMPARE(opened, 1);
      QCOMPARE(StoredLanguage(computer.platform()), QStringLiteral("DE"));
      QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("DE"));
      QTRY_VERIFY(!TopLevel<QWidget>("frmSplash"));
    }
    SetCurrentLanguage(u"EN");
    ClientSession next(computer.platform());
    StartClient(next, [&] { ++opened; });
    QCOMPARE(opened, 2);
    QVERIFY(!TopLevel<QWidget>("frmSplash"));
    QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("DE"));
  }

  void EmptyLanguageAsksAgain() {
    testsupport::TempComputer computer;
    StoreLanguage(computer.platform(), u"");
    ClientSession session(computer.platform());
    bool opened = false;
    StartClient(session, [&] { opened = true; });
    auto* splash = TopLevel<QWidget>("frmSplash");
    QVERIFY(splash && !opened);
    QCOMPARE(splash->findChild<QLabel*>("lblFirstTime")->text(),
             QStringLiteral("Language settings not found."));
    QTest::mouseClick(splash->findChild<QPushButton*>("cmdStart"), Qt::LeftButton);
    QVERIFY(opened);
    QCOMPARE(StoredLanguage(computer.platform()), QStringLiteral("EN"));
  }

  // The options window changes the open main window at once, in the language's font and size,
  // and saves; choosing the current language again writes nothing.
  void OptionsChangeTheOpenWindows() {
    testsupport::TempComputer computer;
    StoreLanguage(computer.platform(), u"EN");
    ClientSession session(computer.platform());
    QCOMPARE(StartLanguage(session), LanguagePrompt::kNone);
    (void)session.ResetToDefaults();
    MainWindow main(session);
    InstallLanguageCommands(main);
    main.Load();
    main.show();
    const int english_min_width = main.minimumWidth();
    QCOMPARE(main.findChild<QPushButton*>("pbCancel")->text(), QStringLiteral("&Cancel"));

    // The same language: nothing is written (a value changed behind the window's back stays).
    StoreLanguage(computer.platform(), u"FR");
    main.menu_action(Command::kOptions)->trigger();
    auto* options = TopLevel<OptionsWindow>("frmOptions");
    QVERIFY(options);
    auto* list = options->findChild<QListWidget*>("lsLanguage");
    QCOMPARE(list->currentItem()->text(), QStringLiteral("English"));
    QCOMPARE(options->findChild<QLabel*>("lblLanguage")->text(),
             QStringLiteral("Choose your language"));
    QTest::mouseClick(options->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
    QCOMPARE(StoredLanguage(computer.platform()), QStringLiteral("FR"));
    QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("EN"));

    // Japanese: texts, the Japanese font and the wider minimum size at once; stored.
    QTRY_VERIFY(!TopLevel<OptionsWindow>("frmOptions"));
    main.menu_action(Command::kOptions)->trigger();
    options = TopLevel<OptionsWindow>("frmOptions");
    QVERIFY(options);
    SelectEntry(options->findChild<QListWidget*>("lsLanguage"), QStringLiteral("Japanese"));
    QTest::mouseClick(options->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
    QCOMPARE(StoredLanguage(computer.platform()), QStringLiteral("JP"));
    QCOMPARE(main.findChild<QPushButton*>("pbCancel")->text(),
             QString::fromUtf8("\u30ad\u30e3\u30f3\u30bb\u30eb(&C)"));
    QCOMPARE(main.findChild<QCheckBox*>("chkLogSystem")->toolTip(),
             ToQString(GetMessageTextIn(u"JP", 60)));
    QCOMPARE(main.font().family(), QStringLiteral("MS Gothic"));
    QVERIFY2(QFontInfo(main.font()).family().contains(QStringLiteral("IPA")),
             qPrintable(QFontInfo(main.font()).family()));
    QVERIFY(main.minimumWidth() > english_min_width);
    QVERIFY(main.minimumWidth() >= 10240 * main.logicalDpiX() / 1440);
    QVERIFY(main.width() >= main.minimumWidth());

    // A window opened now starts in Japanese.
    QTRY_VERIFY(!TopLevel<OptionsWindow>("frmOptions"));
    main.menu_action(Command::kOptions)->trigger();
    options = TopLevel<OptionsWindow>("frmOptions");
    QVERIFY(options);
    QCOMPARE(options->windowTitle(), ToQString(GetMessageTextIn(u"JP", 350)));
    QCOMPARE(options->findChild<QListWidget*>("lsLanguage")->currentItem()->text(),
             QStringLiteral("Japanese"));
    QTest::mouseClick(options->findChild<QPushButton*>("cmdCancel"), Qt::LeftButton);
    QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("JP"));
  }

  // Select Computer and the service progress window, open while the language changes, take the
  // new texts and font at once; the progress window keeps the action and target it shows.
  void OptionsChangeSelectComputerAndServiceState() {
    testsupport::TempComputer computer;
    StoreLanguage(computer.platform(), u"EN");
    ClientSession session(computer.platform());
    QCOMPARE(StartLanguage(session), LanguagePrompt::kNone);
    (void)session.ResetToDefaults();
    MainWindow main(session);
    InstallLanguageCommands(main);
    main.Load();
    main.show();
    auto* select = new SelectComputerWindow(
        computer.platform(), [](const std::u16string&) {}, &main);
    select->setAttribute(Qt::WA_DeleteOnClose);
    select->show();
    auto* state = new ServiceStateWindow(&main);
    state->ShowAction(205, u"SRV2");
    QCOMPARE(select->windowTitle(), QStringLiteral("Select Computer"));
    auto* label = state->findChild<QLabel*>("lblServiceStatus");
    auto* status = state->findChild<QStatusBar*>("StBServiceState");
    QCOMPARE(label->text(), QStringLiteral("Installing the Sentrel Service..."));

    main.menu_action(Command::kOptions)->trigger();
    auto* options = TopLevel<OptionsWindow>("frmOptions");
    QVERIFY(options);
    SelectEntry(options->findChild<QListWidget*>("lsLanguage"), QStringLiteral("Japanese"));
    // click() rather than a mouse event: Select Computer is modal.
    options->findChild<QPushButton*>("cmdOk")->click();
    QCOMPARE(ToQString(CurrentLanguage()), QStringLiteral("JP"));

    QCOMPARE(select->windowTitle(), ToQString(GetMessageTextIn(u"JP", 202)));
    QCOMPARE(select->findChild<QPushButton*>("cmdCancel")->text(),
             main.findChild<QPushButton*>("pbCancel")->text());
    QCOMPARE(select->font().family(), QStringLiteral("MS Gothic"));
    QCOMPARE(label->text(), ToQString(GetMessageTextIn(u"JP", 205)));
    QCOMPARE(status->currentMessage(),
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
