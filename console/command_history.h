#pragma once
// The command line's history: the lines sent with Enter, walked with Up and
// Down as in a shell. Kept in memory only; every start begins without one.
#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

class CommandHistory {
 public:
  static constexpr size_t kCapacity = 200;

  // A line sent with Enter. An empty line, or the same line as the newest,
  // is not kept; past kCapacity the oldest goes. Ends any walk.
  void Add(std::string_view line);
  // Up: the next older line, or nothing at the oldest (or with no history).
  // `current` is what the command line holds: when the walk starts there, it
  // is kept to come back to.
  std::optional<std::string> Older(const std::string& current);
  // Down: the next newer line; past the newest, what the line held when the
  // walk began; nothing when no walk is going on.
  std::optional<std::string> Newer();

  size_t Size() const { return lines_.size(); }

 private:
  std::deque<std::string> lines_;   // oldest first
  std::optional<size_t> at_;        // the line shown while walking
  std::string draft_;               // what was typed before the walk began
};

}  // namespace qv
