#include "console/text_store.h"

#include <algorithm>

#include "console/text.h"

namespace qv {

std::vector<std::string_view> SplitLines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    size_t len = end - start;
    if (lf != std::string_view::npos && len > 0 && text[end - 1] == '\r') --len;
    lines.push_back(text.substr(start, len));
    if (lf == std::string_view::npos) break;
    start = lf + 1;
  }
  return lines;
}

std::string_view TextOfChunk(std::string_view chunk) {
  size_t nul = chunk.find('\0');
  return nul == std::string_view::npos ? chunk : chunk.substr(0, nul);
}

std::string TextPane::Text() const {
  std::string text;
  for (size_t i = 0; i < lines_.size(); ++i) {
    if (i) text += "\r\n";
    text += lines_[i];
  }
  if (!open_ && !lines_.empty()) text += "\r\n";
  return text;
}

void TextPane::AddListener(Listener* listener) { listeners_.push_back(listener); }

void TextPane::RemoveListener(Listener* listener) {
  listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TextPane::Notify(size_t firstLine) {
  for (Listener* listener : listeners_) listener->PaneChanged(firstLine);
}

void TextPane::Clear() {
  lines_.clear();
  open_ = false;
  Notify(0);
}

void TextPane::AddLine(std::string_view text) {
  lines_.emplace_back(text);
  open_ = false;
  Notify(lines_.size() - 1);
}

void TextPane::AppendToLastLine(std::string_view text) {
  if (lines_.empty()) {
    lines_.emplace_back();
    open_ = true;
  }
  lines_.back() += text;
  Notify(lines_.size() - 1);
}

void TextPane::AppendToLine(size_t index, std::string_view text) {
  lines_.at(index) += text;
  Notify(index);
}

void TextPane::AppendText(std::string_view text) {
  if (text.empty()) return;
  size_t first = lines_.empty() ? 0 : lines_.size() - (open_ ? 1 : 0);
  size_t pos = 0;
  while (pos <= text.size()) {
    size_t brk = text.find_first_of("\r\n", pos);
    std::string_view segment = text.substr(pos, (brk == std::string_view::npos ? text.size() : brk) - pos);
    if (!segment.empty()) {
      if (!open_) lines_.emplace_back();
      open_ = true;
      lines_.back() += segment;
    }
    if (brk == std::string_view::npos) break;
    if (!open_) lines_.emplace_back();  // a break right after a break: an empty line
    open_ = false;
    pos = brk + 1;
    if (text[brk] == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
  }
  Notify(first);
}

void TextPane::WrapLastLine(size_t width) {
  if (lines_.empty() || lines_.back().size() <= width) return;
  const size_t first = lines_.size() - 1;
  // The line is parsed from its start: a byte's part in a character depends on
  // what comes before it, and an earlier chunk may have left half a character.
  const std::string whole = std::move(lines_.back());
  lines_.pop_back();
  std::string_view rest = whole;
  while (rest.size() > width) {
    size_t cut = 0;
    while (cut + GbkCharSize(rest, cut) <= width) cut += GbkCharSize(rest, cut);
    if (cut == 0) cut = GbkCharSize(rest, 0);  // narrower than one character
    lines_.emplace_back(rest.substr(0, cut));
    rest.remove_prefix(cut);
  }
  lines_.emplace_back(rest);
  Notify(first);
}

bool HasPromptShape(std::string_view line) {
  const auto level = [](char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z'); };
  if (line.size() == 5 && line[0] == 'F' && level(line[1]) && line[2] == ' ') line.remove_prefix(3);
  return line.size() == 2 && level(line[0]) && line[1] == '>';
}

namespace {
// Where the last line with more than blanks ends (one past it in `lines`),
// and its trimmed text.
size_t LastTextLine(const std::vector<std::string_view>& lines, std::string& trimmed) {
  size_t end = lines.size();
  while (end > 0 && (trimmed = Trim(lines[end - 1])).empty()) --end;
  return end;
}
}  // namespace

std::string PromptScanner::Scan(std::string_view chunk, bool burstEnded, bool shapeSuffices) {
  if (skipToBreak_ && !chunk.empty()) {
    const size_t lineBreak = chunk.find_first_of("\r\n");
    skipToBreak_ = lineBreak == std::string_view::npos;
    chunk.remove_prefix(skipToBreak_ ? chunk.size() : lineBreak);
  }
  if (!chunk.empty()) lineOpen_ = chunk.back() != '\r' && chunk.back() != '\n';
  tail_.append(chunk);
  const std::vector<std::string_view> lines = SplitLines(tail_);
  // The last line with more than blanks; a prompt if it ends in '>'.
  std::string trimmed;
  const size_t end = LastTextLine(lines, trimmed);  // one past that line
  const bool candidate = end > 0 && trimmed.back() == '>';
  // The drive shows a prompt last, to wait for a command: one that has come
  // with nothing after it ends the output without waiting for the quiet.
  const bool lastThing = candidate && end == lines.size() && tail_.back() != '\n' && tail_.back() != '\r';
  if (candidate && (burstEnded || (shapeSuffices && lastThing && HasPromptShape(trimmed)))) {
    tail_.clear();
    return trimmed.size() >= 2 ? trimmed.substr(trimmed.size() - 2) : trimmed;
  }
  if (lines.size() <= 1) return {};
  // Keep only the last line (with its line break, if it has one); while the
  // burst goes on, also a complete line that may still turn out to be the prompt.
  const std::string kept = candidate && end < lines.size() ? std::string(lines[end - 1]) + "\r\n" : std::string();
  const size_t lastStart = static_cast<size_t>(lines.back().data() - tail_.data());
  tail_ = kept + tail_.substr(lastStart);
  return {};
}

PromptScanner::Pending PromptScanner::Candidate() const {
  std::string trimmed;
  if (LastTextLine(SplitLines(tail_), trimmed) == 0 || trimmed.back() != '>') return Pending::None;
  return HasPromptShape(trimmed) ? Pending::PromptShaped : Pending::Other;
}

void PromptScanner::Clear() {
  tail_.clear();
  skipToBreak_ = lineOpen_;
}

}  // namespace qv
