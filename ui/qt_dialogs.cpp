#include "ui/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QStringList>

#include "ui/naming.h"

namespace qv::ui {

namespace {
const QString kAppTitle = QStringLiteral("Quorvane");

int Exec(QMessageBox& box) {
  box.setTextFormat(Qt::PlainText);
  return box.exec();
}
}  // namespace

QString QtFilter(const std::string& filter) {
  const QStringList parts = Q(filter).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    // "Bin (*.bin)|*.bin" already names its patterns.
    if (description.contains(QLatin1Char('(')))
      entries << description;
    else
      entries << description + QStringLiteral(" (") + patterns + QLatin1Char(')');
  }
  if (parts.size() == 1 && !parts[0].isEmpty()) entries << parts[0];
  return entries.join(QStringLiteral(";;"));
}

QString DefaultSuffix(const std::string& defaultExt) {
  QString suffix = Q(defaultExt);
  while (suffix.startsWith(QLatin1Char('*')) || suffix.startsWith(QLatin1Char('.'))) suffix.remove(0, 1);
  return suffix;
}

QWidget* QtDialogs::Parent() const {
  if (QWidget* active = QApplication::activeWindow()) return active;
  return parent_.data();
}

void QtDialogs::ShowMessage(const std::string& text) {
  QMessageBox box(QMessageBox::NoIcon, kAppTitle, Q(text), QMessageBox::Ok, Parent());
  Exec(box);
}

void QtDialogs::Warning(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, Q(caption), Q(text), QMessageBox::Ok, Parent());
  Exec(box);
}

bool QtDialogs::AskYesNo(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Question, Q(caption), Q(text), QMessageBox::Yes | QMessageBox::No, Parent());
  Name(box.button(QMessageBox::Yes), "Yes", QStringLiteral("Yes"));
  Name(box.button(QMessageBox::No), "No", QStringLiteral("No"));
  // The questions guard risky drive commands: Enter alone must not start one.
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::No);
  return Exec(box) == QMessageBox::Yes;
}

std::optional<Dialogs::SaveChoice> QtDialogs::ChooseFile(Mode mode, const std::string& filter,
                                                         const std::string& defaultExt, const std::string& fileName) {
  QFileDialog dialog(Parent());
  const bool save = mode != Mode::Open;
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // A file that is added to is not replaced: no question about replacing it.
  dialog.setOption(QFileDialog::DontConfirmOverwrite, mode == Mode::Append);
  const QString filters = QtFilter(filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters.split(QStringLiteral(";;")));
  if (const QString suffix = DefaultSuffix(defaultExt); !suffix.isEmpty()) dialog.setDefaultSuffix(suffix);
  if (!fileName.empty()) dialog.selectFile(Q(fileName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  const qsizetype chosenFilter = dialog.nameFilters().indexOf(dialog.selectedNameFilter());
  return SaveChoice{U8(dialog.selectedFiles().front()), chosenFilter > 0 ? static_cast<size_t>(chosenFilter) : 0};
}

std::optional<std::string> QtDialogs::ChooseOpenFile(const std::string& filter, const std::string& defaultExt,
                                                     const std::string& fileName) {
  const auto choice = ChooseFile(Mode::Open, filter, defaultExt, fileName);
  return choice ? std::optional(choice->path) : std::nullopt;
}

std::optional<std::string> QtDialogs::ChooseSaveFile(const std::string& filter, const std::string& defaultExt,
                                                     const std::string& fileName) {
  const auto choice = ChooseFile(Mode::Save, filter, defaultExt, fileName);
  return choice ? std::optional(choice->path) : std::nullopt;
}

std::optional<Dialogs::SaveChoice> QtDialogs::ChooseSaveTarget(const std::string& filter,
                                                               const std::string& defaultExt,
                                                               const std::string& fileName, bool appends) {
  return ChooseFile(appends ? Mode::Append : Mode::Save, filter, defaultExt, fileName);
}

std::optional<std::string> QtDialogs::ChooseFolder(const std::string& title) {
  const QString folder = QFileDialog::getExistingDirectory(Parent(), Q(title));
  if (folder.isEmpty()) return std::nullopt;
  return U8(folder);
}

}  // namespace qv::ui
