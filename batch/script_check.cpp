#include "batch/script_check.h"

#include <algorithm>
#include <optional>

#include "batch/statement.h"
#include "console/convert.h"
#include "console/text.h"
#include "serial/rates.h"

namespace qv {

namespace {

// What follows from a doubtful line, said after it in the check before the run.
constexpr const char* kShownOnly = "; the line is shown and does nothing";
constexpr const char* kRunEnds = "; the run ends at this line";

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

// The text cut to at most `longest` bytes, never inside a character, "..." marking the cut.
std::string Cut(std::string text, size_t longest) {
  if (text.size() <= longest) return text;
  size_t cut = longest;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return text.substr(0, cut) + "...";
}

// A keyword with blanks around it is quoted, or the blanks would not show;
// a long one is cut, as the line it stands in is.
std::string Shown(std::string_view keyword) {
  const std::string shown = Cut(std::string(keyword), 20);
  if (!keyword.empty() && Trim(keyword) == keyword) return shown;
  return "\"" + shown + "\"";
}

bool IsRateText(std::string_view text) {
  return std::any_of(kRates.begin(), kRates.end(), [text](const Rate& r) { return r.text == text; });
}

// The rate a mistyped one most likely means ("11520": 115200), one or two digits off.
std::optional<std::string_view> MeantRate(std::string_view typed) {
  std::optional<std::string_view> best;
  size_t bestDistance = 3;
  for (const Rate& r : kRates)
    if (const size_t distance = EditDistance(Trim(typed), r.text); distance < bestDistance) {
      best = r.text;
      bestDistance = distance;
    }
  return best;
}

bool Converts(int32_t (*convert)(std::string_view), std::string_view text) {
  try {
    convert(text);
    return true;
  } catch (const EConvertError&) {
    return false;
  }
}

// The fields a statement takes after its keyword, as the help names them.
std::vector<std::string_view> FieldNames(Keyword keyword) {
  switch (keyword) {
    case Keyword::SEND_FILE: return {"block size", "file"};
    case Keyword::CMP_FILE: return {"first file", "second file"};
    case Keyword::R_BUF:
    case Keyword::W_BUF: return {"start block", "block count", "file"};
    case Keyword::R_SECTORS:
    case Keyword::W_SECTORS: return {"cylinder", "head", "buffer", "chunk", "start sector", "sector count", "file"};
    case Keyword::CREAT_FILE: return {"source 1", "start 1", "count 1", "source 2", "start 2", "count 2", "output"};
    default: return {"argument"};
  }
}

struct NumberField {
  const char* name;
  const std::string& text;
  bool hexadecimal;
};

struct Note {
  std::string text;         // what is wrong, naming the field
  const char* consequence;  // what the run then does
};

class LineChecker {
 public:
  LineChecker(const ScriptLine& line, std::vector<Note>& notes) : line_(line), notes_(notes) {}

  void Check() {
    if (line_.kind == ScriptLine::Kind::Text) return CheckText();
    if (line_.kind != ScriptLine::Kind::Statement) return;
    const Keyword keyword = KeywordOf(line_.keyword);
    if (keyword == Keyword::None) return Unknown();
    const size_t given = 1 + static_cast<size_t>(std::count(line_.argument.begin(), line_.argument.end(), '/'));
    const std::vector<std::string_view> names = FieldNames(keyword);
    if (given < names.size()) {
      std::string form = line_.keyword;
      for (std::string_view name : names) form += "/" + std::string(name);
      Say("the " + std::string(names[given]) + " is missing (" + form + ")", "");
      return;
    }
    CheckArguments(keyword);
  }

 private:
  void Say(std::string text, const char* consequence) { notes_.push_back({std::move(text), consequence}); }

  void CheckText() {
    const std::string& text = line_.text;
    const std::string first = text.substr(0, std::min(text.find(' '), text.find('\t')));
    if (KeywordOf(first) != Keyword::None) Say("no \"/\" after the keyword " + first, kShownOnly);
  }

  void Unknown() {
    std::string text = Shown(line_.keyword) + " is not a keyword";
    if (const auto meant = Meant(line_.keyword)) text += " (" + std::string(*meant) + "?)";
    Say(text, kShownOnly);
  }

  void Numbers(std::initializer_list<NumberField> fields) {
    for (const NumberField& f : fields) {
      if (Converts(f.hexadecimal ? HexToInt : StrToInt, f.text)) continue;
      if (Trim(f.text).empty()) Say("the " + std::string(f.name) + " is missing", kRunEnds);
      else Say("the " + std::string(f.name) + " '" + f.text + "' is not a " + (f.hexadecimal ? "hexadecimal" : "decimal") +
               " number", kRunEnds);
      return;
    }
  }

  void FileNamed(const std::string& file, const char* name = "file name") {
    if (Trim(file).empty()) Say("the " + std::string(name) + " is missing", kRunEnds);
  }

  void CheckArguments(Keyword keyword) {
    const std::string& arg = line_.argument;
    switch (keyword) {
      case Keyword::LEVEL:
        if (arg.empty()) Say("the level letter is missing", kRunEnds);
        return;
      case Keyword::SPEED:
      case Keyword::BAUDRATE:
        if (arg.empty()) {
          Say("the rate is missing", "; 9600 is used");
        } else if (!IsRateText(arg)) {
          std::string text = "not a rate; 9600 is used";
          if (const auto meant = MeantRate(arg)) text += " (" + std::string(*meant) + "?)";
          Say(text, "");
        }
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
        FileNamed(a.file1, "first file name");
        return FileNamed(a.file2, "second file name");
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
    if (Trim(dropped) != "-") Say("\"" + dropped + "/\" before the file name is dropped; the file is " + a.file, "");
  }

  const ScriptLine& line_;
  std::vector<Note>& notes_;
};

std::vector<Note> NotesOf(const std::string& line) {
  std::vector<Note> notes;
  LineChecker(ParseLine(line), notes).Check();
  return notes;
}

}  // namespace

std::string QuotedLine(const std::string& line) { return Cut(Trim(line), 60); }

std::vector<ScriptNote> CheckScript(const std::vector<std::string>& lines) {
  std::vector<ScriptNote> notes;
  for (size_t i = 0; i < lines.size(); ++i)
    for (const Note& note : NotesOf(lines[i])) notes.push_back({i + 1, QuotedLine(lines[i]), note.text + note.consequence});
  return notes;
}

std::string NoteLine(const ScriptNote& note) {
  return "line " + std::to_string(note.line) + " (" + note.statement + "): " + note.text;
}

std::string WhatIsWrongWith(const std::string& line) {
  const std::vector<Note> notes = NotesOf(line);
  return notes.empty() ? std::string() : notes.front().text;
}

}  // namespace qv
