// frmAdvanced driven through its controls on an emulated computer, saved through the client's
// settings save, and checked in the registry and with the service's own rule loader.
#include "client/ruleeditor/window/frm_advanced.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <memory>
#include <optional>

#include "client/i18n/messages.h"
#include "service/filter/filter_rules.h"
#include "tests/support/test_platform.h"

namespace sentrel::client {
namespace {

constexpr ClientLog kLog = ClientLog::kSystem;

}  // namespace

class FrmAdvancedTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<testsupport::TempComputer> computer_;
  std::unique_ptr<ClientSession> session_;
  std::unique_ptr<FilterRuleStore> store_;
  std::unique_ptr<platform::RegKey> key_;  // the System log's configuration key
  std::unique_ptr<FrmAdvanced> window_;

  void Number(std::u16string_view name, uint32_t value) {
    QCOMPARE(platform::SetDword(*key_, name, value), platform::kSuccess);
  }
  void Text(std::u16string_view name, std::u16string_view value) {
    QCOMPARE(platform::SetString(*key_, name, value), platform::kSuccess);
  }
  std::optional<uint32_t> Dword(std::u16string_view name) {
    uint32_t value = 0;
    if (platform::QueryDword(*key_, name, &value) != platform::kSuccess) return std::nullopt;
    return value;
  }
  std::optional<std::u16string> String(std::u16string_view name) {
    std::u16string value;
    if (platform::QueryString(*key_, name, &value) != platform::kSuccess) return std::nullopt;
    return value;
  }

  // Reads the settings as the main window does (unless `read` is false: the store keeps what
  // was confirmed), then opens the editor on the System log.
  void Open(bool read = true) {
    if (read) session_->ReadRegValues();
    window_ = std::make_unique<FrmAdvanced>(*session_, *store_, kLog);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }
  void Save() {
    const WriteResult result = session_->WriteRegValues();
    QVERIFY(result.ok());
  }

  template <typename T>
  T* Control(const char* name) {
    T* control = window_->findChild<T*>(QLatin1String(name));
    if (!control) qFatal("no control %s", name);
    return control;
  }
  QTableWidget* Grid() { return Control<QTableWidget>("MSFlexGridFR"); }
  void ClickRow(int n) {
    QTableWidget* grid = Grid();
    const QRect cell = grid->visualRect(grid->model()->index(n - 1, 2));
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
  }
  // The user picks an entry of a list.
  void Choose(const char* name, int index) {
    auto* combo = Control<QComboBox>(name);
    combo->setCurrentIndex(index);
    emit combo->activated(index);
  }
  void Type(const char* name, const QString& text) {
    auto* edit = Control<QLineEdit>(name);
    edit->selectAll();
    QTest::keyClicks(edit, text);
  }
  void Clear(const char* name) {
    auto* edit = Control<QLineEdit>(name);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
  }
  void Trigger(const char* name) { Control<QAction>(name)->trigger(); }
  void Click(const char* name) { QTest::mouseClick(Control<QPushButton>(name), Qt::LeftButton); }
  QString Cell(int n, int column) { return Grid()->item(n - 1, column)->text(); }
  // The sources of the grid's rules, in order.
  QStringList Sources() {
    QStringList sources;
    for (int row = 0; row < Grid()->rowCount(); ++row) sources << Grid()->item(row, 2)->text();
    return sources;
  }
  // Three rules with the sources A, B, C.
  void ThreeRules() {
    Number(u"nFilterVersion", 10);
    Number(u"nFilterRules", 3);
    for (int n = 1; n <= 3; ++n) {
      Number(RuleValueName(n, RuleField::kAction), 4);
      Text(RuleValueName(n, RuleField::kEventSource),
           std::u16string(1, static_cast<char16_t>(u'A' + n - 1)));
    }
  }

 private slots:
  void init() {
    computer_ = std::make_unique<testsupport::TempComputer>();
    platform::Platform& platform = computer_->platform();
    std::unique_ptr<platform::RegKey> root, source;
    QCOMPARE(platform.registry().OpenRoot(platform::RegRoot::kLocalMachine, &root),
             platform::kSuccess);
    QCOMPARE(root->CreateKey(std::u16string(kParametersPath) + u"\\System", &key_),
             platform::kSuccess);
    for (auto name : {u"Zeta", u"MyApp"}) {
      QCOMPARE(root->CreateKey(EventSourcesPath(kLog) + u"\\" + name, &source), platform::kSuccess);
    }
    session_ = std::make_unique<ClientSession>(platform);
    store_ = std::make_unique<FilterRuleStore>();
    session_->set_filter_rules_io(store_.get());
    QCOMPARE(session_->CreateKeyHandles(u"LOCALHOST").state, ConnectState::kConnected);
  }
  void cleanup() {
    SetCurrentLanguage(u"EN");
    window_.reset();
    session_.reset();
    key_.reset();
    computer_.reset();
  }

  void opensWithTheStoreAndNothingShown() {
    ThreeRules();
    Open();
    QCOMPARE(Grid()->rowCount(), 3);
    QCOMPARE(Grid()->columnCount(), 7);
    QCOMPARE(Grid()->horizontalHeaderItem(6)->text(), QStringLiteral("Event User"));
    QCOMPARE(Sources(), (QStringList{"A", "B", "C"}));
    QVERIFY(!Control<QLineEdit>("txtEventID")->isEnabled());
    QVERIFY(!Control<QAction>("mnuDeleteSelRule")->isEnabled());
    QCOMPARE(Control<QComboBox>("cbNumber")->count(), 3);
    QCOMPARE(Control<QComboBox>("cbAction")->itemText(0),
             QStringLiteral("Discard event completely"));
    // The log's event sources, in enumeration order.
    auto* sources = Control<QComboBox>("cbFREventSource");
    QCOMPARE(sources->count(), 2);
    QCOMPARE(sources->itemText(0), QStringLiteral("MyApp"));
    ClickRow(2);
    QVERIFY(Control<QLineEdit>("txtEventID")->isEnabled());
    QVERIFY(Control<QAction>("mnuDeleteSelRule")->isEnabled());
    QCOMPARE(sources->currentText(), QStringLiteral("B"));
    QCOMPARE(Control<QComboBox>("cbNumber")->currentIndex(), 1);
    // A language chosen while the window is open re-captions it; the refilled action list still
    // shows the shown rule's action, and the rule is not edited by it.
    SetCurrentLanguage(u"DE");
    ReapplyLanguageOfOpenWindows();
    QCOMPARE(window_->windowTitle(), QStringLiteral("Erweiterte Filterkonfiguration"));
    QCOMPARE(Grid()->horizontalHeaderItem(2)->text(), QStringLiteral("Ereignisquelle"));
    QCOMPARE(Control<QComboBox>("cbAction")->currentIndex(), 4);
    QCOMPARE(window_->grid().row(2)[RuleField::kAction], std::u16string(u"4"));
    QCOMPARE(Grid()->currentRow(), 1);
  }

  // Inserted and left as it is, a rule discards every record of the log.
  void newRuleDiscardsEverything() {
    Open();
    ClickRow(1);  // an empty grid shows nothing
    QVERIFY(!Control<QComboBox>("cbAction")->isEnabled());
    Trigger("mnuInsertNew");
    QCOMPARE(Grid()->rowCount(), 1);
    QVERIFY(!Control<QComboBox>("cbAction")->isEnabled());
    Click("cmdOK");
    QCOMPARE(window_->result(), int(QDialog::Accepted));
    session_->settings().log(kLog).filter_rules = true;
    Save();
    FilterRuleList list;
    LoadFilterRules(list, *key_);
    QVERIFY(list.first);
    QCOMPARE(*list.first->action, 0);
    QVERIFY(!list.first->event_id && !list.first->event_type && !list.first->category &&
            !list.first->source && !list.first->user_name);
    QCOMPARE(Dword(u"nFilterRules"), std::optional<uint32_t>(1));
  }

  // Edits reach the grid at once; "ALL" and emptied texts leave the criterion empty (the rule
  // store's tests cover how empty criteria are saved).
  void editsAndEmptiedCriteria() {
    Number(u"nFilterVersion", 1);
    Number(u"nFilterRules", 1);
    Number(u"FR1Action", 4);
    Text(u"FR1EventSource", u"Srv");
    Text(u"FR1UserName", u"NT AUTHORITY\\SYSTEM");
    Number(u"FR1EventType", 2);
    Number(u"FR1EventID", 7036);
    Open();
    ClickRow(1);
    QCOMPARE(Control<QComboBox>("cbEventType")->currentText(), QStringLiteral("ERROR"));
    Choose("cbEventType", 0);  // ALL
    QCOMPARE(Cell(1, 4), QString());
    Clear("txtEventUser");
    auto* source = Control<QComboBox>("cbFREventSource");
    source->lineEdit()->selectAll();
    QTest::keyClick(source->lineEdit(), Qt::Key_Delete);
    QCOMPARE(Cell(1, 2), QString());
    // A typed name the list completes: the rule holds the name the box shows.
    window_->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    source->lineEdit()->setFocus();
    QTest::keyClicks(source->lineEdit(), QStringLiteral("My"));
    QCOMPARE(source->currentText(), QStringLiteral("MyApp"));
    QCOMPARE(Cell(1, 2), QStringLiteral("MyApp"));
    QTest::keyClick(source->lineEdit(), Qt::Key_Delete);  // drops the completed part
    QCOMPARE(Cell(1, 2), QStringLiteral("My"));
    source->lineEdit()->selectAll();
    QTest::keyClick(source->lineEdit(), Qt::Key_Delete);
    Choose("cbAction", 5);
    QCOMPARE(Cell(1, 1), QStringLiteral("5"));
    // Digits only, at most 65535: letters and a sixth digit are refused.
    Type("txtEventCategory", QStringLiteral("1a2"));
    QCOMPARE(Cell(1, 5), QStringLiteral("12"));
    Type("txtEventID", QStringLiteral("70000"));
    QCOMPARE(Cell(1, 3), QStringLiteral("7000"));
    QCOMPARE(Cell(1, 6), QString());
  }

  void movingRenumbers() {
    ThreeRules();
    Open();
    ClickRow(3);
    Choose("cbNumber", 0);  // rule 3 becomes rule 1
    QCOMPARE(Sources(), (QStringList{"C", "A", "B"}));
    QCOMPARE(Cell(3, 0), QStringLiteral("3"));
    QCOMPARE(window_->grid().current(), 1);
    QTest::keyClicks(Control<QComboBox>("cbNumber"), QStringLiteral("3"));  // typing moves nothing
    QCOMPARE(Sources(), (QStringList{"C", "A", "B"}));
    // The scroll bar's arrows: down moves the rule one down, up at the top does nothing.
    auto* scroll = Control<QScrollBar>("vscNumber");
    scroll->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    QCOMPARE(Sources(), (QStringList{"A", "C", "B"}));
    QCOMPARE(scroll->value(), 1);
    QCOMPARE(Control<QComboBox>("cbNumber")->currentIndex(), 1);
    scroll->triggerAction(QAbstractSlider::SliderSingleStepSub);
    scroll->triggerAction(QAbstractSlider::SliderSingleStepSub);
    QCOMPARE(Sources(), (QStringList{"C", "A", "B"}));
    QVERIFY(scroll->isEnabled());
    Click("cmdOK");
    Save();
    QCOMPARE(String(u"FR1EventSource"), std::optional<std::u16string>(u"C"));
    QCOMPARE(String(u"FR3EventSource"), std::optional<std::u16string>(u"B"));
  }

  void deletingRenumbersAndEachConfirmationRaisesTheStamp() {
    ThreeRules();
    Open();
    ClickRow(2);
    Trigger("mnuDeleteSelRule");
    QCOMPARE(Sources(), (QStringList{"A", "C"}));
    // The rule now numbered 2 is shown.
    QCOMPARE(Control<QComboBox>("cbFREventSource")->currentText(), QStringLiteral("C"));
    Click("cmdOK");
    QCOMPARE(store_->stamp(kLog), 11u);
    Open(/*read=*/false);
    Click("cmdOK");
    QCOMPARE(store_->stamp(kLog), 12u);
    Save();
    QCOMPARE(Dword(u"nFilterRules"), std::optional<uint32_t>(2));
    QCOMPARE(Dword(u"nFilterVersion"), std::optional<uint32_t>(12));
    QCOMPARE(String(u"FR2EventSource"), std::optional<std::u16string>(u"C"));
    QCOMPARE(String(u"FR3EventSource"), std::optional<std::u16string>(u"C"));  // left, unused

    // Deleting the only rule leaves the details disabled.
    Open();
    ClickRow(1);
    Trigger("mnuDeleteSelRule");
    ClickRow(1);
    Trigger("mnuDeleteSelRule");
    QCOMPARE(Grid()->rowCount(), 0);
    QVERIFY(!Control<QComboBox>("cbAction")->isEnabled());
    QVERIFY(!Control<QAction>("mnuDeleteSelRule")->isEnabled());
  }

  // Cancel, Escape and Reset drop the edits; the store and its stamp stay as they were.
  void cancelEscapeAndResetChangeNothing() {
    ThreeRules();
    Open();
    Trigger("mnuInsertNew");
    Click("cmdCancel");
    QCOMPARE(window_->result(), int(QDialog::Rejected));
    Open(/*read=*/false);
    ClickRow(1);
    Trigger("mnuDeleteSelRule");
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QVERIFY(!window_->isVisible());
    QCOMPARE(store_->count(kLog), 3);
    QCOMPARE(store_->stamp(kLog), 10u);

    Open(/*read=*/false);
    ClickRow(1);
    Choose("cbAction", 0);
    Trigger("mnuInsertNew");
    Click("cmdReset");
    QCOMPARE(Grid()->rowCount(), 3);
    QCOMPARE(Cell(1, 1), QStringLiteral("4"));
    QVERIFY(!Control<QComboBox>("cbAction")->isEnabled());
  }

  // Rules the window cannot show as they are survive being shown and confirmed (the store's
  // test saves them).
  void showingAndSavingChangesNoRule() {
    const std::u16string long_source(300, u'S');
    Number(u"nFilterVersion", 4);
    Number(u"nFilterRules", 2000000000);
    Number(u"FR1EventID", 7036);  // no action
    Text(u"FR2EventSource", long_source);
    Number(u"FR2Action", 0);
    Number(u"FR3Action", 9);
    Number(u"FR3EventType", 3);
    Number(u"FR3EventID", 4294967295);
    Open();
    const RuleSet shown = store_->rules(kLog);
    QCOMPARE(Grid()->rowCount(), 3);
    QCOMPARE(Cell(1, 1), QStringLiteral("1"));
    for (int n = 1; n <= 3; ++n) ClickRow(n);
    QCOMPARE(Control<QComboBox>("cbAction")->currentIndex(), 0);     // 9: the first entry
    QCOMPARE(Control<QComboBox>("cbEventType")->currentIndex(), 0);  // 3: "ALL"
    QCOMPARE(Control<QLineEdit>("txtEventID")->text(), QStringLiteral("-1"));
    Click("cmdOK");
    QVERIFY(store_->rules(kLog) == shown);
  }
};

}  // namespace sentrel::client

QTEST_MAIN(sentrel::client::FrmAdvancedTest)
#include "frm_advanced_test.moc"
