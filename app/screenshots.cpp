// Renders the README's pictures: the main window with the simulated drive
// open and a few replies in the pane, and the backup window. The windows are
// the program's own, created as at start-up and drawn offscreen, so the
// pictures follow every change of the layout; scripts/screenshots.sh runs it.
// Usage: quorvane-screenshots OUTPUT_FOLDER
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

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
    return 2;
  }
  // Drawn offscreen unless a platform was chosen; no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
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
  if (!Save(&window, out, QStringLiteral("main-window.png"))) return 1;

  // The save folder an installed program starts with, for a user named
  // "user": the scratch folder's random name would change every picture.
  windows->form6->findChild<QLineEdit*>(QStringLiteral("Edit1"))
      ->setText(QStringLiteral("/home/user/.local/share/quorvane/"));
  windows->form6->show();
  if (!Save(windows->form6.get(), out, QStringLiteral("backup-window.png"))) return 1;
  windows->form6->close();
  window.close();
  return 0;
}
