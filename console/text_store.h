#pragma once
// The stores of received text: the terminal pane and the capture buffer
// that operations parse. Both hold GBK bytes.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// Splits text into lines at LF, dropping the CR of a CR LF pair. The empty
// piece after a closing line break is not a line.
std::vector<std::string_view> SplitLines(std::string_view text);

// Everything after the first NUL of a received chunk is not text.
std::string_view TextOfChunk(std::string_view chunk);

// The pane shows received text at most this many bytes to a line; longer
// output wraps.
inline constexpr size_t kPaneLineWidth = 110;

// The terminal pane: a list of lines where CR LF, CR and LF each end a line
// and text is appended to the last line.
class TextPane {
 public:
  class Listener {
   public:
    virtual ~Listener() = default;
    // Lines from `firstLine` on were changed, added or removed (a clear
    // reports 0); the listener redraws them from the pane.
    virtual void PaneChanged(size_t firstLine) = 0;
  };

  // The window that draws the pane, the headless runner's printer, the
  // session log: each is told of every change, in the order they were added.
  void AddListener(Listener* listener);
  void RemoveListener(Listener* listener);

  const std::vector<std::string>& Lines() const { return lines_; }
  size_t LineCount() const { return lines_.size(); }
  // Whether the text ends with a line break (text appended next starts a new line).
  bool EndsWithBreak() const { return !open_; }
  std::string Text() const;  // lines joined by CR LF

  void Clear();
  // A new line at the end.
  void AddLine(std::string_view text);
  // Extends the last line (a progress line gets its verdict this way).
  void AppendToLastLine(std::string_view text);
  // Extends line `index`, which must exist.
  void AppendToLine(size_t index, std::string_view text);
  // Appends text at the very end; its line breaks start new lines.
  void AppendText(std::string_view text);
  // While the last line is longer than `width` bytes, the rest moves to a new
  // last line. A two-byte character is never split: when the last byte that
  // would stay is the first half of one, the line breaks before it.
  void WrapLastLine(size_t width);

 private:
  void Notify(size_t firstLine);

  std::vector<std::string> lines_;
  bool open_ = false;  // the last line has no line break yet
  std::vector<Listener*> listeners_;
};

}  // namespace qv
