#pragma once
// Where the drive's reserved system area begins, as the firmware backup needs it.
#include <string>
#include <string_view>
#include <vector>

namespace qv {

class TFrmMain;

// Asks the drive with "%" (and, at level T when that names nothing, with "x"
// at level 2) and returns the start cylinder as upper-case hexadecimal
// without leading zeros, or an empty text when the drive names none. A named
// value that is not hexadecimal raises EConvertError; the receive mode is
// restored on every path.
std::string GetSysB(TFrmMain& main);

// The start cylinder named by the drive's answer to "%" (a line like
//  : "SYSTEM" 0007F-00083 "RESERVED") or to "x" at level 2 (a "Reserve:" or
// "Sys=" line with a range), from the captured lines; the last such line
// wins, empty when there is none. Raises EConvertError like GetSysB.
std::string ReservedStartFromPercentReply(const std::vector<std::string_view>& lines);
std::string ReservedStartFromDirectory(const std::vector<std::string_view>& lines);

}  // namespace qv
