#pragma once
// Where the drive's reserved system area begins, as the firmware backup needs it.
#include <string>

namespace qv {

class TFrmMain;

// Asks the drive with "%" (and, at level T when that names nothing, with "x"
// at level 2) and returns the start cylinder as upper-case hexadecimal
// without leading zeros, or an empty text when the drive names none. A named
// value that is not hexadecimal raises EConvertError; the receive mode is
// restored on every path.
std::string GetSysB(TFrmMain& main);

}  // namespace qv
