#pragma once
// The batch script language: one statement per line, KEYWORD/ARGUMENT.
//
// A line is trimmed of blanks and control characters at both ends. An empty
// line and a line starting with "/" (a comment) are skipped without being
// shown; a line without "/" is shown as the current line and does nothing.
// Otherwise the keyword is the text before the first "/", taken verbatim
// (so "LEVEL /T" is no statement) and compared case-sensitively, and the
// argument is everything after that "/".
#include <string>
#include <string_view>
#include <vector>

#include "fileutil/cut_join.h"

namespace qv {

struct ScriptLine {
  enum class Kind {
    Empty,      // nothing to do, not shown
    Comment,    // starts with "/": not shown
    Text,       // no "/": shown, nothing else
    Statement,  // KEYWORD/ARGUMENT: shown and carried out
  };
  Kind kind = Kind::Empty;
  std::string text;      // the trimmed line
  std::string keyword;   // Statement only
  std::string argument;  // Statement only
};

ScriptLine ParseLine(std::string_view line);

enum class Keyword {
  None,  // not a keyword of the language: shown, then the usual pause
  ECHO,
  LEVEL,
  SLEEP,
  SPEED,
  BAUDRATE,
  STR,
  HEX,
  DEC,
  SEND_FILE,
  R_SECTORS,
  W_SECTORS,
  R_BUF,
  W_BUF,
  CREAT_FILE,
  CMP_FILE,
};

Keyword KeywordOf(std::string_view keyword);
// Every keyword's text, in the order of the list above.
const std::vector<std::string_view>& KeywordTexts();

// One split step of a multi-field argument: the text before the first "/" of
// `remainder`, trimmed, is the field; the text after it, trimmed, becomes the
// remainder. Without a "/" the field is empty and the remainder stays as it
// is. `after`, when given, receives the untrimmed text after the "/" (or the
// unchanged remainder), which some keywords take verbatim as a file name.
std::string SplitStep(std::string& remainder, std::string* after = nullptr);

// SEND_FILE/blockSize/file: the block size (decimal text) and the file name
// verbatim after the "/".
struct SendFileArgs {
  std::string blockSize;
  std::string file;
};
SendFileArgs SplitSendFileArgs(std::string_view argument);

// CMP_FILE/file1/file2: the first file, trimmed, and the second verbatim
// after the "/" (so only the second may be a path with folders).
struct CompareArgs {
  std::string file1;
  std::string file2;
};
CompareArgs SplitCompareArgs(std::string_view argument);

// R_BUF and W_BUF: startBlock/blockCount/file; the file name is the text after
// the second "/", verbatim.
struct BufferArgs {
  std::string startBlock;
  std::string blockCount;
  std::string file;
};
BufferArgs SplitBufferArgs(std::string_view argument);

// R_SECTORS and W_SECTORS: cylinder/head/buffer/chunk/startSector/sectorCount/file.
// The file name is what remains after six split steps; when that still holds a
// "/", everything up to and including the first one is dropped, so an extra
// seventh field is ignored (and a path with folders needs one in front of it).
struct TrackArgs {
  std::string cylinder;
  std::string head;
  std::string buffer;  // buffer base (read) or buffer position (write)
  std::string chunk;
  std::string startSector;
  std::string sectorCount;
  std::string file;
};
TrackArgs SplitTrackArgs(std::string_view argument);

// CREAT_FILE: six split steps, then the whole remainder is the output file.
CutJoinRequest SplitCreateFileArgs(std::string_view argument);

}  // namespace qv
