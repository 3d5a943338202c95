#include "batch/headless.h"

#include <algorithm>

#include "console/text.h"

namespace qv {

namespace {
// Line breaks inside a message read as line breaks on a terminal too.
std::string OnTerminal(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += '\n';
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}
}  // namespace

void PanePrinter::PrintUpTo(size_t end) {
  const auto& lines = pane_.Lines();
  if (printed_ >= end) return;
  if (beforeOutput) beforeOutput();
  for (; printed_ < end; ++printed_) out_ << Utf8FromGbk(lines[printed_]) << '\n';
  out_.flush();
}

void PanePrinter::PaneChanged(size_t firstLine) {
  // Printed lines that changed (the pane was cleared) are printed again.
  if (firstLine < printed_) printed_ = firstLine;
  const size_t count = pane_.LineCount();
  if (printed_ > count) printed_ = count;
  if (count > 0) PrintUpTo(count - 1);
}

void PanePrinter::Flush() {
  if (printed_ > pane_.LineCount()) printed_ = pane_.LineCount();
  PrintUpTo(pane_.LineCount());
}

void StreamDialogs::Box(const std::string& caption, const std::string& text, const char* suffix) {
  ++boxes_;
  if (beforeOutput) beforeOutput();
  out_ << caption << ": " << OnTerminal(text) << suffix << '\n';
  out_.flush();
}

void StreamDialogs::ShowMessage(const std::string& text) { Box("Quorvane", text); }

void StreamDialogs::Warning(const std::string& caption, const std::string& text) { Box(caption, text); }

bool StreamDialogs::AskYesNo(const std::string& caption, const std::string& text) {
  Box(caption, text, answerYes_ ? " [Yes]" : " [No]");
  return answerYes_;
}

std::optional<std::string> StreamDialogs::ChooseOpenFile(const std::string&, const std::string&, const std::string&) {
  Box("quorvane-batch", "no file chooser without a window; cancelled");
  return std::nullopt;
}

std::optional<std::string> StreamDialogs::ChooseSaveFile(const std::string&, const std::string&, const std::string&) {
  Box("quorvane-batch", "no file chooser without a window; cancelled");
  return std::nullopt;
}

std::optional<std::string> StreamDialogs::ChooseFolder(const std::string&) {
  Box("quorvane-batch", "no folder chooser without a window; cancelled");
  return std::nullopt;
}

std::string ProgressLine(int min, int max, int position, int width) {
  if (max <= min || position >= max || width < 12) return {};
  const long long done = std::max(position - min, 0);
  const long long range = static_cast<long long>(max) - min;
  const int percent = static_cast<int>(done * 100 / range);
  const int cells = width - 8;  // "[" cells "]" and " 100%"
  const int filled = static_cast<int>(done * cells / range);
  std::string percentText = std::to_string(percent) + "%";
  percentText.insert(0, 5 - percentText.size(), ' ');
  return "[" + std::string(filled, '#') + std::string(cells - filled, '.') + "] " + percentText;
}

}  // namespace qv
