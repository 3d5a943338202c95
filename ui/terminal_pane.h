#pragma once
// The terminal pane `memo1`: a read-only plain-text view of the console's
// TextPane. It redraws only the lines that changed, so it stays quick with a
// million lines in it, and always follows the newest output.
#include <QPlainTextEdit>
#include <QTimer>
#include <cstddef>

#include "console/text_store.h"

class QMenu;

namespace qv::ui {

class TerminalPane : public QPlainTextEdit, private TextPane::Listener {
  Q_OBJECT
 public:
  TerminalPane(TextPane& pane, QWidget* parent);
  ~TerminalPane() override;

  // Brings the view up to date now (normally it happens when the event loop
  // next runs, once for any number of changes).
  void Flush();
  QMenu* PopupMenu() const { return popup_; }

 signals:
  void emptyRequested();  // "Empty (D)"

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void PaneChanged(size_t firstLine) override;

  TextPane& pane_;
  size_t shown_ = 0;  // lines in the view
  size_t dirtyFrom_;
  QTimer flushTimer_;
  QMenu* popup_;
};

// A GBK line of the pane as display text; control bytes become visible symbols.
QString DisplayLine(const std::string& gbk);

}  // namespace qv::ui
