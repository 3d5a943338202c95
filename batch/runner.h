#pragma once
// Carrying out one batch statement through the console's own routines; the
// runner has no serial code of its own.
#include "batch/statement.h"

namespace qv {

class TFrmMain;

// Performs the statement's action. Numbers that do not convert raise
// EConvertError; files that cannot be read or written raise the error of the
// called routine. Outcomes the called routines report themselves (no prompt,
// a refused download, a refused rate, a stop) are theirs to show; the result
// says whether the step did what it says: false for a transfer that failed,
// a rate change not done, an F-level switch the drive did not make, two
// files CMP_FILE finds different. Non-statements and unknown keywords do
// nothing and succeed.
bool RunStatement(TFrmMain& main, const ScriptLine& line);

}  // namespace qv
