#pragma once
// Dialogs answered by script: every box is recorded, questions take the next
// queued answer (No when none is queued), choosers the next queued path.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "console/dialogs.h"

namespace qv::test {

class ScriptedDialogs : public Dialogs {
 public:
  struct Shown {
    std::string caption;  // "" for ShowMessage
    std::string text;
  };

  void ShowMessage(const std::string& text) override { shown.push_back({"", text}); }
  void Warning(const std::string& caption, const std::string& text) override {
    shown.push_back({caption, text});
  }
  bool AskYesNo(const std::string& caption, const std::string& text) override {
    questions.push_back({caption, text});
    if (answers.empty()) return false;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  std::optional<std::string> ChooseOpenFile(const std::string& filter, const std::string& defaultExt,
                                            const std::string& fileName = "") override {
    choosers.push_back({"open", filter, defaultExt, fileName});
    return NextPath();
  }
  std::optional<std::string> ChooseSaveFile(const std::string& filter, const std::string& defaultExt,
                                            const std::string& fileName = "") override {
    choosers.push_back({"save", filter, defaultExt, fileName});
    return NextPath();
  }
  std::optional<std::string> ChooseFolder(const std::string& title) override {
    choosers.push_back({"folder", title, "", ""});
    return NextPath();
  }

  // A chooser as it was asked for.
  struct Chooser {
    std::string kind;  // "open", "save" or "folder"
    std::string filter, defaultExt, fileName;  // a folder chooser's title is in `filter`
    bool operator==(const Chooser&) const = default;
  };

  std::vector<Shown> shown;
  std::vector<Chooser> choosers;
  std::vector<Shown> questions;
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> paths;

 private:
  std::optional<std::string> NextPath() {
    if (paths.empty()) return std::nullopt;
    auto path = paths.front();
    paths.pop_front();
    return path;
  }
};

}  // namespace qv::test
