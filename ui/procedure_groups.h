#pragma once
// The procedure buttons of the main window's lower panel, grouped by family.
class QWidget;

namespace qv {
class TFrmMain;
namespace ui {
class MainWindow;

// Fills `area` (a widget inside Panel2 with no layout of its own yet) with the
// procedure buttons and the edit boxes that feed them.
void AddProcedureGroups(QWidget* area, MainWindow& window, TFrmMain& main);

}  // namespace ui
}  // namespace qv
