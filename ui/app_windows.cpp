#include "ui/app_windows.h"

#include "library/library_settings.h"
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
  LoadFamilyTable(*app->main, app->families);

  // 2. TForm1 ... 10. LibraryWindow, in this order; the "窗口" menu lists them in
  // the same order, all but the batch window, which "Loading process" opens.
  // 2. TForm1 "创建文件"
  app->form1 = std::make_unique<Form1CreateFile>(app->dialogs);
  app->mainWindow->AddWindowMenuEntry(app->form1->windowTitle(), app->form1.get(), false);
  // 3. TForm2 "F级引导": not modal, so that STOP on the main window stays within reach.
  app->form2 = std::make_unique<Form2Loading>(*app->main, app->families);
  app->mainWindow->AddWindowMenuEntry(app->form2->windowTitle(), app->form2.get(), false);
  // 4. TForm3 "串行ROM读写": not modal, so that STOP on the main window stays within reach.
  app->form3 = std::make_unique<Form3SerialRom>(*app->main);
  app->mainWindow->AddWindowMenuEntry(app->form3->windowTitle(), app->form3.get(), false);
  // 5. TForm4 "Quorvane 自定义批处理流程"
  app->form4 = std::make_unique<Form4Batch>(*app->main);
  SetLoadingProcessWindow(*app->mainWindow,
                          [windows = app.get()] { ShowBatchWindow(*windows->mainWindow, *windows->form4); });
  // 6. TForm5 "HDD ID 编辑"
  app->form5 = std::make_unique<Form5IdEditor>(*app->main);
  app->mainWindow->AddWindowMenuEntry(app->form5->windowTitle(), app->form5.get(), true);
  // 7. TForm6 "备份固件"
  app->form6 = std::make_unique<Form6Backup>(*app->main, app->families);
  app->mainWindow->AddWindowMenuEntry(app->form6->windowTitle(), app->form6.get(), false);
  // 8. TForm7 "磁头序列号表"
  app->form7 = std::make_unique<Form7HeadChart>(app->main->ownFiles, app->dialogs);
  app->mainWindow->AddWindowMenuEntry(app->form7->windowTitle(), app->form7.get(), false);
  // 9. BackupComparisonWindow "比较备份": needs no drive; not modal, so that both folders stay at hand.
  app->comparison = std::make_unique<BackupComparisonWindow>(app->dialogs);
  app->mainWindow->AddWindowMenuEntry(app->comparison->windowTitle(), app->comparison.get(), false);
  // 10. LibraryWindow "固件库": needs no drive; opens the comparison window on two of its backups.
  app->library = std::make_unique<LibraryWindow>(app->dialogs, app->main->ownFiles.UserDir());
  app->mainWindow->AddWindowMenuEntry(app->library->windowTitle(), app->library.get(), false);
  app->library->Model().onCompare = [windows = app.get()](const std::string& first, const std::string& second) {
    BackupComparison& compare = windows->comparison->Model();
    compare.Edit1 = first;
    compare.Edit2 = second;
    if (!compare.Button3Click()) return;
    windows->comparison->show();
    windows->comparison->raise();
    windows->comparison->activateWindow();
  };
  // A backup that completes goes into the library, which the window then shows.
  app->form6->Model().onBackupDone = [windows = app.get(), add = AutoAddHook(*app->main)](const std::string& folder) {
    add(folder);
    if (windows->library->isVisible()) windows->library->Model().Refresh();
  };

  return app;
}

}  // namespace qv::ui
