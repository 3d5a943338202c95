#pragma once
// The console buttons of the lower panel and the two rate buttons of the port bar.
#include <string_view>
#include <vector>

#include "console/button_steps.h"

namespace qv {

const std::vector<ButtonDef>& ConsoleButtons();
const std::vector<ButtonDef>& PortBarButtons();  // "B115200", "B38400"
// The definition with this control name, or nullptr.
const ButtonDef* FindButton(const std::vector<ButtonDef>& table, std::string_view name);

}  // namespace qv
