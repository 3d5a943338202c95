#pragma once
// The 语言 / Language menu: the language of the next start, kept in the
// settings file. Texts are already in place throughout the windows and the
// pane, so the change waits for the next start rather than leave a window
// half in one language.
#include <functional>
#include <string>

class QMenuBar;

namespace qv {
class Dialogs;
}

namespace qv::ui {

// `settingsPath` is asked each time: the folders are set up after the menus.
void AddLanguageMenu(QMenuBar* bar, std::function<std::string()> settingsPath, Dialogs& dialogs);

}  // namespace qv::ui
