#include "ui/key_filter.h"

#include <QComboBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLineEdit>

namespace qv::ui {

CharFilter::CharFilter(Accepts accepts, QObject* parent) : QObject(parent), accepts_(accepts) {}

void CharFilter::Watch(QWidget* field) {
  field->installEventFilter(this);
  // An editable list hands keys to its line; a line that has the focus itself gets them first-hand.
  if (auto* list = qobject_cast<QComboBox*>(field); list && list->lineEdit()) list->lineEdit()->installEventFilter(this);
}

bool CharFilter::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::InputMethod) {
    auto* input = static_cast<QInputMethodEvent*>(event);
    QString kept;
    for (const QChar c : input->commitString())
      if (accepts_(c.unicode())) kept += c;
    if (kept != input->commitString())
      input->setCommitString(kept, input->replacementStart(), input->replacementLength());
    return false;
  }
  if (event->type() != QEvent::KeyPress) return QObject::eventFilter(watched, event);
  const auto* key = static_cast<QKeyEvent*>(event);
  switch (key->key()) {
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Delete:  // carries a DEL character on some platforms
      return false;  // the dialog's and the editor's own keys
    default:
      break;
  }
  if (key->modifiers() & Qt::ControlModifier) {
    // Copy and paste only; cut, undo and the like would change the text
    // around the filter.
    return !(key->key() == Qt::Key_C || key->key() == Qt::Key_V);
  }
  const QString text = key->text();
  if (text.isEmpty()) return false;  // arrows, Home, End: editing, not typing
  return !accepts_(text.at(0).unicode());
}

}  // namespace qv::ui
