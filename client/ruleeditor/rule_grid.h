// The rule editor's working copy of one log's rules: the grid rows, the rule shown in the detail
// controls, and the operations of the window (show, edit, insert, delete, move). Rule numbers are
// row positions from 1, so every insert, delete and move renumbers the rows by itself. Nothing
// here touches the store until the window takes rules() on OK.
#ifndef CLIENT_RULEEDITOR_RULE_GRID_H_
#define CLIENT_RULEEDITOR_RULE_GRID_H_

#include <string>

#include "client/ruleeditor/rule_store.h"

namespace sentrel::client {

class RuleGrid {
 public:
  // Rows from the store (on open and on Reset); no rule is shown.
  void Load(RuleSet rules);

  const RuleSet& rules() const { return rows_; }
  int count() const { return static_cast<int>(rows_.size()); }
  // Rule n, 1 <= n <= count().
  const FilterRuleTexts& row(int n) const { return rows_[static_cast<size_t>(n - 1)]; }

  // The rule in the detail controls, 0 while none is shown (the details are disabled then, and
  // so is deleting).
  int current() const { return current_; }
  bool shown() const { return current_ != 0; }

  // Shows rule n; false (nothing changes) when there is no such rule.
  bool Show(int n);
  // A user's edit of a field of the shown rule; false when no rule is shown.
  bool Edit(RuleField field, std::u16string text);
  // Appends a rule with action 0 and no criteria (it discards every record until edited); no
  // rule is shown afterwards, the user selects the new row to edit it.
  void Insert();
  // Removes the shown rule. The rule now at its number is shown, or the new last rule when it
  // was the last; nothing when it was the only one.
  bool DeleteShown();
  // Moves the shown rule to number k (1 <= k <= count()); the rules between shift by one, and
  // the moved rule stays shown.
  bool MoveShownTo(int k);
  bool MoveShownUp() { return current_ > 1 && MoveShownTo(current_ - 1); }
  bool MoveShownDown() { return shown() && current_ < count() && MoveShownTo(current_ + 1); }

 private:
  RuleSet rows_;
  int current_ = 0;
};

}  // namespace sentrel::client

#endif  // CLIENT_RULEEDITOR_RULE_GRID_H_
