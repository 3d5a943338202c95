#pragma once
// The program's windows, created in their fixed order: the main window first
// (its start-up fills the rate and family lists), then each secondary window,
// which copies those lists when it is created. A new window adds a member
// below `mainWindow` and one creation line in CreateWindows; members are
// destroyed in reverse order, so secondary windows go before the console.
#include <memory>

#include "console/main.h"
#include "firmware/family/family_table.h"
#include "ui/backup_comparison_window.h"
#include "ui/form1_create_file.h"
#include "ui/form2_loading.h"
#include "ui/form3_serial_rom.h"
#include "ui/form4_batch.h"
#include "ui/form5_id_editor.h"
#include "ui/form6_backup.h"
#include "ui/form7_head_chart.h"
#include "ui/library_window.h"
#include "ui/main_window.h"
#include "ui/qt_dialogs.h"
#include "ui/qt_event_pump.h"

namespace qv::ui {

struct AppWindows {
  ~AppWindows();

  QtEventPump pump;
  QtDialogs dialogs;
  std::unique_ptr<TFrmMain> main;
  FamilyTable families;  // loaded at start-up; the main window's family list shows its names
  std::unique_ptr<MainWindow> mainWindow;
  // Secondary windows follow here, in creation order.
  std::unique_ptr<Form1CreateFile> form1;
  std::unique_ptr<Form2Loading> form2;
  std::unique_ptr<Form3SerialRom> form3;
  std::unique_ptr<Form4Batch> form4;
  std::unique_ptr<Form5IdEditor> form5;
  std::unique_ptr<Form6Backup> form6;
  std::unique_ptr<Form7HeadChart> form7;
  std::unique_ptr<BackupComparisonWindow> comparison;
  std::unique_ptr<LibraryWindow> library;
};

// Creates the console and the windows and runs the main window's start-up.
std::unique_ptr<AppWindows> CreateWindows(const StartupOptions& options);

}  // namespace qv::ui
