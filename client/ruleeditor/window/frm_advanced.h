// frmAdvanced: the modal window in which the user edits one log's filter rules in a grid.
//
// It works on a RuleGrid loaded from the log's rule store. Edits change only that working copy;
// OK hands it to the store (which raises the log's filter stamp), Cancel, Escape and closing drop
// it, Reset reloads it from the store. The registry is written later, with the main window's
// settings.
//
// The detail controls write into the shown rule only on the user's own edits (activated,
// textEdited, and the source box's completions), never when they are filled to show a rule: a
// stored action or type that is not in the lists shows as the first entry but stays in the rule
// as it was.
#ifndef CLIENT_RULEEDITOR_WINDOW_FRM_ADVANCED_H_
#define CLIENT_RULEEDITOR_WINDOW_FRM_ADVANCED_H_

#include <QDialog>
#include <string>

#include "client/core/client_session.h"
#include "client/ruleeditor/rule_grid.h"
#include "client/ruleeditor/rule_store.h"
#include "client/ui/language_window.h"

class QAction;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;
class QTableWidget;

namespace sentrel::client {

// The key below HKEY_LOCAL_MACHINE whose subkeys are the log's event sources.
std::u16string EventSourcesPath(ClientLog log);

class FrmAdvanced : public QDialog, public LanguageWindow {
  Q_OBJECT

 public:
  // Edits the rules of `log` in `store`; the event sources are listed from the session's target
  // computer. Captions and font follow the current language, also when it changes while the
  // window is open.
  FrmAdvanced(ClientSession& session, FilterRuleStore& store, ClientLog log,
              QWidget* parent = nullptr);

  const RuleGrid& grid() const { return grid_; }

  void InitiateLanguageSettings() override;

 private:
  void CreateControls();
  void LayOutControls();
  void ConnectControls();
  void InitiateGridCols();
  void FillGrid();
  void FillNumberList();
  void FillEventSources();
  void FillRow(int n);

  // The rule is shown in the details and selected in the grid (0: none, details disabled).
  void ShowRule(int n);
  // No row selected, the details empty and disabled, nothing to delete.
  void ShowNoRule();
  void SelectRow(int n);
  void EnableDetails(bool enabled);
  void EditField(RuleField field, const QString& text);

  void OnRowChosen(int row);
  void OnContextMenu(const QPoint& pos);
  void OnInsert();
  void OnDelete();
  void OnNumberChosen(int index);
  void OnScroll(int value);
  void OnOk();
  void OnReset();

  ClientSession& session_;
  FilterRuleStore& store_;
  const ClientLog log_;
  RuleGrid grid_;
  bool showing_ = false;  // the controls are being filled by the window, not by the user

  QTableWidget* grid_widget_ = nullptr;
  QGroupBox* detail_frame_ = nullptr;
  QLabel* source_label_ = nullptr;
  QComboBox* source_ = nullptr;
  QLabel* id_label_ = nullptr;
  QLineEdit* id_ = nullptr;
  QLabel* type_label_ = nullptr;
  QComboBox* type_ = nullptr;
  QLabel* category_label_ = nullptr;
  QLineEdit* category_ = nullptr;
  QLabel* user_label_ = nullptr;
  QLineEdit* user_ = nullptr;
  QGroupBox* action_frame_ = nullptr;
  QComboBox* action_ = nullptr;
  QGroupBox* number_frame_ = nullptr;
  QComboBox* number_ = nullptr;
  QScrollBar* scroll_ = nullptr;
  QPushButton* ok_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* reset_ = nullptr;
  QMenu* edit_menu_ = nullptr;
  QAction* insert_ = nullptr;
  QAction* delete_ = nullptr;
};

}  // namespace sentrel::client

#endif  // CLIENT_RULEEDITOR_WINDOW_FRM_ADVANCED_H_
