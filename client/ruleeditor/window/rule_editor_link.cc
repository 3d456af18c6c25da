#include "client/ruleeditor/window/rule_editor_link.h"

#include "client/ruleeditor/window/frm_advanced.h"
#include "client/ui/main_window.h"

namespace sentrel::client {

RuleEditorLink::RuleEditorLink(MainWindow& window)
    : QObject(&window), window_(window), session_(window.session()) {
  session_.set_filter_rules_io(&store_);
  connect(&window_, &MainWindow::AdvancedRequested, this,
          [this](ClientLog log) { OpenEditor(log); });
}

RuleEditorLink::~RuleEditorLink() {
  if (session_.filter_rules_io() == &store_) session_.set_filter_rules_io(nullptr);
}

bool RuleEditorLink::OpenEditor(ClientLog log) {
  FrmAdvanced editor(session_, store_, log, &window_);
  return editor.exec() == QDialog::Accepted;
}

}  // namespace sentrel::client
