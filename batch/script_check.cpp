#include "batch/script_check.h"

#include <algorithm>
#include <optional>

#include "batch/statement.h"
#include "console/convert.h"
#include "console/text.h"
#include "serial/rates.h"

namespace qv {

namespace {

constexpr const char* kShownOnly = ": the line is shown and does nothing";
constexpr const char* kRunEnds = ": the run ends at this line";

size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The keyword a mistyped one most likely means: the same in another letter
// case or with blanks, or one or two letters off.
std::optional<std::string_view> Meant(std::string_view typed) {
  const std::string wanted = UpperCase(Trim(typed));
  std::optional<std::string_view> best;
  size_t bestDistance = 3;
  for (std::string_view keyword : KeywordTexts()) {
    const size_t distance = EditDistance(wanted, keyword);
    if (distance < bestDistance && distance < keyword.size() / 2 + 1) {
      best = keyword;
      bestDistance = distance;
    }
  }
  return best;
}

// A keyword with blanks around it is quoted, or the blanks would not show.
std::string Shown(std::string_view keyword) {
  if (!keyword.empty() && Trim(keyword) == keyword) return std::string(keyword);
  return "\"" + std::string(keyword) + "\"";
}

bool IsRateText(std::string_view text) {
  return std::any_of(kRates.begin(), kRates.end(), [text](const Rate& r) { return r.text == text; });
}

bool Converts(int32_t (*convert)(std::string_view), std::string_view text) {
  try {
    convert(text);
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

// How many "/"-separated fields a statement needs at least, counting the keyword.
size_t FieldsNeeded(Keyword keyword) {
  switch (keyword) {
    case Keyword::SEND_FILE:
    case Keyword::CMP_FILE: return 3;
    case Keyword::R_BUF:
    case Keyword::W_BUF: return 4;
    case Keyword::R_SECTORS:
    case Keyword::W_SECTORS:
    case Keyword::CREAT_FILE: return 8;
    default: return 2;
  }
}

struct NumberField {
  const char* name;
  const std::string& text;
  bool hexadecimal;
};

class LineChecker {
 public:
  LineChecker(const ScriptLine& line, std::vector<std::string>& notes) : line_(line), notes_(notes) {}

  void Check() {
    if (line_.kind == ScriptLine::Kind::Text) return CheckText();
    if (line_.kind != ScriptLine::Kind::Statement) return;
    const Keyword keyword = KeywordOf(line_.keyword);
    if (keyword == Keyword::None) return Unknown();
    const size_t fields = 2 + static_cast<size_t>(std::count(line_.argument.begin(), line_.argument.end(), '/'));
    if (fields < FieldsNeeded(keyword)) {
      Say(line_.keyword + " needs " + std::to_string(FieldsNeeded(keyword)) + " fields, has " +
          std::to_string(fields));
      return;
    }
    CheckArguments(keyword);
  }

 private:
  void Say(std::string text) { notes_.push_back(std::move(text)); }

  void CheckText() {
    const std::string& text = line_.text;
    const std::string first = text.substr(0, std::min(text.find(' '), text.find('\t')));
    if (KeywordOf(first) != Keyword::None) Say(text + " has no \"/\" after its keyword" + kShownOnly);
  }

  void Unknown() {
    std::string text = Shown(line_.keyword) + " is no keyword" + kShownOnly;
    if (const auto meant = Meant(line_.keyword)) text += " (" + std::string(*meant) + "?)";
    Say(text);
  }

  void Numbers(std::initializer_list<NumberField> fields) {
    for (const NumberField& f : fields) {
      if (Converts(f.hexadecimal ? HexToInt : StrToInt, f.text)) continue;
      Say(line_.keyword + " " + f.name + " '" + f.text + "' is no " + (f.hexadecimal ? "hexadecimal" : "decimal") +
          " number" + kRunEnds);
      return;
    }
  }

  void FileNamed(const std::string& file) {
    if (Trim(file).empty()) Say(line_.keyword + " names no file" + kRunEnds);
  }

  void CheckArguments(Keyword keyword) {
    const std::string& arg = line_.argument;
    switch (keyword) {
      case Keyword::LEVEL:
        if (arg.empty()) Say("LEVEL names no level" + std::string(kRunEnds));
        return;
      case Keyword::SPEED:
      case Keyword::BAUDRATE:
        if (arg.empty()) Say(line_.keyword + " names no rate: 9600");
        else if (!IsRateText(arg)) Say(line_.keyword + " " + arg + " is no rate: 9600");
        return;
      case Keyword::SLEEP: return Numbers({{"time", arg, false}});
      case Keyword::DEC: return Numbers({{"byte", arg, false}});
      case Keyword::HEX: return Numbers({{"byte", arg, true}});
      case Keyword::SEND_FILE: {
        const SendFileArgs a = SplitSendFileArgs(arg);
        Numbers({{"block size", a.blockSize, false}});
        return FileNamed(a.file);
      }
      case Keyword::R_BUF:
      case Keyword::W_BUF: {
        const BufferArgs a = SplitBufferArgs(arg);
        Numbers({{"start block", a.startBlock, true}, {"block count", a.blockCount, true}});
        return FileNamed(a.file);
      }
      case Keyword::R_SECTORS:
      case Keyword::W_SECTORS: return CheckTrack(keyword);
      case Keyword::CMP_FILE: {
        const CompareArgs a = SplitCompareArgs(arg);
        FileNamed(a.file1);
        return FileNamed(a.file2);
      }
      default: return;
    }
  }

  void CheckTrack(Keyword keyword) {
    const TrackArgs a = SplitTrackArgs(line_.argument);
    const std::string buffer = keyword == Keyword::R_SECTORS ? a.buffer : "0";
    Numbers({{"chunk", a.chunk, true},
             {"start sector", a.startSector, true},
             {"sector count", a.sectorCount, true},
             {"buffer", buffer, true}});
    FileNamed(a.file);
    // A field before the file name is dropped; "-" is the usual one in front
    // of a path with folders. Anything else is likely a path cut short.
    std::string remainder = line_.argument;
    for (int step = 0; step < 6; ++step) SplitStep(remainder);
    const size_t slash = remainder.find('/');
    if (slash == std::string::npos) return;
    const std::string dropped = remainder.substr(0, slash);
    if (Trim(dropped) != "-")
      Say(line_.keyword + " drops \"" + dropped + "/\" before the file name: the file is " + a.file);
  }

  const ScriptLine& line_;
  std::vector<std::string>& notes_;
};

}  // namespace

std::vector<ScriptNote> CheckScript(const std::vector<std::string>& lines) {
  std::vector<ScriptNote> notes;
  for (size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> texts;
    LineChecker(ParseLine(lines[i]), texts).Check();
    for (std::string& text : texts) notes.push_back({i + 1, std::move(text)});
  }
  return notes;
}

std::string NoteLine(const ScriptNote& note) { return "line " + std::to_string(note.line) + ": " + note.text; }

}  // namespace qv
