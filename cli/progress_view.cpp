#include "cli/progress_view.h"

#include <sys/ioctl.h>

#include <algorithm>

#include "batch/headless.h"

namespace qv::cli {

void ProgressView::Changed(What what) {
  if (what != What::Progress) return;
  const ProgressBar& bar = main_.ProgressBar1;
  const std::string line = ProgressLine(bar.min, bar.max, bar.position, width_);
  // Drawn only when it looks different: a ROM read moves it 65536 times.
  if (line == shown_) return;
  if (line.empty()) return Erase();
  out_ << '\r' << line << "\033[K" << std::flush;
  shown_ = line;
}

void ProgressView::Erase() {
  if (shown_.empty()) return;
  out_ << "\r\033[K" << std::flush;
  shown_.clear();
}

int TerminalWidth(int fd) {
  winsize size{};
  const int columns = ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
  return std::clamp(columns - 1, 20, 72);
}

}  // namespace qv::cli
