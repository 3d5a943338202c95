#pragma once
#include <string>

#include "console/main.h"

namespace qv::test {

// Start-up options for a test: no processor binding, no serial port listed
// (`folder` stands in for the device folder and holds none), and the
// program's own files kept inside `folder` instead of beside the test binary.
inline StartupOptions QuietStartup(const std::string& folder) {
  StartupOptions options;
  options.bindToOneProcessor = false;
  options.sysClassTty = folder;
  options.programFolder = folder;
  options.userDataFolder = folder + "/user-data/";
  return options;
}

}  // namespace qv::test
