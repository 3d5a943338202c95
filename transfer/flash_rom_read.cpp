// Reading the flash ROM into a file: through the buffer (fast) or one byte
// per command (instruction). The image is kept in memory and the file is
// written once, only when the image is whole.
#include <algorithm>
#include <exception>
#include <vector>

#include "console/main.h"
#include "lang/translate.h"
#include "transfer/buffer_blocks.h"
#include "transfer/file_io.h"
#include "transfer/flash_rom.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {

constexpr int kRomBlocks = kRomBytes / kBlockBytes;
// The bytes the buffer copy does not carry faithfully; read one by one.
constexpr uint32_t kSingleFirst = 0x140, kSingleEnd = 0x170;
constexpr int kCopyTicks = 500;       // "e4": the drive prepares the copy
constexpr int kCopyReadyTicks = 10;   // the prompt after it comes at once
constexpr const char* kReadingLine = N_("正在读取ROM.........");
constexpr const char* kAskInstructionRead = N_("读取ROM数据有误，是否使用指令方法读取?");

// The bytes of the capture buffer's "=" lines, in line order.
std::vector<uint8_t> AnsweredBytes(const TFrmMain& main) {
  std::vector<uint8_t> bytes;
  for (std::string_view line : main.CaptureLines())
    if (IsRomByteLine(line)) bytes.push_back(RomByteOfLine(line));
  return bytes;
}

}  // namespace

bool ReadRom(TFrmMain& main, const std::string& fileName) {
  main.Memo3.clear();
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();
  bool good = true;

  main.Delay(10);
  main.SendString("Z\r");
  main.Delay(50);
  main.SendString("Z\r");
  main.Delay(50);
  if (!Exchange(main, "e5\r", kPromptTicks)) good = false;

  std::vector<uint8_t> image;
  try {
    if (good && !main.stopFlag) {
      main.Delay(50);
      Exchange(main, "e4,200,1,0\r", kCopyTicks);
      if (!Exchange(main, "\r", kCopyReadyTicks)) good = false;
      if (good && !Exchange(main, "e6\r", kPromptTicks)) good = false;
    }

    if (good && !main.stopFlag) {
      main.AddLine(Tr(kReadingLine));
      main.SetProgress(kRomBlocks, 0);
      image.reserve(kRomBytes);
      good = ReadBufferBlocks(main, 0, kRomBlocks, image);
    }

    if (good) {
      if (image.size() != kRomBytes) {
        good = false;
      } else if (!RomImagePlausible(image)) {
        if (main.Dlg().AskYesNo(Tr("提示"), Tr(kAskInstructionRead))) {
          image = {};
          main.receiveMode = ReceiveMode::Empty;
          return ReadROM1(main, fileName);
        }
        good = false;
      }
    }

    if (good && !main.stopFlag) {
      if (!Exchange(main, "e5\r", kPromptTicks)) good = false;
      if (good) {
        // One capture for all 48 replies; each command's echo is skipped.
        main.receiveMode = ReceiveMode::R_DATA;
        main.Memo3.clear();
        for (uint32_t address = kSingleFirst; address < kSingleEnd; ++address) {
          if (!Exchange(main, RomReadCommand(address), kPromptTicks)) {
            good = false;
            break;
          }
        }
      }
    }

    if (good) {
      // More or fewer answers than addresses: some byte would sit in the wrong place.
      const std::vector<uint8_t> answers = AnsweredBytes(main);
      main.Memo3.clear();
      if (image.size() >= kSingleEnd && answers.size() == kSingleEnd - kSingleFirst) {
        std::copy(answers.begin(), answers.end(), image.begin() + kSingleFirst);
        WriteWholeFile(fileName, image);
      } else {
        good = false;
      }
    }
    main.SetProgressPosition(main.ProgressBar1.max);
    main.receiveMode = ReceiveMode::Empty;
  } catch (const std::exception& e) {
    main.Memo3.clear();
    main.receiveMode = ReceiveMode::Empty;
    AddReadErrorLine(main, e);
    return false;
  }

  image = {};
  if (main.stopFlag) main.AddLine(Tr("被用户中止！"));
  else main.AppendToLastLine(good ? Tr("成功！") : Tr("失败！"));
  main.AddLine("");
  return good;
}

bool ReadROM1(TFrmMain& main, const std::string& fileName) {
  main.Memo3.clear();
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();
  main.Delay(10);
  main.AddLine(Tr("指令方式读取ROM需要较长时间，请耐心等待！"));

  // Only a whole image written to the file is a success; STOP before the
  // first byte is none either.
  bool good = false;
  const bool prompted = Exchange(main, "e5\r", kPromptTicks);
  std::vector<uint8_t> image;
  try {
    if (prompted && !main.stopFlag) {
      good = true;
      main.AddLine(Tr(kReadingLine));
      main.SetProgress(static_cast<int>(kRomBytes), 0);
      main.receiveMode = ReceiveMode::R_DATA;
      main.Memo3.clear();
      image.reserve(kRomBytes);
      for (uint32_t address = 0; address < kRomBytes; ++address) {
        if (!Exchange(main, RomReadCommand(address), kPromptTicks) || main.stopFlag) {
          good = false;
          break;
        }
        // Every answer line counts; two for one address leave the image too long.
        const std::vector<uint8_t> answers = AnsweredBytes(main);
        if (answers.empty()) {
          good = false;
          break;
        }
        image.insert(image.end(), answers.begin(), answers.end());
        main.Memo3.clear();
        main.SetProgressPosition(static_cast<int>(address + 1));
      }
      if (good) {
        if (image.size() == kRomBytes) WriteWholeFile(fileName, image);
        else good = false;
      }
      main.SetProgressPosition(main.ProgressBar1.max);
    }
  } catch (const std::exception& e) {
    main.Memo3.clear();
    main.receiveMode = ReceiveMode::Empty;
    AddReadErrorLine(main, e);
    return false;
  }

  image = {};
  main.Memo3.clear();
  main.receiveMode = ReceiveMode::Empty;
  if (main.stopFlag) main.AppendToLastLine(Tr("用户中止！"));
  else main.AppendToLastLine(good ? Tr("完成！") : Tr("失败！"));
  main.AddLine("");
  return good;
}

}  // namespace qv
