#include "transfer/file_io.h"

#include "console/convert.h"
#include "files/file_io.h"

namespace qv {

std::vector<uint8_t> ReadWholeFile(const std::string& path, uint64_t maxBytes) {
  const FileBytes file = ReadFileBytes(path, maxBytes);
  if (!file) throw EFileError(CannotReadMessage(path, file.trouble));
  return {file.bytes.begin(), file.bytes.end()};
}

void WriteWholeFile(const std::string& path, const uint8_t* data, size_t size) {
  const FileTrouble trouble = WriteFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
  if (trouble) throw EFileError(CannotWriteMessage(path, trouble));
}

}  // namespace qv
