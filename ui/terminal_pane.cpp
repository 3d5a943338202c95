#include "ui/terminal_pane.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>
#include <limits>

#include "console/text.h"
#include "ui/fonts.h"
#include "ui/naming.h"

namespace qv::ui {

namespace {
constexpr size_t kClean = std::numeric_limits<size_t>::max();
}

QString DisplayLine(const std::string& gbk) { return Q(Utf8AsShown(gbk)); }

TerminalPane::TerminalPane(TextPane& pane, QWidget* parent)
    : QPlainTextEdit(parent), pane_(pane), dirtyFrom_(0), popup_(new QMenu(this)) {
  setReadOnly(true);
  setUndoRedoEnabled(false);
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setFont(CjkFixedFont(12));
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

  popup_->setObjectName(QStringLiteral("PopupMenu1"));
  QAction* copy = popup_->addAction(QStringLiteral("Copy(C)"), this, &QPlainTextEdit::copy);
  copy->setObjectName(QStringLiteral("Copy1"));
  popup_->addSeparator();
  QAction* empty = popup_->addAction(QStringLiteral("Empty (D)"), this, &TerminalPane::emptyRequested);
  empty->setObjectName(QStringLiteral("Empty1"));

  flushTimer_.setSingleShot(true);
  flushTimer_.setInterval(0);
  connect(&flushTimer_, &QTimer::timeout, this, &TerminalPane::Flush);

  pane_.AddListener(this);
  if (pane_.LineCount() > 0) flushTimer_.start();
  else dirtyFrom_ = kClean;
}

TerminalPane::~TerminalPane() { pane_.RemoveListener(this); }

void TerminalPane::PaneChanged(size_t firstLine) {
  dirtyFrom_ = std::min(dirtyFrom_, firstLine);
  if (!flushTimer_.isActive()) flushTimer_.start();
}

void TerminalPane::Flush() {
  flushTimer_.stop();
  if (dirtyFrom_ == kClean) return;
  const std::vector<std::string>& lines = pane_.Lines();
  const size_t from = std::min({dirtyFrom_, shown_, lines.size()});
  dirtyFrom_ = kClean;

  QTextDocument* doc = document();
  QTextCursor cursor(doc);
  if (from == 0) {
    cursor.setPosition(0);
  } else if (from < shown_) {
    // From the line break in front of the first changed line.
    cursor.setPosition(doc->findBlockByNumber(static_cast<int>(from)).position() - 1);
  } else {
    cursor.movePosition(QTextCursor::End);
  }
  cursor.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);

  QString text;
  for (size_t i = from; i < lines.size(); ++i) {
    if (i > 0) text += QLatin1Char('\n');
    text += DisplayLine(lines[i]);
  }
  cursor.insertText(text);  // replaces the selection
  shown_ = lines.size();

  // The pane follows the newest output.
  QTextCursor end(doc);
  end.movePosition(QTextCursor::End);
  setTextCursor(end);
  ensureCursorVisible();
}

void TerminalPane::contextMenuEvent(QContextMenuEvent* event) {
  popup_->actions().front()->setEnabled(textCursor().hasSelection());
  popup_->exec(event->globalPos());
}

}  // namespace qv::ui
