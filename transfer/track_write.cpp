// Track write: sectors of a file onto one track, a chunk at a time. Each chunk
// is downloaded into the drive's buffer, then written to the disk with "w,";
// a drive that dropped to 9600 baud after the download is brought back to the
// working rate.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "lang/translate.h"
#include "serial/rates.h"
#include "transfer/block_protocol.h"
#include "transfer/file_io.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {

constexpr int kSeekTicks = 4500;  // a long seek may take the drive most of a minute
constexpr int kFallbackTicks = 6;  // the prompt after a download comes at once, if at all

struct TrackWrite {
  TFrmMain& main;
  std::string seek;             // the seek command line
  std::string downloadCommand;  // "d" + buffer position
  std::string rateText;         // the working rate

  bool Prompt(const char* command, int ticks) {
    main.SendString(command);
    return main.WaitHD(ticks);
  }

  // n sectors from `first`, the data n x 512 bytes.
  bool Chunk(int64_t first, int32_t n, const uint8_t* data) {
    // The frames number the blocks in a byte; a larger chunk can't be downloaded.
    if (n > kMaxBlockNumber + 1) return false;
    main.Delay(15);
    if (!Prompt("/\r", kPromptTicks)) return false;
    main.SendString(downloadCommand);
    main.Delay(15);
    if (!OpenSequence(main)) return false;
    main.Delay(30);
    if (!SendSequenceBlocks(main, data, kBlockBytes, n)) return false;
    main.Delay(30);
    if (!Prompt("\r", kFallbackTicks)) {
      // Silent: the drive went back to 9600 after the download.
      if (!main.Speed(kRates[0]) || !main.AdMySpeed(rateText)) return false;
    }
    if (!Prompt("/2\r", kPromptTicks)) return false;
    if (!Prompt("/U\r", kPromptTicks)) return false;
    main.Delay(10);
    if (!Prompt("/2\r", kPromptTicks)) return false;
    main.SendString(seek);
    if (!main.WaitHD(kSeekTicks)) return false;
    main.SendString("w," + IntToHex(static_cast<uint32_t>(first)) + "," + IntToHex(static_cast<uint32_t>(n)) + "\r");
    if (!main.WaitHD(kPromptTicks)) return false;
    return Prompt("/\r", kPromptTicks);
  }
};

}  // namespace

bool WriteTrack(TFrmMain& main, const std::string& cylinder, const std::string& head,
                const std::string& startSector, const std::string& sectorCount,
                const std::string& bufferPosition, const std::string& chunk,
                const std::string& fileName, const std::string& rateText) {
  TrackWrite write{main, "s" + Gbk(cylinder) + "," + Gbk(head) + ",22\r", "d" + Command(bufferPosition),
                   Trim(rateText)};
  main.Memo3.clear();
  int64_t limit = std::max<int64_t>(HexToInt(sectorCount), 0) * kBlockBytes;
  const int32_t perChunk = HexToInt(chunk);
  // Checked now so that a bad text raises before anything is sent.
  const int64_t first = HexToInt(startSector);
  main.receiveMode = ReceiveMode::Empty;
  main.LastPrompt.clear();
  ReceiveModeReset resetMode(main);
  // Read before the drive hears anything: a file that is no use raises here.
  std::vector<uint8_t> data = ReadWholeFile(fileName, kMaxDownloadFileBytes);

  bool good = true;
  main.Delay(30);
  if (!write.Prompt("/\r", kPromptTicks)) good = false;

  if (good) {
    // A shorter file is written whole, if it is whole sectors; an empty one
    // is refused rather than reported written.
    if (limit > static_cast<int64_t>(data.size())) {
      limit = static_cast<int64_t>(data.size());
      if (!DownloadLengthAccepted(main, static_cast<size_t>(limit), kBlockBytes)) good = false;
    }
    data.resize(static_cast<size_t>(limit));
  }

  if (good && !main.stopFlag) {
    main.AddLine(Tr("正在写入数据......"));
    if (perChunk <= 0) throw std::invalid_argument("chunk must be at least one sector, not " + chunk);
    const int64_t sectors = limit / kBlockBytes;
    const int64_t fullChunks = sectors / perChunk;
    const int32_t remainder = static_cast<int32_t>(sectors % perChunk);
    main.SetProgress(static_cast<int>(fullChunks + (remainder > 0 ? 1 : 0)), 0);
    for (int64_t i = 0; i < fullChunks; ++i) {
      if (!good || main.stopFlag) break;
      good = write.Chunk(first + i * perChunk, perChunk, data.data() + i * perChunk * kBlockBytes);
      main.StepProgress();
    }
    if (good && !main.stopFlag && remainder > 0) {
      good = write.Chunk(first + fullChunks * perChunk, remainder,
                         data.data() + fullChunks * perChunk * kBlockBytes);
    }
    // The bar ends full however the chunks ended.
    main.SetProgressPosition(main.ProgressBar1.max);
  }
  data.clear();
  data.shrink_to_fit();

  write.Prompt("/\r", 30);
  if (main.stopFlag) {
    main.AddLine(Tr("被用户中止！"));
  } else {
    main.AppendToLastLine(good ? Tr("完成！") : Tr("失败！"));
  }
  return good && !main.stopFlag;
}

}  // namespace qv
