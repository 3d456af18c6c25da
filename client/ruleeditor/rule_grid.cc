#include "client/ruleeditor/rule_grid.h"

#include <algorithm>
#include <utility>

namespace sentrel::client {

void RuleGrid::Load(RuleSet rules) {
  rows_ = std::move(rules);
  current_ = 0;
}

bool RuleGrid::Show(int n) {
  if (n < 1 || n > count()) return false;
  current_ = n;
  return true;
}

bool RuleGrid::Edit(RuleField field, std::u16string text) {
  if (!shown()) return false;
  rows_[static_cast<size_t>(current_ - 1)].Set(field, std::move(text));
  return true;
}

void RuleGrid::Insert() {
  rows_.emplace_back();
  current_ = 0;
}

bool RuleGrid::DeleteShown() {
  if (!shown()) return false;
  rows_.erase(rows_.begin() + (current_ - 1));
  current_ = std::min(current_, count());
  return true;
}

bool RuleGrid::MoveShownTo(int k) {
  if (!shown() || k < 1 || k > count()) return false;
  const auto from = rows_.begin() + (current_ - 1);
  const auto to = rows_.begin() + (k - 1);
  if (from < to) {
    std::rotate(from, from + 1, to + 1);
  } else {
    std::rotate(to, from, from + 1);
  }
  current_ = k;
  return true;
}

}  // namespace sentrel::client
