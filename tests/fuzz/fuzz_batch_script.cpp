// A batch script file of any bytes: decoding (GBK or UTF-8, byte-order mark,
// CR/LF mixes), each line's statement and every keyword's argument split.
#include <cstdlib>

#include "batch/script_file.h"
#include "batch/statement.h"
#include "console/text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = qv::ScriptLinesFromBytes(bytes);
  for (const std::string& text : lines) {
    // The script window and the runner show and split these as UTF-8.
    if (!qv::IsValidUtf8(text) || text.find_first_of("\r\n") != std::string::npos) std::abort();
    const qv::ScriptLine line = qv::ParseLine(text);
    if (line.kind != qv::ScriptLine::Kind::Statement) continue;
    qv::KeywordOf(line.keyword);
    qv::SplitSendFileArgs(line.argument);
    qv::SplitBufferArgs(line.argument);
    qv::SplitTrackArgs(line.argument);
    qv::SplitCreateFileArgs(line.argument);
  }
  // Saving keeps every line: loading the saved bytes gives as many lines back.
  if (qv::ScriptLinesFromBytes(qv::ScriptBytesFromLines(lines)).size() != lines.size()) std::abort();
  return 0;
}
