// Quorvane: a service tool for hard-disk drives with a diagnostic serial terminal.
#include <QApplication>

#include "console/language_setup.h"
#include "console/stop_signals.h"
#include "ui/app_windows.h"
#include "ui/stop_on_signals.h"

int main(int argc, char** argv) {
  // Before any thread starts: only this thread takes the stop signals.
  qv::stop_signals::Catch();
  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quorvane"));
  // After QApplication, which sets the locale from the environment.
  qv::SetUpLanguage(std::nullopt, qv::ProgramFolder(), qv::UserDataFolder());
  // Closing the main window ends the program, whatever else is open.
  QApplication::setQuitOnLastWindowClosed(false);

  qv::StartupOptions options;
  options.bindToOneProcessor = true;
  std::unique_ptr<qv::ui::AppWindows> windows = qv::ui::CreateWindows(options);
  QObject::connect(windows->mainWindow.get(), &qv::ui::MainWindow::closed, &application, &QApplication::quit,
                   Qt::QueuedConnection);
  new qv::ui::CloseOnStopSignals(*windows->mainWindow);
  qv::stop_signals::Accept();
  windows->mainWindow->show();
  const int result = QApplication::exec();
  windows.reset();
  // As a shell reports a program a signal ended: 143 for SIGTERM, 129 for SIGHUP.
  return qv::stop_signals::Requests() > 0 ? qv::stop_signals::Status() : result;
}
