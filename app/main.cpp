// Quorvane: a service tool for hard-disk drives with a diagnostic serial terminal.
#include <QApplication>

#include "console/language_setup.h"
#include "ui/app_windows.h"

int main(int argc, char** argv) {
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
  windows->mainWindow->show();
  const int result = QApplication::exec();
  windows.reset();
  return result;
}
