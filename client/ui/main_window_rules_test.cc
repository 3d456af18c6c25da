// The rules that tie frmMain's controls together, its input rules and its presets, as a user
// meets them.
#include <QPushButton>
#include <QtTest>

#include "client/ui/testing/window_fixture.h"

using sentrel::client::testing::WindowFixture;

namespace {

QStringList AdditionalOptions() {
  return {QStringLiteral("chkAddFacilityString"), QStringLiteral("chkShowSyslogMsgNbr"),
          QStringLiteral("chkAddUserName"), QStringLiteral("chkAddLogType")};
}

}  // namespace

class MainWindowRulesTest : public QObject {
  Q_OBJECT

 private slots:
  void theAdditionalOptionsNeedMode1AndTheLegacyForm() {
    WindowFixture f;
    auto available = [&f] {
      int enabled = 0;
      for (const QString& name : AdditionalOptions()) enabled += f.Check(name)->isEnabled();
      return enabled == 4 ? 1 : enabled == 0 ? 0 : -1;
    };
    QCOMPARE(available(), 1);
    f.Choose(QStringLiteral("cbRFC3164Mode"),
             QStringLiteral("Mode 2 - message format compliant, but oversize packets allowed"));
    QCOMPARE(available(), 0);
    f.Choose(QStringLiteral("cbRFC3164Mode"), QStringLiteral("Mode 1 - not RFC3164 compatible"));
    QCOMPARE(available(), 1);
    f.Click(QStringLiteral("chkUseLegacy"));
    QCOMPARE(available(), 0);
    f.Click(QStringLiteral("cmdMorvane"));
    QCOMPARE(available(), 1);
    QVERIFY(f.Check(QStringLiteral("chkUseLegacy"))->isChecked());
    QVERIFY(f.Check(QStringLiteral("chkAddFacilityString"))->isChecked());
  }

  void theBackupServerAndTheReplacementNameFollowTheirBoxes() {
    WindowFixture f;
    f.Click(QStringLiteral("chkEnableBackupSyslogServer"));
    f.Type(QStringLiteral("txtszTarget2"), QStringLiteral("backup.example"));
    const QStringList backup = {
        QStringLiteral("txtszTarget2"), QStringLiteral("cbProtocolTypeBackup"),
        QStringLiteral("cbiOutputEncoding2"), QStringLiteral("lblProtocollTypeBackup")};
    for (const QString& name : backup) QVERIFY(f.Find<QWidget>(name)->isEnabled());
    f.Click(QStringLiteral("pbApply"));
    QCOMPARE(f.Snapshot().count("szTarget2"), size_t{1});
    f.Click(QStringLiteral("chkEnableBackupSyslogServer"));
    for (const QString& name : backup) QVERIFY(!f.Find<QWidget>(name)->isEnabled());
    QCOMPARE(f.Edit(QStringLiteral("txtszTarget2"))->text(), QStringLiteral("backup.example"));
    f.Click(QStringLiteral("pbApply"));
    QCOMPARE(f.Snapshot().count("szTarget2"), size_t{0});

    QVERIFY(!f.Edit(QStringLiteral("txtReplaceComputerName"))->isEnabled());
    f.Click(QStringLiteral("chkReplaceComputerName"));
    QVERIFY(f.Edit(QStringLiteral("txtReplaceComputerName"))->isEnabled());
  }

  void untickingLoggingUnticksItsTypesAndDisablesItsRules() {
    WindowFixture f;
    // The event type boxes are all unticked and enabled as given.
    auto types_unticked = [&f](bool enabled) {
      for (const char* type :
           {"Success", "Error", "Warning", "Information", "AuditSuccess", "AuditFailure"}) {
        QCheckBox* box = f.Check(QStringLiteral("chkDNS") + QLatin1String(type));
        QVERIFY(!box->isChecked() && box->isEnabled() == enabled);
      }
    };
    QVERIFY(!f.Find<QWidget>(QStringLiteral("cmdAdvancedDNS"))->isEnabled());
    f.Click(QStringLiteral("chkDNSFilterRules"));
    QVERIFY(f.Find<QWidget>(QStringLiteral("cmdAdvancedDNS"))->isEnabled());
    f.Click(QStringLiteral("chkLogDNS"));
    types_unticked(false);
    QVERIFY(!f.Find<QWidget>(QStringLiteral("chkDNSFilterRules"))->isEnabled());
    QVERIFY(!f.Find<QWidget>(QStringLiteral("cmdAdvancedDNS"))->isEnabled());
    f.Click(QStringLiteral("chkLogDNS"));
    types_unticked(true);
    f.Click(QStringLiteral("chkDNSError"));
    f.Click(QStringLiteral("pbApply"));
    QCOMPARE(testsupport::SnapshotDword(f.Snapshot(), "DNS Server\\nFilterEventType"), 2);
    f.Click(QStringLiteral("chkLogDNS"));
    f.Click(QStringLiteral("pbApply"));
    QCOMPARE(testsupport::SnapshotDword(f.Snapshot(), "DNS Server\\nFilterEventType"), 0);
  }

  // Which fields are copied is checked in the core; here that the button reaches its own tab.
  void copySettingsFromSystemFillsTheMailFieldsOnly() {
    WindowFixture f;
    f.Click(QStringLiteral("chkEnabledMailDeliverySystem"));
    f.Type(QStringLiteral("txtMailServerSystem"), QStringLiteral("mail.example"));
    f.Choose(QStringLiteral("cboxSystemFacility"), QStringLiteral("MAIL"));
    QVERIFY(!f.window().findChild<QPushButton*>(QStringLiteral("cmdCPSystemSystem")));
    f.Click(QStringLiteral("cmdCPSystemFileReplication"));
    QVERIFY(f.Check(QStringLiteral("chkEnabledMailDeliveryFileReplication"))->isChecked());
    QCOMPARE(f.Edit(QStringLiteral("txtMailServerFileReplication"))->text(),
             QStringLiteral("mail.example"));
    QCOMPARE(f.List(QStringLiteral("cboxFileReplicationFacility"))->currentText(),
             QStringLiteral("LOCAL_0"));
  }

  void theNumberBoxesTakeOnlyDigits() {
    WindowFixture f;
    f.Click(QStringLiteral("pbApply"));
    const auto before = f.Snapshot();
    QLineEdit* sleep = f.Edit(QStringLiteral("txtnSleep"));
    sleep->setFocus();
    sleep->end(false);
    QTest::keyClicks(sleep, QStringLiteral("a"));
    QCOMPARE(sleep->text(), QStringLiteral("60000"));
    QTest::keyClick(sleep, Qt::Key_Backspace);
    QTest::keyClicks(sleep, QStringLiteral("1"));
    QCOMPARE(sleep->text(), QStringLiteral("60001"));
    QTest::keyClick(sleep, Qt::Key_Backspace);
    QTest::keyClicks(sleep, QStringLiteral("0"));

    QLineEdit* last = f.Edit(QStringLiteral("txtnLastRecordDirectory"));
    last->setFocus();
    last->end(false);
    QTest::keyClicks(last, QStringLiteral("7"));
    QCOMPARE(last->text(), QStringLiteral("07"));
    QTest::keyClicks(last, QStringLiteral("x"));
    QCOMPARE(last->text(), QStringLiteral("0"));
    f.Click(QStringLiteral("pbApply"));
    QVERIFY2(f.boxes().seen().isEmpty(), qPrintable(f.boxes().seen().value(0).text));
    QVERIFY(f.Snapshot() == before);
  }
};

QTEST_MAIN(MainWindowRulesTest)
#include "main_window_rules_test.moc"
