#pragma once
// What running a script without a window needs: the terminal pane printed
// line by line, message boxes written to a stream and questions answered by
// a fixed choice, and the command line of the headless runner.
#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "console/dialogs.h"
#include "console/text_store.h"

namespace qv {

// Prints each pane line in UTF-8 once it is complete, that is, once a later
// line exists; Flush() prints the rest. A progress line therefore comes out
// whole, with the verdict that was appended to it.
class PanePrinter : public TextPane::Listener {
 public:
  PanePrinter(const TextPane& pane, std::ostream& out) : pane_(pane), out_(out) {}
  void PaneChanged(size_t firstLine) override;
  void Flush();

 private:
  void PrintUpTo(size_t end);

  const TextPane& pane_;
  std::ostream& out_;
  size_t printed_ = 0;
};

// Message boxes as "CAPTION: TEXT" lines (a plain message has the program's
// name as caption); questions get the fixed answer, which is printed too.
// There is nobody to choose a file, so the choosers are cancelled.
class StreamDialogs : public Dialogs {
 public:
  StreamDialogs(std::ostream& out, bool answerYes) : out_(out), answerYes_(answerYes) {}

  void ShowMessage(const std::string& text) override;
  void Warning(const std::string& caption, const std::string& text) override;
  bool AskYesNo(const std::string& caption, const std::string& text) override;
  std::optional<std::string> ChooseOpenFile(const std::string& filter, const std::string& defaultExt,
                                            const std::string& fileName = "") override;
  std::optional<std::string> ChooseSaveFile(const std::string& filter, const std::string& defaultExt,
                                            const std::string& fileName = "") override;
  std::optional<std::string> ChooseFolder(const std::string& title) override;

  size_t BoxesShown() const { return boxes_; }

 private:
  void Box(const std::string& caption, const std::string& text, const char* suffix = "");

  std::ostream& out_;
  bool answerYes_;
  size_t boxes_ = 0;
};

struct BatchOptions {
  std::string port = "SIM";
  std::string rate = "9600";
  bool yes = false;
  bool help = false;
  std::string script;
  std::string error;  // not empty: bad usage, and why
};

BatchOptions ParseBatchOptions(const std::vector<std::string>& args);
extern const char* const kBatchUsage;

}  // namespace qv
