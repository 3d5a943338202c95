#pragma once
// The procedure buttons of the main window's lower panel: single commands,
// multi-step repairs, adaptive changes and identity writes, all as data for
// the step interpreter of the console buttons.
#include <string>
#include <string_view>
#include <vector>

#include "console/button_steps.h"

namespace qv {

// Single commands and short fixed lists, including the level buttons "/2" and
// "/7", the inert "Clear V2" and "Loading process" (the window opens the batch
// window for it; it has no steps here).
const std::vector<ButtonDef>& CatalogueButtons();
// The silent repairs, the V40 clears and the adjustment scripts.
const std::vector<ButtonDef>& RepairButtons();
// Adaptive and register changes, LBA to V4 and the identity writes; these
// read the edit boxes.
const std::vector<ButtonDef>& AdaptiveButtons();
// All three tables in that order.
const std::vector<const ButtonDef*>& ProcedureButtons();
// The procedure button with this control name, or nullptr.
const ButtonDef* FindProcedure(std::string_view name);

// The 8-digit upper-case hexadecimal form of a typed decimal number: text
// that is not a signed 32-bit number counts as 0, a negative number gives
// its two's complement ("1000" -> "000003E8", "-1" -> "FFFFFFFF").
std::string HexOfTyped(std::string_view typed);

}  // namespace qv
