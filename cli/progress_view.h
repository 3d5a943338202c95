#pragma once
// The main window's progress bar as one line on a terminal.
#include <ostream>
#include <string>

#include "console/main.h"

namespace qv::cli {

class ProgressView : public MainView {
 public:
  ProgressView(const TFrmMain& main, std::ostream& out, int width) : main_(main), out_(out), width_(width) {}
  void Changed(What what) override;
  // Takes the bar off the line, before anything else is printed there.
  void Erase();

 private:
  const TFrmMain& main_;
  std::ostream& out_;
  int width_;
  std::string shown_;
};

// The width for the bar on the terminal at `fd`.
int TerminalWidth(int fd);

}  // namespace qv::cli
