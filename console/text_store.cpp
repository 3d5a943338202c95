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

}  // namespace qv
