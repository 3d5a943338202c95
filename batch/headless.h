#pragma once
// What running without a window needs: the terminal pane printed line by
// line, message boxes written to a stream and questions answered by a fixed
// choice, and the progress bar as a line of text.
#include <cstddef>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

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
  // Called before anything is printed (to take a progress bar off the terminal).
  std::function<void()> beforeOutput;

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
  // Called before a box is printed.
  std::function<void()> beforeOutput;

 private:
  void Box(const std::string& caption, const std::string& text, const char* suffix = "");

  std::ostream& out_;
  bool answerYes_;
  size_t boxes_ = 0;
};

// The progress bar as one line of `width` columns: "[#####.....]  45%".
// Empty while the bar has nothing to show (no range, or the position at its
// end), so that a finished operation leaves no bar behind.
std::string ProgressLine(int min, int max, int position, int width);

}  // namespace qv
