#include "ui/app_windows.h"

#include "ui/procedure_groups.h"

namespace qv::ui {

// Members go in reverse order of declaration: the secondary windows, the main
// window, the console (which closes its link and ends the receive thread) and
// last the pump, so no window outlives the console it calls and the link's
// wake hook never reaches a destroyed pump.
AppWindows::~AppWindows() = default;

std::unique_ptr<AppWindows> CreateWindows(const StartupOptions& options) {
  auto app = std::make_unique<AppWindows>();
  app->main = std::make_unique<TFrmMain>(app->pump, app->dialogs);
  // Before any port is opened: the start-up probe opens one.
  app->pump.Attach(*app->main);

  // 1. TFrmMain
  app->mainWindow = std::make_unique<MainWindow>(*app->main);
  app->dialogs.SetParent(app->mainWindow.get());
  app->main->FormCreate(options);

  // 2. TForm1 ... 8. TForm7: one line each, in this order.
  app->form1 = std::make_unique<Form1CreateFile>(app->dialogs);
  app->mainWindow->AddWindowMenuEntry(app->form1->windowTitle(), app->form1.get(), false);
  app->form4 = std::make_unique<Form4Batch>(*app->main);
  SetLoadingProcessWindow(*app->mainWindow,
                          [windows = app.get()] { ShowBatchWindow(*windows->mainWindow, *windows->form4); });
  app->form5 = std::make_unique<Form5IdEditor>(*app->main);
  app->mainWindow->AddWindowMenuEntry(app->form5->windowTitle(), app->form5.get(), true);
  app->form6 = std::make_unique<Form6Backup>(*app->main);
  app->mainWindow->AddWindowMenuEntry(app->form6->windowTitle(), app->form6.get(), false);

  return app;
}

}  // namespace qv::ui
