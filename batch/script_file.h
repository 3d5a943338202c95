#pragma once
// Batch script files (".cmd"). They are written in the workstations' code
// page (GBK) with CR LF line ends; a file that is valid UTF-8 is read as
// UTF-8, and CR, LF and CR LF all end a line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The script's lines (UTF-8) from the file's bytes.
std::vector<std::string> ScriptLinesFromBytes(std::string_view bytes);
// The bytes to store for these lines: each line followed by CR LF, in GBK.
// Text that GBK cannot hold is stored as UTF-8 instead, so that nothing the
// technician typed is lost; loading recognises it.
std::string ScriptBytesFromLines(const std::vector<std::string>& lines);

// Splits text at CR LF, CR and LF. A line break at the very end does not
// start another line.
std::vector<std::string> SplitScriptText(std::string_view text);

// The largest script file read: far beyond any script, and still a text an
// editor holds at once.
inline constexpr uint64_t kMaxScriptBytes = 4 * 1024 * 1024;

// A script file's lines, or why it can't be loaded: a message naming the
// file and the reason (it can't be read, it is empty, it is too large).
struct LoadedScript {
  std::vector<std::string> lines;
  std::string error;
};
LoadedScript LoadScript(const std::string& path);
// False when the file cannot be created or written completely.
bool SaveScript(const std::string& path, const std::vector<std::string>& lines);

}  // namespace qv
