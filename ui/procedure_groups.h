#pragma once
// The procedure buttons of the main window's lower panel, grouped by family.
#include <functional>

class QWidget;

namespace qv {
class TFrmMain;
namespace ui {
class MainWindow;

// Fills `area` (a widget inside Panel2 with no layout of its own yet) with the
// procedure buttons and the edit boxes that feed them.
void AddProcedureGroups(QWidget* area, MainWindow& window, TFrmMain& main);

// Binds "Loading process" (Button83) to what opens the batch window. The
// button stays disabled until this is called.
void SetLoadingProcessWindow(MainWindow& window, std::function<void()> open);

}  // namespace ui
}  // namespace qv
