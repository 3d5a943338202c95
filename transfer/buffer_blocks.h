#pragma once
// The buffer read's block loop, shared by every read that fetches whole
// buffer blocks as dumps (the buffer read, the fast ROM read).
#include <cstdint>
#include <vector>

namespace qv {

class TFrmMain;

// Fetches buffer blocks first .. end-1 with one "B" command each, the
// expected dump address starting afresh for every block, appends their bytes
// to `output` and steps ProgressBar1 by one a block. False when the read
// failed: no prompt after a block command, a block that added no bytes (the
// last one included) or the stop flag. The receive mode is R_DATA once a
// block was asked for. A dump that is not hexadecimal raises EConvertError.
bool ReadBufferBlocks(TFrmMain& main, int64_t first, int64_t end, std::vector<uint8_t>& output);

}  // namespace qv
