#pragma once
// Building a file from sector ranges of two others: a range of 512-byte
// sectors of source 1 followed by a range of source 2. The file window, the
// batch keyword CREAT_FILE and the firmware backup all build files this way.
#include <cstdint>
#include <stdexcept>
#include <string>

namespace qv {

inline constexpr int64_t kSectorSize = 512;
// Offsets and sizes are 32-bit signed on the drive tools' side; anything that
// would not fit is refused instead of wrapping around.
inline constexpr int64_t kMaxFileBytes = INT32_MAX;

// A sector range or a file too large to handle; the message says which.
class ERangeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The seven texts of a request. Starts and counts are hexadecimal sector
// numbers without prefix; blanks around them are ignored.
struct CutJoinRequest {
  std::string source1, start1, count1;
  std::string source2, start2, count2;
  std::string output;
};

// Copies up to count1 whole sectors of source1 from start1, then up to count2
// whole sectors of source2 from start2, into output (created or replaced).
// A source that is empty or does not exist is skipped; a count beyond the end
// copies only the whole sectors that are there. Only those sectors are read.
//
// Everything needed is read before the output is touched, so the output may
// be one of the sources. Returns true when the output was completely written;
// false when a source cannot be read (a folder, a pipe, no permission: `why`
// then says which and why) or the output cannot be created or written
// (nothing is then reported as done). A start or count that is not
// hexadecimal raises EConvertError; negative values, offsets of 2^31 bytes or
// more and files that large raise ERangeError. Neither error touches the output.
bool CutAndJoin(const CutJoinRequest& request, std::string* why = nullptr);
bool CutAndJoin(const std::string& source1, const std::string& start1, const std::string& count1,
                const std::string& source2, const std::string& start2, const std::string& count2,
                const std::string& output);

// Number of whole sectors in a file of `bytes` bytes, as upper-case hexadecimal
// without leading zeros ("0" for none).
std::string SectorCountText(uint64_t bytes);

// Reads a start or count text (trimmed hexadecimal). Raises EConvertError.
int32_t SectorNumber(const std::string& text);

}  // namespace qv
