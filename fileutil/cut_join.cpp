#include "fileutil/cut_join.h"

#include <algorithm>
#include <cstdint>
#include <limits>

#include "console/convert.h"
#include "console/text.h"
#include "files/file_io.h"
#include "lang/translate.h"

namespace qv {

namespace {

// Only the ranges are ever read, so a source may be of any size.
constexpr uint64_t kNoSizeLimit = std::numeric_limits<uint64_t>::max();

struct Range {
  const std::string* path = nullptr;
  int32_t start = 0;
  int32_t count = 0;
  bool used = false;
};

// Converts and checks a source's range before anything is read or written.
Range PrepareRange(const std::string& path, const std::string& startText, const std::string& countText) {
  Range range;
  if (path.empty() || CheckInputFile(path, kNoSizeLimit).trouble.kind == FileTrouble::Kind::Missing) return range;
  range.path = &path;
  range.start = SectorNumber(startText);
  range.count = SectorNumber(countText);
  if (range.start < 0 || range.count < 0)
    throw ERangeError(TrFormat("截取范围无效：开始扇区 {1}、扇区数 {2} 不能为负数！", Trim(startText), Trim(countText)));
  if (range.start * kSectorSize > kMaxFileBytes)
    throw ERangeError(TrFormat("截取范围无效：开始扇区 {1} 超出2GB（2^31字节）的处理上限！", Trim(startText)));
  range.used = true;
  return range;
}

// Appends the whole sectors of the range that the file holds, and no more of
// it; false, saying why, when the file cannot be opened or read.
bool ReadRange(const Range& range, std::string& out, std::string& why) {
  InputFile file(*range.path);
  if (!file.IsOpen()) {
    why = CannotReadMessage(*range.path, file.Trouble());
    return false;
  }
  const int64_t size = static_cast<int64_t>(std::min<uint64_t>(file.Size(), INT64_MAX));
  const int64_t offset = range.start * kSectorSize;
  int64_t sectors = offset < size ? (size - offset) / kSectorSize : 0;
  if (sectors > range.count) sectors = range.count;
  const int64_t bytes = sectors * kSectorSize;
  if (bytes == 0) return true;
  if (offset + bytes > kMaxFileBytes)
    throw ERangeError(TrFormat("文件{1}的截取范围超出2GB（2^31字节）的处理上限！", *range.path));
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(bytes));
  const int64_t got = file.ReadAt(static_cast<uint64_t>(offset), out.data() + at, static_cast<size_t>(bytes));
  if (got != bytes) {
    out.resize(at);
    why = got < 0 ? CannotReadMessage(*range.path, file.Trouble())
                  : TrFormat("文件“{1}”在读取时变短了，截取范围已不完整！", *range.path);
    return false;
  }
  return true;
}

}  // namespace

int32_t SectorNumber(const std::string& text) { return HexToInt(Trim(text)); }

std::string SectorCountText(uint64_t bytes) {
  return IntToHex(static_cast<uint32_t>(bytes / static_cast<uint64_t>(kSectorSize)));
}

bool CutAndJoin(const CutJoinRequest& r, std::string* why) {
  // Both ranges are checked before anything is read, and both are read
  // before the output is created: creating it first would empty a source
  // that is also the output.
  const Range first = PrepareRange(r.source1, r.start1, r.count1);
  const Range second = PrepareRange(r.source2, r.start2, r.count2);
  std::string data;
  std::string problem;
  if ((first.used && !ReadRange(first, data, problem)) || (second.used && !ReadRange(second, data, problem))) {
    if (why) *why = problem;
    return false;
  }
  if (static_cast<int64_t>(data.size()) > kMaxFileBytes)
    throw ERangeError(Tr("生成的文件超过2GB（2^31字节）的处理上限！"));
  return WriteFileBytes(r.output, data);
}

bool CutAndJoin(const std::string& source1, const std::string& start1, const std::string& count1,
                const std::string& source2, const std::string& start2, const std::string& count2,
                const std::string& output) {
  return CutAndJoin(CutJoinRequest{source1, start1, count1, source2, start2, count2, output});
}

}  // namespace qv
