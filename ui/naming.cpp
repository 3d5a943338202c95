#include "ui/naming.h"

#include <QWidget>

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

}  // namespace qv::ui
