// frmMain loading, saving and failing, driven by objectName on a real emulated computer.
#include <QAccessible>
#include <QAction>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include "client/ui/general_tab.h"
#include "client/ui/log_tab.h"
#include "client/ui/testing/window_fixture.h"

using sentrel::client::MessageIcon;
using sentrel::client::testing::MessageBoxWatcher;
using sentrel::client::testing::WindowFixture;
using testsupport::DescribeChanges;

namespace {

const char* const kWords[] = {"System",    "Security", "Application",
                              "Directory", "DNS",      "FileReplication"};

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void anEmptyConfigurationShowsTheDefaultsAndApplyWritesTheResetState() {
    WindowFixture f;
    MessageBoxWatcher& boxes = f.boxes();
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Sentrel Client"));
    QCOMPARE(f.Find<QLabel>(QStringLiteral("lblStatus"))->text(),
             QStringLiteral("Connected to: LOCALHOST"));
    QCOMPARE(f.Edit(QStringLiteral("txtSZTarget"))->text(), QStringLiteral("127.0.0.1"));
    QVERIFY(!f.Check(QStringLiteral("chkEnableBackupSyslogServer"))->isChecked());
    QCOMPARE(f.Edit(QStringLiteral("txtszTarget2"))->text(), QStringLiteral("127.0.0.1"));
    QVERIFY(!f.Edit(QStringLiteral("txtszTarget2"))->isEnabled());
    QCOMPARE(f.List(QStringLiteral("cbProtocolType"))->currentText(), QStringLiteral("UDP"));
    QCOMPARE(f.List(QStringLiteral("cbProtocolTypeBackup"))->currentText(), QStringLiteral("UDP"));
    QCOMPARE(f.List(QStringLiteral("cbRFC3164Mode"))->currentText(),
             QStringLiteral("Mode 1 - not RFC3164 compatible"));
    QVERIFY(f.Check(QStringLiteral("chkUseLegacy"))->isChecked());
    QCOMPARE(f.Edit(QStringLiteral("txtnSleep"))->text(), QStringLiteral("60000"));
    QCOMPARE(f.List(QStringLiteral("cbPreventOverrunDelay"))->currentText(), QStringLiteral("5"));
    QCOMPARE(f.Edit(QStringLiteral("txtReplaceComputerName"))->placeholderText(),
             QStringLiteral("!"));
    for (const char* w : kWords) {
      const QString word = QString::fromLatin1(w);
      QVERIFY(f.Check(QStringLiteral("chkLog") + word)->isChecked());
      for (const char* type :
           {"Success", "Error", "Warning", "Information", "AuditSuccess", "AuditFailure"}) {
        QVERIFY(f.Check(QStringLiteral("chk") + word + QString::fromLatin1(type))->isChecked());
      }
      QCOMPARE(f.List(QStringLiteral("cbox") + word + QStringLiteral("Facility"))->currentText(),
               QStringLiteral("LOCAL_0"));
      QCOMPARE(f.Edit(QStringLiteral("txtnLastRecord") + word)->text(), QStringLiteral("0"));
      QVERIFY(f.Check(QStringLiteral("chkReportTruncatedLog") + word)->isChecked());
      QVERIFY(!f.Check(QStringLiteral("chkEnabledMailDelivery") + word)->isChecked());
      QLineEdit* server = f.Edit(QStringLiteral("txtMailServer") + word);
      QCOMPARE(server->text(), QString());
      QCOMPARE(server->placeholderText(), QStringLiteral("127.0.0.1"));
      QCOMPARE(f.Edit(QStringLiteral("txtMailSender") + word)->placeholderText(),
               QStringLiteral("sentrel@localhost"));
    }

    // What Apply writes must be what the core's reset writes (checked value by value there).
    f.Click(QStringLiteral("pbApply"));
    const auto applied = f.Snapshot();

    // Reset to default asks first; Cancel leaves everything as it was.
    f.SetDword(u"DNS Server", u"nFacility", 8);
    boxes.set_answer(QMessageBox::Cancel);
    f.window().menu_action(sentrel::client::Command::kReset)->trigger();
    QCOMPARE(boxes.seen().size(), 1);
    QCOMPARE(boxes.seen()[0].icon, QMessageBox::Warning);
    QVERIFY(boxes.seen()[0].text.startsWith(
        QStringLiteral("Do you really want to reset all your setting to the default values?\n")));
    QCOMPARE(testsupport::SnapshotDword(f.Snapshot(), "DNS Server\\nFacility"), 8);
    boxes.set_answer(QMessageBox::Ok);
    f.window().toolbar_action(sentrel::client::Command::kReset)->trigger();
    QCOMPARE(boxes.seen().size(), 2);
    QVERIFY2(f.Snapshot() == applied, DescribeChanges(applied, f.Snapshot()).c_str());
    QCOMPARE(f.List(QStringLiteral("cboxDNSFacility"))->currentText(), QStringLiteral("LOCAL_0"));
  }

  void anUneditedApplyThroughTheWindowChangesNothing() {
    WindowFixture f;
    f.SetDword(u"", u"nAddUserName", 0xFFFFFFFF);
    f.SetDword(u"", u"nPreventOverrunDelay", 0xFFFFFFFB);  // -5: no pause, shown as 0
    f.SetDword(u"", u"nProtoType", 7);
    f.SetDword(u"System", u"nDeliveryMethod", 2);
    f.SetDword(u"System", u"nFacility", 129);
    f.SetDword(u"Security", u"nLastRecord", 41);
    const auto before = f.Snapshot();
    QCOMPARE(f.List(QStringLiteral("cbPreventOverrunDelay"))->currentText(), QStringLiteral("0"));
    QVERIFY(f.Check(QStringLiteral("chkEnabledMailDeliverySystem"))->isChecked());
    QCOMPARE(f.List(QStringLiteral("cboxSystemFacility"))->currentText(), QStringLiteral("KERNEL"));
    f.SetDword(u"Security", u"nLastRecord", 90);  // the service goes on meanwhile
    f.Click(QStringLiteral("pbApply"));
    const auto after = f.Snapshot();
    for (const auto& [name, value] : before) {
      if (name == "Security\\nLastRecord") continue;
      QVERIFY2(after.count(name) && after.at(name) == value, name.c_str());
    }
    QCOMPARE(testsupport::SnapshotDword(after, "Security\\nLastRecord"), 90);

    // A number typed into the box is written.
    f.Type(QStringLiteral("txtnLastRecordSecurity"), QStringLiteral("12"));
    f.Click(QStringLiteral("pbApply"));
    QCOMPARE(testsupport::SnapshotDword(f.Snapshot(), "Security\\nLastRecord"), 12);
  }

  void cancelAndEscapeEndTheClientWithoutWritingAndEnterSaves() {
    enum Way { kCancel, kEscape, kEnter };
    for (Way way : {kCancel, kEscape, kEnter}) {
      WindowFixture f;
      f.Click(QStringLiteral("pbApply"));
      const auto before = f.Snapshot();
      QSignalSpy ended(&f.window(), &sentrel::client::MainWindow::Ended);
      f.Type(QStringLiteral("txtSZTarget"), QStringLiteral("changed.example"));
      f.Click(QStringLiteral("chkLogSystem"));
      f.Choose(QStringLiteral("cbProtocolType"), QStringLiteral("TCP"));
      if (way == kCancel) f.Click(QStringLiteral("pbCancel"));
      if (way == kEscape) QTest::keyClick(f.Edit(QStringLiteral("txtSZTarget")), Qt::Key_Escape);
      if (way == kEnter) QTest::keyClick(f.Edit(QStringLiteral("txtSZTarget")), Qt::Key_Return);
      QCOMPARE(ended.count(), 1);
      QVERIFY(!f.window().isVisible());
      const auto after = f.Snapshot();
      if (way == kEnter) {
        QCOMPARE(testsupport::SnapshotDword(after, "nProtoType"), 1);
        QCOMPARE(testsupport::SnapshotDword(after, "System\\nFilterEventType"), 0);
      } else {
        QVERIFY(after == before);
      }
    }
  }

  void aFailedSaveShowsOneBoxAndKeepsTheWindowOpen() {
    WindowFixture f;
    MessageBoxWatcher& boxes = f.boxes();
    f.window();
    QVERIFY(platform::DeleteKeyTree(*f.Root(),
                                    u"SYSTEM\\CurrentControlSet\\Services\\Brinmoor Vaskwell") ==
            platform::kSuccess);
    QSignalSpy ended(&f.window(), &sentrel::client::MainWindow::Ended);
    f.Click(QStringLiteral("pbOK"));
    QCOMPARE(boxes.seen().size(), 1);
    QCOMPARE(boxes.seen()[0].icon, QMessageBox::Critical);
    QCOMPARE(boxes.seen()[0].text,
             QStringLiteral("Error while saving the setting szTarget\nIllegal operation attempted "
                            "on a registry key that has been marked for deletion."));
    QCOMPARE(ended.count(), 0);
    QVERIFY(f.window().isVisible());
  }

  void aNumberTheServiceCannotUseIsRefusedAndFocused() {
    WindowFixture f;
    MessageBoxWatcher& boxes = f.boxes();
    f.Click(QStringLiteral("pbApply"));
    const auto before = f.Snapshot();
    f.window().tabs()->setCurrentIndex(5);
    f.Type(QStringLiteral("txtnSleep"), QStringLiteral("4294967296"));
    f.Type(QStringLiteral("txtSZTarget"), QStringLiteral("changed.example"));
    f.Click(QStringLiteral("pbOK"));
    QCOMPARE(boxes.seen().size(), 1);
    QCOMPARE(boxes.seen()[0].icon, QMessageBox::Warning);
    QCOMPARE(boxes.seen()[0].text,
             QStringLiteral("\"Sleep Time\" must be a whole number from 0 to 2147483647. Nothing "
                            "was saved."));
    QVERIFY(f.Snapshot() == before);
    QVERIFY(f.window().isVisible());
    QCOMPARE(f.window().tabs()->currentIndex(), 0);
    QCOMPARE(f.window().focusWidget(), f.Edit(QStringLiteral("txtnSleep")));
  }

  void aComputerWithoutAccessOrWithoutTheServiceCannotBeEdited() {
    {
      WindowFixture f;
      MessageBoxWatcher& boxes = f.boxes();
      QVERIFY(f.computer().emulated_registry().SetAccessDenied(platform::RegRoot::kLocalMachine,
                                                               sentrel::client::kParametersPath,
                                                               true) == platform::kSuccess);
      f.window();
      QCOMPARE(boxes.seen().size(), 1);
      QCOMPARE(boxes.seen()[0].icon, QMessageBox::Critical);
      QVERIFY(boxes.seen()[0].text.startsWith(
          QStringLiteral("Error, access denied to Local Machine.\nPlease note")));
      QVERIFY(!f.Find<QWidget>(QStringLiteral("pbOK"))->isEnabled());
      QVERIFY(!f.Find<QWidget>(QStringLiteral("pbApply"))->isEnabled());
      QVERIFY(!f.window().tabs()->isEnabled());
      QVERIFY(!f.window().menu_action(sentrel::client::Command::kReset)->isEnabled());
      QVERIFY(!f.window().toolbar_action(sentrel::client::Command::kSave)->isEnabled());
    }
    {
      WindowFixture f(5, /*installed=*/false);
      MessageBoxWatcher& boxes = f.boxes();
      f.window();
      QCOMPARE(boxes.seen().size(), 1);
      QCOMPARE(boxes.seen()[0].icon, QMessageBox::NoIcon);
      QCOMPARE(boxes.seen()[0].text,
               QStringLiteral("Can't open Parameters key.\nClick \"File/Install Service\" if the "
                              "vaskwell service is not yet installed!"));
      QVERIFY(!f.window().tabs()->isEnabled());
      QVERIFY(!f.Find<QWidget>(QStringLiteral("pbOK"))->isEnabled());
    }
  }

  void aVersion4ComputerHasThreeLogTabs() {
    WindowFixture f(4);
    QTabWidget* tabs = f.window().tabs();
    for (int i = 0; i < tabs->count(); ++i) {
      QCOMPARE(tabs->isTabEnabled(i), i < 4);
      if (i >= 4) QCOMPARE(tabs->tabText(i), QStringLiteral("Win2K Only"));
    }
    QCOMPARE(tabs->tabText(1), QStringLiteral("S&ystem"));
  }

  // Tab moves through a page as it reads, top to bottom and left to right, which is also the
  // order in which a screen reader walks it.
  void theFocusMovesInReadingOrder() {
    WindowFixture f;
    auto chain = [&f](QWidget* page) {
      QStringList names;
      for (QWidget* w = page->nextInFocusChain(); w != page; w = w->nextInFocusChain()) {
        if (page->isAncestorOf(w) && (w->focusPolicy() & Qt::TabFocus) &&
            !w->objectName().isEmpty() && !w->objectName().startsWith(QLatin1String("qt_"))) {
          names << w->objectName();
        }
      }
      return names.join(QLatin1Char(' '));
    };
    QCOMPARE(chain(f.window().general_tab()),
             QStringLiteral("txtSZTarget cbProtocolType cbiOutputEncoding1 "
                            "chkEnableBackupSyslogServer txtszTarget2 cbProtocolTypeBackup "
                            "cbiOutputEncoding2 txtnSleep cbPreventOverrunDelay cbRFC3164Mode "
                            "chkUseLegacy chkForwardBinaryData chkSingleEventEmails "
                            "chkReplaceComputerName txtReplaceComputerName cmdMorvane "
                            "chkAddFacilityString chkShowSyslogMsgNbr chkAddUserName "
                            "chkAddLogType"));
    QCOMPARE(chain(f.window().log_tab(sentrel::client::ClientLog::kSecurity)),
             QStringLiteral("chkLogSecurity chkSecuritySuccess chkSecurityError "
                            "chkSecurityWarning chkSecurityInformation chkSecurityAuditSuccess "
                            "chkSecurityAuditFailure cboxSecurityFacility txtnLastRecordSecurity "
                            "chkReportTruncatedLogSecurity chkSecurityFilterRules "
                            "cmdAdvancedSecurity chkEnabledMailDeliverySecurity "
                            "txtMailServerSecurity txtMailSenderSecurity "
                            "txtMailRecipientSecurity txtMailSubjectSecurity "
                            "cbEmailEncodingSecurity cmdCPSystemSecurity"));
  }

  // The window never gets smaller than 8340 by 6825 twips; a smaller size is raised to that.
  void theWindowKeepsItsMinimumSize() {
    WindowFixture f;
    sentrel::client::MainWindow& w = f.window();
    const int min_width = 8340 * w.logicalDpiX() / 1440;
    const int min_height = 6825 * w.logicalDpiY() / 1440;
    w.resize(100, 100);
    QVERIFY(w.width() >= min_width);
    QVERIFY(w.height() >= min_height);
    w.resize(min_width + 300, min_height + 200);
    QCOMPARE(w.size(), QSize(min_width + 300, min_height + 200));
  }

  void everyInputCarriesAName() {
    WindowFixture f;
    QAccessible::setActive(true);
    const QList<QWidget*> widgets = f.window().findChildren<QWidget*>();
    int inputs = 0;
    for (QWidget* w : widgets) {
      if (!qobject_cast<QLineEdit*>(w) && !qobject_cast<QComboBox*>(w) &&
          !qobject_cast<QAbstractButton*>(w)) {
        continue;
      }
      if (w->objectName().isEmpty() || w->objectName().startsWith(QLatin1String("qt_"))) continue;
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(w);
      QVERIFY2(a && !a->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
      ++inputs;
    }
    QVERIFY(inputs > 100);
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
