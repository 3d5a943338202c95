#pragma once
// Where the firmware library is and whether a backup that completes goes
// into it by itself: the settings file's "library=FOLDER" (the folder chosen
// in the library window) and "library-auto-add=no" (off; on by default).
#include <functional>
#include <string>

namespace qv {

class TFrmMain;

struct LibrarySettings {
  std::string folder;  // ends in '/'
  bool autoAdd = true;
};

// <user data folder>/library/
std::string DefaultLibraryFolder(const std::string& userDataFolder);
LibrarySettings ReadLibrarySettings(const std::string& userDataFolder);
// False when the settings file cannot be written.
bool SaveLibraryFolder(const std::string& userDataFolder, const std::string& folder);
bool SaveAutoAdd(const std::string& userDataFolder, bool autoAdd);

// A backup that just finished, added to the library at `libraryFolder` with
// a line in the pane saying how it went; a backup whose manifest says it is
// not complete stays out, and the line says so.
void AddFinishedBackup(TFrmMain& main, const std::string& backupFolder, const std::string& libraryFolder);
// What the backup window is told of a backup that succeeded: AddFinishedBackup
// into `libraryFolder` (empty: the one the settings name) unless the
// settings, read then, turn it off.
std::function<void(const std::string&)> AutoAddHook(TFrmMain& main, const std::string& libraryFolder = {});

}  // namespace qv
