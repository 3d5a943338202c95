#pragma once
// The three stores of received text: the terminal pane, the capture buffer
// that operations parse, and the prompt scan buffer. All hold GBK bytes.
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

// Whether a line (trimmed) has the shape of the drive's prompts: a level
// ("T", "2", "F", "A") and ">", after an optional tag such as "F3 ".
// "Zone 3 ->" and the identity editor's "->" do not.
bool HasPromptShape(std::string_view trimmed);

// Finds the drive's prompt lines in the received text, keeping only the
// unfinished tail of the output.
class PromptScanner {
 public:
  // What the tail ends with: nothing that may be a prompt, a line with a
  // prompt's shape, or another line ending in ">".
  enum class Pending { None, PromptShaped, Other };

  // Appends a chunk. Returns the last two characters of the last non-blank
  // line if that line ends in ">" ("T>", "2>", "->") and the drive's burst of
  // output ended with the chunk, or, while the burst may go on, if the line
  // has a prompt's shape, nothing has followed it and `shapeSuffices`;
  // otherwise an empty text.
  std::string Scan(std::string_view chunk, bool burstEnded = true, bool shapeSuffices = true);
  // What a burst that ends now would end with (after a Scan that found nothing).
  Pending Candidate() const;
  // Starts afresh. A line that was under way stays no prompt: what completes
  // it up to its line break is dropped.
  void Clear();
  const std::string& Tail() const { return tail_; }

 private:
  std::string tail_;
  bool lineOpen_ = false;    // the last byte seen was no line break
  bool skipToBreak_ = false;  // dropping the rest of a line cut by Clear
};

}  // namespace qv
