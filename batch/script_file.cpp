#include "batch/script_file.h"

#include "console/text.h"
#include "files/file_io.h"
#include "lang/translate.h"

namespace qv {

namespace {
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
}  // namespace

std::vector<std::string> SplitScriptText(std::string_view text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    const size_t brk = text.find_first_of("\r\n", start);
    if (brk == std::string_view::npos) {
      lines.emplace_back(text.substr(start));
      break;
    }
    lines.emplace_back(text.substr(start, brk - start));
    start = brk + 1;
    if (text[brk] == '\r' && start < text.size() && text[start] == '\n') ++start;
  }
  return lines;
}

std::vector<std::string> ScriptLinesFromBytes(std::string_view bytes) {
  if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
  if (IsValidUtf8(bytes)) return SplitScriptText(bytes);
  return SplitScriptText(Utf8FromGbk(bytes));
}

std::string ScriptBytesFromLines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += line;
    text += "\r\n";
  }
  const std::string gbk = Gbk(text);
  // GBK stands in '?' for what it cannot hold; keep UTF-8 then. A GBK file
  // that happens to be valid UTF-8 would be misread on loading, so that too
  // is stored as UTF-8 (it reads back the same).
  if (Utf8FromGbk(gbk) != text || (gbk != text && IsValidUtf8(gbk))) return text;
  return gbk;
}

LoadedScript LoadScript(const std::string& path) {
  const FileBytes file = ReadFileBytes(path, kMaxScriptBytes);
  if (!file) return {{}, TrFormat("打开文件{1}失败：{2}！", path, file.trouble.reason)};
  if (file.bytes.empty()) return {{}, TrFormat("脚本文件{1}是空文件，没有可载入的命令！", path)};
  return {ScriptLinesFromBytes(file.bytes), {}};
}

bool SaveScript(const std::string& path, const std::vector<std::string>& lines) {
  return WriteFileBytes(path, ScriptBytesFromLines(lines));
}

}  // namespace qv
