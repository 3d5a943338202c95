#pragma once
// The runner's firmware library operations, without a drive: one line per
// backup, module, donor or added folder, fields separated by tabs, then a
// line that counts them.
#include <string>

#include "batch/cli_options.h"

namespace qv {

struct LibraryReport {
  std::string text;
  int status = kExitDone;  // kExitFailed when something was refused or damaged; kExitUsage when the library cannot be opened
};

// `userDataFolder` holds the settings that name the library when --library does not.
LibraryReport RunLibraryOperation(const BatchOptions& options, const std::string& userDataFolder);

}  // namespace qv
