// The drive's answers the backup reads: the buffer query ("?" and "B0", the
// "RD:" lines), the serial number after " AX" in the "%" answer, and the
// model text of the vendor data's ID sector.
#include "console/convert.h"
#include "console/text_store.h"
#include "firmware/backup/backup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string_view> lines = qv::SplitLines(text);
  for (auto read : {qv::BufferAddressFromQuestionReply, qv::BufferAddressFromB0Reply}) {
    try {
      read(lines);
    } catch (const qv::EConvertError&) {
    }
  }
  qv::SerialFromPercentReply(lines);
  qv::VendorModelText(text);
  return 0;
}
