// Renders the README's pictures: the main window with the simulated drive
// open and a few replies in the pane, the backup window, and the comparison
// window with two backup folders compared and a differing module picked. The windows are
// the program's own, created as at start-up and drawn offscreen, so the
// pictures follow every change of the layout; scripts/screenshots.sh runs it.
// Usage: quorvane-screenshots OUTPUT_FOLDER [zh|en]
//   zh (the default) writes main-window.png ..., en the same windows in
//   English as main-window-en.png ...
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <string>

#include "console/language_setup.h"
#include "console/own_files.h"
#include "files/file_io.h"
#include "ui/app_windows.h"

namespace {

// Handles events until `done` holds or three seconds have passed.
bool PumpUntil(const std::function<bool()>& done) {
  QElapsedTimer timer;
  timer.start();
  while (!done() && timer.elapsed() < 3000) {
    QCoreApplication::processEvents();
    QThread::msleep(5);
  }
  return done();
}

void Type(QWidget* target, int key, const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
  QApplication::sendEvent(target, &press);
  QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
  QApplication::sendEvent(target, &release);
}

bool LastLineIs(const qv::TFrmMain& main, const char* text) {
  const auto& lines = main.memo1.Lines();
  return !lines.empty() && lines.back() == text;
}

// Types a command into CMD and waits for the drive's prompt after it.
bool Command(qv::TFrmMain& main, QWidget* cmd, const QString& line, const char* prompt) {
  for (QChar c : line) Type(cmd, c.isLetter() ? Qt::Key_A + (c.toUpper().unicode() - 'A') : c.unicode(), QString(c));
  const size_t lines = main.memo1.LineCount();
  Type(cmd, Qt::Key_Return, QStringLiteral("\r"));
  return PumpUntil([&] { return main.memo1.LineCount() > lines && LastLineIs(main, prompt); });
}

bool Save(QWidget* window, const QDir& folder, const QString& name) {
  QCoreApplication::processEvents();
  const QString path = folder.filePath(name);
  if (window->grab().save(path, "PNG")) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
  return false;
}

// Two backup folders of one family, a donor's and a patient's: the same APP
// and table, a certification module with a few bytes changed, and each
// drive's own SN.TXT.
bool MakeBackups(const QDir& scratch) {
  std::string app(4096, '\0'), cert(8192, '\0'), table(1024, '\0');
  for (size_t i = 0; i < app.size(); ++i) app[i] = static_cast<char>(i * 31 + i / 512);
  for (size_t i = 0; i < cert.size(); ++i) cert[i] = static_cast<char>(i * 7 + 0x40);
  for (size_t i = 0; i < table.size(); ++i) table[i] = static_cast<char>(i / 16);
  std::string patientCert = cert;
  for (size_t at : {0x124u, 0x125u, 0x12Bu, 0x1F0u}) patientCert[at] = static_cast<char>(~patientCert[at]);
  const struct {
    const char* folder;
    const char* name;
    std::string bytes;
  } files[] = {
      {"donor", "APP.BIN", app},        {"donor", "CERT.BIN", cert},          {"donor", "Table.BIN", table},
      {"donor", "SN.TXT", "QV0000000001\r\n"}, {"patient", "APP.BIN", app}, {"patient", "CERT.BIN", patientCert},
      {"patient", "Table.BIN", table},  {"patient", "SN.TXT", "QV0000000002\r\n"},
  };
  for (const auto& f : files) {
    if (!scratch.mkpath(QString::fromUtf8(f.folder))) return false;
    const std::string path = scratch.filePath(QString::fromUtf8(f.folder)).toStdString() + "/" + f.name;
    if (!qv::WriteFileBytes(path, f.bytes)) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string language = argc == 3 ? argv[2] : "zh";
  if ((argc != 2 && argc != 3) || (language != "zh" && language != "en")) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [zh|en]\n", argv[0]);
    return 2;
  }
  const bool english = language == "en";
  // Drawn offscreen unless a platform was chosen; no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  // The catalogue lies beside this program in the build folder.
  if (english)
    qv::UseLanguage(qv::Language::English,
                    qv::CatalogueFolder(qv::ProgramFolder()));
  const QString suffix = english ? QStringLiteral("-en.png") : QStringLiteral(".png");
  const QDir out(QString::fromLocal8Bit(argv[1]));
  QTemporaryDir scratch;
  if (!out.exists() || !scratch.isValid()) {
    std::fprintf(stderr, "no folder %s\n", argv[1]);
    return 1;
  }

  // Only SIM in the port list, whatever this machine has, and the program's
  // own files in a scratch folder.
  qv::StartupOptions options;
  options.bindToOneProcessor = false;
  options.sysClassTty = scratch.filePath(QStringLiteral("no-tty")).toStdString();
  options.programFolder = scratch.path().toStdString() + "/";
  options.userDataFolder = scratch.path().toStdString() + "/user-data/";
  const auto windows = qv::ui::CreateWindows(options);
  qv::ui::MainWindow& window = *windows->mainWindow;
  qv::TFrmMain& main = *windows->main;
  window.show();

  window.findChild<QComboBox*>(QStringLiteral("ComboBox1"))->setCurrentText(QStringLiteral("SIM"));
  window.findChild<QPushButton*>(QStringLiteral("btnSwitch"))->click();
  QWidget* cmd = window.findChild<QWidget*>(QStringLiteral("CMD"));
  if (!main.PortOpen() || !cmd) {
    std::fprintf(stderr, "SIM did not open\n");
    return 1;
  }
  cmd->setFocus();
  Type(cmd, Qt::Key_Z, QStringLiteral("\x1A"), Qt::ControlModifier);
  const bool answered = PumpUntil([&] { return LastLineIs(main, "F3 T>"); }) &&
                        Command(main, cmd, QStringLiteral("/2"), "F3 2>") &&
                        Command(main, cmd, QStringLiteral("x"), "F3 2>");
  if (!answered) {
    std::fprintf(stderr, "the simulated drive did not answer\n");
    return 1;
  }
  if (!Save(&window, out, QStringLiteral("main-window") + suffix)) return 1;

  // The save folder an installed program starts with, for a user named
  // "user": the scratch folder's random name would change every picture.
  windows->form6->findChild<QLineEdit*>(QStringLiteral("Edit1"))
      ->setText(QStringLiteral("/home/user/.local/share/quorvane/"));
  windows->form6->show();
  if (!Save(windows->form6.get(), out, QStringLiteral("backup-window") + suffix)) return 1;
  windows->form6->close();

  // The comparison of a donor's backup with a patient's, the differing
  // module picked; the folders shown as a technician's would be named.
  const QDir backups(scratch.filePath(QStringLiteral("backups")));
  if (!MakeBackups(backups)) {
    std::fprintf(stderr, "cannot write the backup folders\n");
    return 1;
  }
  qv::BackupComparison& compare = windows->comparison->Model();
  compare.Edit1 = backups.filePath(QStringLiteral("donor")).toStdString();
  compare.Edit2 = backups.filePath(QStringLiteral("patient")).toStdString();
  windows->comparison->show();
  if (!compare.Button3Click()) return 1;
  while (compare.CompareNext()) {
  }
  for (size_t row = 0; row < compare.ListView1.size(); ++row)
    if (compare.ListView1[row].name == "CERT.BIN") compare.Pick(static_cast<int>(row));
  const QString home = english ? QStringLiteral("/home/user/backups/") : QStringLiteral("/home/user/备份/");
  windows->comparison->findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(home + QStringLiteral("donor/"));
  windows->comparison->findChild<QLineEdit*>(QStringLiteral("Edit2"))->setText(home + QStringLiteral("patient/"));
  if (!Save(windows->comparison.get(), out, QStringLiteral("compare-window") + suffix)) return 1;
  windows->comparison->close();
  window.close();
  return 0;
}
