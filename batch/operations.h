#pragma once
// The long operations of the windows, run from the command line. Each fills
// in the window's model as a technician fills in the window and presses its
// button, so what goes on the wire, the pane lines and the files are the
// window's own.
#include <string>

#include "batch/cli_options.h"
#include "firmware/loading/form2_loading.h"

namespace qv {

class FamilyTable;
class TFrmMain;

struct OperationResult {
  bool succeeded = false;
  // What the pane lines and message boxes don't say (a family not found);
  // empty otherwise.
  std::string note;
  // What a successful operation made, in one line: a backup's family, drive
  // and files, a ROM read's size and SHA-256.
  std::string summary{};
};

// Runs the operation of `options` (a ROM read or write, a backup or a load)
// on the open port; `families` is the table the main window's family list shows. The transfer rate must be one the main window's rate list
// offers; an empty one takes the window's default. A raised error is shown as
// a message box, as the windows show it. `loadTiming` is the loading window's
// (tests shorten it for the simulated drive).
OperationResult RunOperation(TFrmMain& main, const FamilyTable& families, const BatchOptions& options,
                             LoadTiming loadTiming = {});

// The list position of the family a command line names (in any letter case;
// the table's names are upper case), -1 when the table has none of that name.
int FamilyPosition(const FamilyTable& table, const std::string& name);

// The table as --list-families prints it: where it was read from (`source`,
// empty for the table in memory), then one line per family: its name and the
// module places it gives, tab-separated.
std::string FamilyListing(const FamilyTable& table, const std::string& source);

}  // namespace qv
