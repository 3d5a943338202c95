#pragma once
// Finding a drive's family from its own report: the drive names its family
// word and firmware word on a "_Disk" line and its mask ROM revision on a
// "Mask Rom Rev" line; keys built from them are looked for in the family
// names, most specific first.
#include <string>
#include <string_view>
#include <vector>

#include "console/controls.h"

namespace qv {

class TFrmMain;

struct FamilyReport {
  std::string W1;  // family word: the "_Disk" line up to its first space
  std::string R;   // mask ROM revision: after the "=" of the "Mask Rom Rev" line
  std::string W2;  // firmware word: after "_Disk", up to the next space

  // W1_R_W2 in upper case, built even when parts are empty; names the
  // folder a backup of this drive goes to.
  std::string TypeName() const;
  // The trimmed type name as the last part of a folder (FolderNameFor): the
  // folder a backup of this drive goes to, and where a load looks for it.
  std::string FolderName() const;
  // W1_R_W2, W1_W2, W1_R, W1 in that order and upper case, each only when
  // the parts it needs are known.
  std::vector<std::string> Keys() const;
};

// A firmware type name as the last part of a folder: characters that would
// leave the folder or can't be in a name become '_'.
std::string FolderNameFor(std::string_view typeName);

// Reads the report from the drive's lines (UTF-8 or ASCII), in order; a later
// matching line replaces what an earlier one gave.
FamilyReport ParseFamilyReport(const std::vector<std::string>& lines);

// Asks the drive for its report (Ctrl-A, Ctrl-L, CR) with the receive mode
// "syscmd" and reads it from the capture buffer, which it empties first and
// leaves holding the replies.
FamilyReport QueryFamilyReport(TFrmMain& main);

// Selects the first name of the list that contains the first key that occurs
// in any name. False, and the selection unchanged, when no key occurs.
bool SelectFamily(ListControl& list, const FamilyReport& report);

}  // namespace qv
