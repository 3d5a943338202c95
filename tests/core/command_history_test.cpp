// The command line's history, walked as in a shell.
#include <gtest/gtest.h>

#include "console/command_history.h"

namespace qv {
namespace {

TEST(CommandHistory, WalksLikeAShell) {
  // "+x" sends x with Enter; "^" is Up and "v" is Down with the line as it
  // stands; "=x" types x into the line. `shown` is the line after each step.
  struct Case {
    const char* what;
    std::vector<std::string> keys;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {"up walks back, stays at the oldest; down comes forward to an empty line",
       {"+a", "+b", "^", "^", "^", "v", "v", "v"},
       {"", "", "b", "a", "a", "b", "", ""}},
      {"down past the newest gives back what was being typed",
       {"+a", "=half", "^", "v"},
       {"", "half", "a", "half"}},
      {"a repeated line is kept once; an empty line not at all",
       {"+a", "+a", "+", "+b", "+a", "^", "^", "^", "^"},
       {"", "", "", "", "", "a", "b", "a", "a"}},
      {"nothing to walk: the line stays",
       {"=typed", "^", "v"},
       {"typed", "typed", "typed"}},
      {"sending a recalled line starts the next walk from the newest",
       {"+a", "+b", "^", "^", "+a", "^", "^"},
       {"", "", "b", "a", "", "a", "b"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CommandHistory history;
    std::string line;
    std::vector<std::string> shown;
    for (const std::string& key : c.keys) {
      if (key[0] == '+') {
        history.Add(key.substr(1));
        line.clear();
      } else if (key[0] == '=') {
        line = key.substr(1);
      } else if (auto recalled = key == "^" ? history.Older(line) : history.Newer()) {
        line = *recalled;
      }
      shown.push_back(line);
    }
    EXPECT_EQ(shown, c.shown);
  }
}

TEST(CommandHistory, KeepsTheLast200Lines) {
  CommandHistory history;
  for (int i = 0; i < 250; ++i) history.Add("cmd" + std::to_string(i));
  EXPECT_EQ(history.Size(), 200u);
  std::optional<std::string> oldest;
  for (auto line = history.Older(""); line; line = history.Older("")) oldest = line;
  EXPECT_EQ(oldest, "cmd50");
}

}  // namespace
}  // namespace qv
