#include "ui/procedure_groups.h"

namespace qv::ui {

// The procedure families arrive with the repair procedures; until then the
// area stays empty rather than holding buttons that do nothing.
void AddProcedureGroups(QWidget*, MainWindow&, TFrmMain&) {}

}  // namespace qv::ui
