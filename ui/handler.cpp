#include "ui/handler.h"

#include <exception>

#include "console/dialogs.h"
#include "lang/translate.h"

namespace qv::ui {

void RunHandler(Dialogs& dialogs, const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& e) {
    dialogs.ShowMessage(e.what());
  } catch (...) {
    dialogs.ShowMessage(Tr("操作因未知错误而中止。"));
  }
}

}  // namespace qv::ui
