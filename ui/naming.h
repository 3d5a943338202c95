#pragma once
// Every control carries its control name as object name and accessible
// description, and a readable accessible name (its caption, or the text of
// the label beside it), so that screen readers, GUI tests (findChild) and
// AT-SPI clients can all find it.
#include <QString>
#include <string>
#include <string_view>

class QLabel;
class QRect;
class QWidget;

namespace qv::ui {

// Names a control: object name and accessible description `controlName`,
// accessible name `accessibleName` (its caption or the label beside it).
void Name(QWidget* widget, const char* controlName, const QString& accessibleName);
// Names a window by its class name ("TFrmMain", "TForm1", ...); its title,
// set before, becomes its accessible name.
void NameWindow(QWidget* window, const char* className);
// A label with its control name, its text as accessible name, at `geometry`;
// a `text` given as a source text (marked with N_) is shown translated.
QLabel* NamedLabel(QWidget* parent, const char* name, const char* text, const QRect& geometry);
QLabel* NamedLabel(QWidget* parent, const char* name, const QString& text, const QRect& geometry);

// The core holds UTF-8 texts; the widgets hold QStrings.
inline QString Q(std::string_view utf8) {
  return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}
inline std::string U8(const QString& text) { return text.toStdString(); }

}  // namespace qv::ui
