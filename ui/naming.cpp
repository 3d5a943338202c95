#include "ui/naming.h"

#include <QLabel>
#include <QWidget>

#include "ui/tr.h"

namespace qv::ui {

void Name(QWidget* widget, const char* controlName, const QString& accessibleName) {
  widget->setObjectName(QString::fromLatin1(controlName));
  widget->setAccessibleDescription(QString::fromLatin1(controlName));
  widget->setAccessibleName(accessibleName);
}

void NameWindow(QWidget* window, const char* className) {
  window->setObjectName(QString::fromLatin1(className));
  window->setAccessibleDescription(QString::fromLatin1(className));
  window->setAccessibleName(window->windowTitle());
}

QLabel* NamedLabel(QWidget* parent, const char* name, const char* text, const QRect& geometry) {
  return NamedLabel(parent, name, QTr(text), geometry);
}

QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry) {
  auto* label = new QLabel(text, parent);
  Name(label, name, label->text());
  label->setGeometry(geometry);
  return label;
}

}  // namespace qv::ui
