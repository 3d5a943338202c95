#include "batch/runner.h"

#include <stdexcept>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "files/file_io.h"
#include "fileutil/cut_join.h"
#include "firmware/manifest/folder_compare.h"
#include "lang/translate.h"
#include "serial/rates.h"
#include "transfer/transfer.h"

namespace qv {

namespace {

// The first character of a UTF-8 text (one to four bytes).
std::string_view FirstCharacter(std::string_view text) {
  const unsigned char lead = static_cast<unsigned char>(text.front());
  size_t length = 1;
  if ((lead & 0xE0) == 0xC0) length = 2;
  else if ((lead & 0xF0) == 0xE0) length = 3;
  else if ((lead & 0xF8) == 0xF0) length = 4;
  return text.substr(0, length);
}

bool Level(TFrmMain& main, std::string_view argument) {
  // Without a level letter there is nothing sensible to send; the run ends
  // here like for any other statement it cannot carry out.
  if (argument.empty()) throw std::runtime_error(Tr("LEVEL 语句缺少级别字符！"));
  const std::string_view level = FirstCharacter(argument);
  if (level == "F") return main.ToF();
  if (level == "T") main.SendString("/\r");
  else main.SendString("/" + Gbk(level) + "\r");
  return true;
}

// Track reads are the largest files a script makes; far beyond those.
constexpr uint64_t kMaxComparedScriptFile = 256u << 20;

// Says in the pane whether two files are the same, and where they differ;
// true when they are.
bool CompareFiles(TFrmMain& main, const CompareArgs& files) {
  FileBytes contents[2];
  const std::string* names[2] = {&files.file1, &files.file2};
  for (int k = 0; k < 2; ++k) {
    contents[k] = ReadFileBytes(*names[k], kMaxComparedScriptFile);
    if (!contents[k]) throw EFileError(CannotReadMessage(*names[k], contents[k].trouble));
  }
  const FileComparison c = CompareBytes(contents[0].bytes, contents[1].bytes);
  main.AddLine(TrFormat("{1} 与 {2}：{3}", files.file1, files.file2, VerdictText(c)));
  return c.Same();
}

void SendByte(TFrmMain& main, int32_t value) {
  const char byte = static_cast<char>(static_cast<uint8_t>(value & 0xFF));
  main.SendString(std::string_view(&byte, 1));
}

}  // namespace

bool RunStatement(TFrmMain& main, const ScriptLine& line) {
  if (line.kind != ScriptLine::Kind::Statement) return true;
  const std::string& arg = line.argument;
  switch (KeywordOf(line.keyword)) {
    case Keyword::None:
      return true;
    case Keyword::ECHO:
      main.AddLine(arg);
      return true;
    case Keyword::LEVEL:
      return Level(main, arg);
    case Keyword::SLEEP:
      main.Delay(StrToInt(arg) / 10);
      return true;
    case Keyword::SPEED:
      // The level test decides between the T-level and the other-level
      // command; any text that is not a faster rate means 9600.
      return main.AdMySpeed(arg);
    case Keyword::BAUDRATE:
      return main.Speed(RateFromText(arg));
    case Keyword::STR:
      main.SendString(Gbk(arg) + "\r");
      return true;
    case Keyword::HEX:
      SendByte(main, HexToInt(arg));
      return true;
    case Keyword::DEC:
      SendByte(main, StrToInt(arg));
      return true;
    case Keyword::SEND_FILE: {
      const SendFileArgs a = SplitSendFileArgs(arg);
      const int32_t blockSize = StrToInt(a.blockSize);
      return SendFile(main, a.file, blockSize);
    }
    case Keyword::R_SECTORS: {
      const TrackArgs a = SplitTrackArgs(arg);
      return ReadTrack(main, a.cylinder, a.head, a.startSector, a.sectorCount, a.buffer, a.chunk, a.file, true);
    }
    case Keyword::W_SECTORS: {
      const TrackArgs a = SplitTrackArgs(arg);
      return WriteTrack(main, a.cylinder, a.head, a.startSector, a.sectorCount, a.buffer, a.chunk, a.file,
                        main.ComboBox2.Text());
    }
    case Keyword::R_BUF: {
      const BufferArgs a = SplitBufferArgs(arg);
      return ReadBuffer(main, a.startBlock, a.blockCount, a.file);
    }
    case Keyword::W_BUF: {
      const BufferArgs a = SplitBufferArgs(arg);
      return WriteBuffer(main, a.startBlock, a.blockCount, a.file);
    }
    case Keyword::CREAT_FILE: {
      // The routine reports a failure by its result only; in a script the
      // technician must see it, or a missing output goes unnoticed.
      const CutJoinRequest request = SplitCreateFileArgs(arg);
      std::string why;
      if (!CutAndJoin(request, &why))
        throw EFileError(why.empty() ? TrFormat("生成文件{1}失败！", request.output)
                                    : TrFormat("生成文件{1}失败：{2}", request.output, why));
      return true;
    }
    case Keyword::CMP_FILE:
      return CompareFiles(main, SplitCompareArgs(arg));
  }
  return true;
}

}  // namespace qv
