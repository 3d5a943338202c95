#pragma once
// Puts a device into the console's port bar and opens it with the open
// button, as a technician would, for tests and benchmarks.
#include <string>

#include "console/main.h"

namespace qv::test {

// The device as the only port, all eight rates offered (9600 selected), the
// transfer rate list at the highest.
void SetPortBar(TFrmMain& main, const std::string& device);
// SetPortBar, then the rate selected and the open button pressed; true when the port is open.
bool OpenWithButton(TFrmMain& main, const std::string& device, const std::string& rate);

}  // namespace qv::test
