#pragma once
// Message boxes, questions and file choosers. The window toolkit shows them;
// tests answer them by script and the headless runner on its terminal.
// All texts are UTF-8.
#include <optional>
#include <string>

namespace qv {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // A plain message with the application's title as caption.
  virtual void ShowMessage(const std::string& text) = 0;
  // A warning box with its own caption ("警告").
  virtual void Warning(const std::string& caption, const std::string& text) = 0;
  // A yes/no question with a question icon; true for yes.
  virtual bool AskYesNo(const std::string& caption, const std::string& text) = 0;
  // File choosers: the chosen path, or nothing when the user cancelled.
  // `filter` reads like "CMD|*.CMD|所有文件|*.*"; `fileName` is offered as the
  // name to choose. The open chooser takes only a file that exists.
  virtual std::optional<std::string> ChooseOpenFile(const std::string& filter, const std::string& defaultExt,
                                                     const std::string& fileName = "") = 0;
  virtual std::optional<std::string> ChooseSaveFile(const std::string& filter, const std::string& defaultExt,
                                                     const std::string& fileName = "") = 0;
  virtual std::optional<std::string> ChooseFolder(const std::string& title) = 0;

  // A save chooser whose filters are choices the caller acts on (an
  // encoding): the chosen path and which filter was chosen with it (0 for the
  // first). For a file that is added to rather than replaced (a log), pass
  // `appends`: an existing file is then taken without asking to replace it.
  struct SaveChoice {
    std::string path;
    size_t filterIndex = 0;
  };
  virtual std::optional<SaveChoice> ChooseSaveTarget(const std::string& filter, const std::string& defaultExt,
                                                     const std::string& fileName, bool appends) {
    // A chooser that cannot tell the filters apart answers with the first.
    (void)appends;
    std::optional<std::string> path = ChooseSaveFile(filter, defaultExt, fileName);
    if (!path) return std::nullopt;
    return SaveChoice{*path, 0};
  }
};

}  // namespace qv
