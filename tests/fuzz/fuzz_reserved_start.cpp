// The drive's answers that name where its reserved area starts: "%" and "x".
#include "console/convert.h"
#include "console/text_store.h"
#include "procedures/sys_area.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<std::string_view> lines =
      qv::SplitLines(std::string_view(reinterpret_cast<const char*>(data), size));
  for (auto read : {qv::ReservedStartFromPercentReply, qv::ReservedStartFromDirectory}) {
    try {
      read(lines);
    } catch (const qv::EConvertError&) {
    }
  }
  return 0;
}
