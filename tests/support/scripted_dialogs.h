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
  // Answered with the next queued path and the next queued filter (the first when none is queued).
  std::optional<SaveChoice> ChooseSaveTarget(const std::string& filter, const std::string& defaultExt,
                                             const std::string& fileName, bool appends) override {
    choosers.push_back({appends ? "append" : "save", filter, defaultExt, fileName});
    std::optional<std::string> path = NextPath();
    size_t filterIndex = 0;
    if (!filterIndexes.empty()) {
      filterIndex = filterIndexes.front();
      filterIndexes.pop_front();
    }
    if (!path) return std::nullopt;
    return SaveChoice{*path, filterIndex};
  }

  // A chooser as it was asked for.
  struct Chooser {
    std::string kind;  // "open", "save", "append" (a save chooser for a file added to) or "folder"
    std::string filter, defaultExt, fileName;  // a folder chooser's title is in `filter`
    bool operator==(const Chooser&) const = default;
  };

  std::vector<Shown> shown;
  std::vector<Chooser> choosers;
  std::vector<Shown> questions;
  std::deque<bool> answers;
  std::deque<std::optional<std::string>> paths;
  std::deque<size_t> filterIndexes;

 private:
  std::optional<std::string> NextPath() {
    if (paths.empty()) return std::nullopt;
    auto path = paths.front();
    paths.pop_front();
    return path;
  }
};

}  // namespace qv::test
