#pragma once
// Runs a click or key handler of the console. An exception that escapes it (a
// text that is not a number, a file that cannot be written, ...) is shown as
// a message box with its message, the way the platform reports it, and the
// program goes on.
#include <functional>

namespace qv {
class Dialogs;
namespace ui {

void RunHandler(Dialogs& dialogs, const std::function<void()>& handler);

}  // namespace ui
}  // namespace qv
