#pragma once
// The procedure buttons of the main window's lower panel, grouped by family.
#include <QString>
#include <functional>

class QWidget;

namespace qv {
class TFrmMain;
struct ButtonDef;
namespace ui {
class MainWindow;

// A command button's caption in the technician's language (most are drive
// terms, the same in both), and its tooltip: the caption, what it sends, one
// command a line, and the question it asks first.
QString ButtonCaption(const ButtonDef& def);
QString ButtonTooltip(const ButtonDef& def);

// Fills `area` (a widget inside Panel2 with no layout of its own yet) with the
// procedure buttons and the edit boxes that feed them.
void AddProcedureGroups(QWidget* area, MainWindow& window, TFrmMain& main);

// Binds "Loading process" (Button83) to what opens the batch window. The
// button stays disabled until this is called.
void SetLoadingProcessWindow(MainWindow& window, std::function<void()> open);

}  // namespace ui
}  // namespace qv
