// Writing a file into the flash ROM: downloaded into the buffer and
// programmed from there (fast), or one byte per command (instruction).
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "files/file_io.h"
#include "lang/translate.h"
#include "transfer/file_io.h"
#include "transfer/flash_rom.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {

constexpr const char* kWritingLine = N_("正在写入ROM......");
// After the download the drive erases the flash and programs it from the
// buffer; "/F" brings its prompt back after each step.
constexpr const char* kProgramSteps[] = {"e5", "/F", "e9", "/F", "e3,200,1,0", "/F", "e6", "/F"};

void Report(TFrmMain& main, bool good) {
  if (main.stopFlag) main.AddLine(Tr("被用户中止！"));
  else main.AppendToLastLine(good ? Tr("成功！") : Tr("失败！"));
}

}  // namespace

bool FastWriteImageAccepted(TFrmMain& main, uint64_t size) {
  if (size == 0) {
    main.Dlg().ShowMessage(Tr("ROM文件是空文件，没有可写入的数据！"));
    return false;
  }
  if (!DownloadLengthAccepted(main, static_cast<size_t>(size), kBlockBytes)) return false;
  if (size > static_cast<uint64_t>(kMaxDownloadBlocks) * kBlockBytes) {
    main.Dlg().ShowMessage(TrFormat("ROM文件太大：缓冲区写入一次最多下载255块（{1}字节），不能只写入一部分！",
                                    kMaxDownloadBlocks * kBlockBytes));
    return false;
  }
  return true;
}

bool InstructionWriteImageAccepted(TFrmMain& main, uint64_t size) {
  if (size >= kRomBytes) return true;
  main.Dlg().ShowMessage(TrPlural("ROM文件太小（{1}字节）：指令方式写入需要至少{2}字节！", "ROM文件太小（{1}字节）：指令方式写入需要至少{2}字节！", size,
                                  kRomBytes));
  return false;
}

bool WriteBios(TFrmMain& main, const std::string& entryBuffer, const std::string& fileName) {
  main.Memo3.clear();
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();
  bool good = true;

  if (!main.stopFlag) {
    // Read and checked before the drive hears anything of this write; a file
    // that can't be read leaves no progress line without an outcome.
    const std::vector<uint8_t> data = ReadWholeFile(fileName, kMaxRomFileBytes);
    main.AddLine(Tr(kWritingLine));
    good = FastWriteImageAccepted(main, data.size());
    if (good) {
      Exchange(main, "\x1A", 5);
      Exchange(main, "Z\r", 50);
      main.SendString("Z\r");
      main.Delay(100);
      main.SendString(Command("d" + entryBuffer + ",0"));
      main.Delay(50);
      good = SendData(main, data.data(), data.size(), kBlockBytes);
    }
    if (good && !main.stopFlag) {
      good = Exchange(main, "/\r", kPromptTicks);
      for (const char* step : kProgramSteps) {
        if (!good) break;
        good = Exchange(main, std::string(step) + "\r", kPromptTicks);
      }
    }
  }

  main.Delay(100);
  Report(main, good);
  return good && !main.stopFlag;
}

bool WriteBios1(TFrmMain& main, const std::string& fileName) {
  main.Memo3.clear();
  main.stopFlag = 0;
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();

  const FileBytes file = ReadFileBytes(fileName, kMaxRomFileBytes);
  if (file.trouble.kind == FileTrouble::Kind::TooLarge) {
    main.AddLine(TrFormat("读入ROM文件出错，{1}！", file.trouble.reason));
    return false;
  }
  if (!file) {
    main.AddLine(Tr("读入ROM文件出错，文个无法打开！"));
    return false;
  }
  const std::string& data = file.bytes;
  if (data.size() < kRomBytes) {
    main.AddLine(Tr("读入ROM文件出错，文件太小！"));
    return false;
  }

  // Runs to the bytes written, not the file's length: a longer file's bytes
  // past the ROM are never sent.
  main.SetProgress(static_cast<int>(kRomBytes), 0);
  bool good = true;
  main.AddLine(Tr("指令方式写入ROM需要较长时间，请耐心等待！"));
  main.AddLine(Tr(kWritingLine));
  Exchange(main, "Z\r", 50);
  main.SendString("Z\r");
  main.Delay(100);
  main.SendString("e9\r");
  main.Delay(50);
  for (uint32_t address = 0; address < kRomBytes; ++address) {
    if (!Exchange(main, RomWriteCommand(address, static_cast<uint8_t>(data[address])), kPromptTicks) || main.stopFlag) {
      good = false;
      break;
    }
    main.Delay(1);
    main.SetProgressPosition(static_cast<int>(address + 1));
  }
  main.Delay(20);
  main.SendString("/\r");
  main.Delay(20);

  Report(main, good);
  const bool succeeded = good && !main.stopFlag;
  main.stopFlag = 0;
  return succeeded;
}

}  // namespace qv
