#include "console/command_history.h"

#include <utility>

namespace qv {

void CommandHistory::Add(std::string_view line) {
  at_.reset();
  draft_.clear();
  if (line.empty() || (!lines_.empty() && lines_.back() == line)) return;
  lines_.emplace_back(line);
  if (lines_.size() > kCapacity) lines_.pop_front();
}

std::optional<std::string> CommandHistory::Older(const std::string& current) {
  if (lines_.empty() || at_ == 0u) return std::nullopt;
  if (!at_) {
    draft_ = current;
    at_ = lines_.size() - 1;
  } else {
    --*at_;
  }
  return lines_[*at_];
}

std::optional<std::string> CommandHistory::Newer() {
  if (!at_) return std::nullopt;
  if (*at_ + 1 < lines_.size()) return lines_[++*at_];
  at_.reset();
  return std::exchange(draft_, {});
}

}  // namespace qv
