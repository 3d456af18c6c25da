// Joins the filter rule editor to the main window: the window's settings load and save read and
// write each log's rules through the link's rule store, and each log's "Advanced" button opens
// frmAdvanced for that log, modally.
#ifndef CLIENT_RULEEDITOR_WINDOW_RULE_EDITOR_LINK_H_
#define CLIENT_RULEEDITOR_WINDOW_RULE_EDITOR_LINK_H_

#include <QObject>

#include "client/ruleeditor/rule_store.h"

namespace sentrel::client {

class ClientSession;
class MainWindow;

class RuleEditorLink : public QObject {
  Q_OBJECT

 public:
  // Make it before the window's Load (which reads the rules). It may be the window's child: it
  // keeps the session itself, so its destructor does not reach into a window being destroyed.
  explicit RuleEditorLink(MainWindow& window);
  ~RuleEditorLink() override;

  FilterRuleStore& store() { return store_; }

  // frmAdvanced for `log`, modal over the main window; true when the user confirmed it.
  bool OpenEditor(ClientLog log);

 private:
  MainWindow& window_;
  ClientSession& session_;
  FilterRuleStore store_;
};

}  // namespace sentrel::client

#endif  // CLIENT_RULEEDITOR_WINDOW_RULE_EDITOR_LINK_H_
