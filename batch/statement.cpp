#include "batch/statement.h"

#include <array>
#include <utility>

#include "console/text.h"

namespace qv {

ScriptLine ParseLine(std::string_view line) {
  ScriptLine parsed;
  parsed.text = Trim(line);
  if (parsed.text.empty()) return parsed;
  if (parsed.text.front() == '/') {
    parsed.kind = ScriptLine::Kind::Comment;
    return parsed;
  }
  const size_t slash = parsed.text.find('/');
  if (slash == std::string::npos) {
    parsed.kind = ScriptLine::Kind::Text;
    return parsed;
  }
  parsed.kind = ScriptLine::Kind::Statement;
  parsed.keyword = parsed.text.substr(0, slash);
  parsed.argument = parsed.text.substr(slash + 1);
  return parsed;
}

namespace {
constexpr std::array<std::pair<std::string_view, Keyword>, 15> kKeywords{{
    {"ECHO", Keyword::ECHO},
    {"LEVEL", Keyword::LEVEL},
    {"SLEEP", Keyword::SLEEP},
    {"SPEED", Keyword::SPEED},
    {"BAUDRATE", Keyword::BAUDRATE},
    {"STR", Keyword::STR},
    {"HEX", Keyword::HEX},
    {"DEC", Keyword::DEC},
    {"SEND_FILE", Keyword::SEND_FILE},
    {"R_SECTORS", Keyword::R_SECTORS},
    {"W_SECTORS", Keyword::W_SECTORS},
    {"R_BUF", Keyword::R_BUF},
    {"W_BUF", Keyword::W_BUF},
    {"CREAT_FILE", Keyword::CREAT_FILE},
    {"CMP_FILE", Keyword::CMP_FILE},
}};
}  // namespace

Keyword KeywordOf(std::string_view keyword) {
  for (const auto& [text, value] : kKeywords)
    if (text == keyword) return value;
  return Keyword::None;
}

const std::vector<std::string_view>& KeywordTexts() {
  static const std::vector<std::string_view> texts = [] {
    std::vector<std::string_view> all;
    for (const auto& entry : kKeywords) all.push_back(entry.first);
    return all;
  }();
  return texts;
}

std::string SplitStep(std::string& remainder, std::string* after) {
  const size_t slash = remainder.find('/');
  if (slash == std::string::npos) {
    if (after) *after = remainder;
    return {};
  }
  std::string field = Trim(std::string_view(remainder).substr(0, slash));
  std::string rest = remainder.substr(slash + 1);
  remainder = Trim(rest);
  if (after) *after = std::move(rest);
  return field;
}

SendFileArgs SplitSendFileArgs(std::string_view argument) {
  std::string remainder(argument);
  SendFileArgs args;
  args.blockSize = SplitStep(remainder, &args.file);
  return args;
}

CompareArgs SplitCompareArgs(std::string_view argument) {
  std::string remainder(argument);
  CompareArgs args;
  args.file1 = SplitStep(remainder, &args.file2);
  return args;
}

BufferArgs SplitBufferArgs(std::string_view argument) {
  std::string remainder(argument);
  BufferArgs args;
  args.startBlock = SplitStep(remainder);
  args.blockCount = SplitStep(remainder, &args.file);
  return args;
}

TrackArgs SplitTrackArgs(std::string_view argument) {
  std::string remainder(argument);
  TrackArgs args;
  args.cylinder = SplitStep(remainder);
  args.head = SplitStep(remainder);
  args.buffer = SplitStep(remainder);
  args.chunk = SplitStep(remainder);
  args.startSector = SplitStep(remainder);
  args.sectorCount = SplitStep(remainder);
  const size_t slash = remainder.find('/');
  args.file = slash == std::string::npos ? remainder : remainder.substr(slash + 1);
  return args;
}

CutJoinRequest SplitCreateFileArgs(std::string_view argument) {
  std::string remainder(argument);
  CutJoinRequest request;
  request.source1 = SplitStep(remainder);
  request.start1 = SplitStep(remainder);
  request.count1 = SplitStep(remainder);
  request.source2 = SplitStep(remainder);
  request.start2 = SplitStep(remainder);
  request.count2 = SplitStep(remainder);
  request.output = remainder;
  return request;
}

}  // namespace qv
