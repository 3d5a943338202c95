#pragma once
// The state of the main window's controls that the drive operations read and
// change. The window draws them; tests and the headless runner read them.
#include <string>
#include <vector>

namespace qv {

// A drop-down list: its items and the selected one (-1: none).
struct ListControl {
  std::vector<std::string> items;
  int index = -1;

  std::string Text() const { return index >= 0 && index < static_cast<int>(items.size()) ? items[index] : ""; }
  // Selects the item with this text; none when there is no such item.
  void SelectText(const std::string& text) {
    index = -1;
    for (size_t i = 0; i < items.size(); ++i)
      if (items[i] == text) index = static_cast<int>(i);
  }
  void SelectLast() { index = static_cast<int>(items.size()) - 1; }
};

struct ProgressBar {
  int min = 0;
  int max = 100;
  int position = 0;
};

}  // namespace qv
