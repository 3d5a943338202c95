// Track read: sectors of one track through the drive's buffer, a chunk of
// sectors per read command, each sector fetched as a buffer dump.
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "transfer/dump_parser.h"
#include "transfer/file_io.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {

struct TrackRead {
  TFrmMain& main;
  std::string seek;  // the seek command line, the same for every chunk
  int32_t bufferBase;
  std::vector<uint8_t> output;
  DumpParser parser{output};
  bool good = true;

  // Sends the seek and the read command; false when the read command got no prompt.
  bool Position(const std::string& firstSector, const std::string& count) {
    main.SendString(seek);
    if (!main.WaitHD(kPromptTicks)) good = false;  // the chunk is still read
    main.SendString("r," + Gbk(firstSector) + "," + Gbk(count) + "\r");
    return main.WaitHD(kPromptTicks);
  }

  // Fetches and parses buffer block bufferBase + j; false when no prompt came.
  bool FetchBlock(int32_t j) {
    main.receiveMode = ReceiveMode::R_DATA;
    main.Memo3.clear();
    // Sums of 32-bit numbers wrap, as the drive's own hexadecimal texts do.
    const std::string n = IntToHex(static_cast<uint32_t>(bufferBase) + static_cast<uint32_t>(j));
    main.SendString("B" + n + "," + n + "\r");
    if (!main.WaitHD(kPromptTicks)) return false;
    parser.ResetLineCount();
    parser.Parse(main.Memo3);
    main.Memo3.clear();
    return true;
  }
};

}  // namespace

bool ReadTrack(TFrmMain& main, const std::string& cylinder, const std::string& head,
               const std::string& startSector, const std::string& sectorCount,
               const std::string& bufferBase, const std::string& chunk, const std::string& fileName,
               bool verbose, bool keepPartial) {
  main.Memo3.clear();
  const int32_t count = HexToInt(sectorCount);
  const int32_t base = HexToInt(bufferBase);
  const int32_t perChunk = HexToInt(chunk);
  main.receiveMode = ReceiveMode::Empty;
  if (verbose) {
    main.AddLine("正在读取数据.........");
    main.Delay(1);
  }

  bool fileWritten = false;
  TrackRead read{main, "s" + Gbk(cylinder) + "," + Gbk(head) + ",22\r", base, {}};
  try {
    main.SendString("/2\r");
    if (!main.WaitHD(kPromptTicks)) {
      read.good = false;
    } else if (!main.stopFlag) {
      main.SetProgress(count, 0);
      if (perChunk <= 0) throw std::invalid_argument("chunk must be at least one sector, not " + chunk);
      if (count < 0) throw std::invalid_argument("sector count must not be negative: " + sectorCount);
      const int32_t fullChunks = count / perChunk;
      std::string current = startSector;
      int64_t previousSize = -1;

      for (int32_t k = 1; k <= fullChunks; ++k) {
        const bool prompted = read.Position(current, chunk);
        current = IntToHex(static_cast<uint32_t>(HexToInt(current)) + static_cast<uint32_t>(perChunk));
        if (!prompted) {
          read.good = false;
          break;
        }
        // One dump address runs on through all the blocks of a chunk.
        read.parser.ResetAddress();
        for (int32_t j = 0; j < perChunk; ++j) {
          if (static_cast<int64_t>(read.output.size()) == previousSize || main.stopFlag) {
            read.good = false;
            break;
          }
          previousSize = static_cast<int64_t>(read.output.size());
          if (!read.FetchBlock(j)) {
            read.good = false;
            break;
          }
        }
        main.receiveMode = ReceiveMode::Empty;
        if (main.stopFlag || !read.good) break;
        main.SetProgressPosition(k * perChunk);
      }
      // The last block of the last chunk has no next block to notice that it brought nothing.
      if (read.good && fullChunks > 0 && static_cast<int64_t>(read.output.size()) == previousSize) read.good = false;
      main.receiveMode = ReceiveMode::Empty;

      if (read.good && !main.stopFlag) {
        const int32_t remainder = count % perChunk;
        if (remainder != 0) {
          if (!read.Position(current, IntToHex(static_cast<uint32_t>(remainder)))) read.good = false;
          if (read.good) {
            read.parser.ResetAddress();
            for (int32_t j = 0; j < remainder; ++j) {
              if (main.stopFlag) break;
              const size_t before = read.output.size();
              if (!read.FetchBlock(j)) {
                read.good = false;
                break;
              }
              if (read.output.size() == before) {
                read.good = false;
                break;
              }
            }
          }
          main.receiveMode = ReceiveMode::Empty;
        }
        // A stopped read leaves no file; a failed remainder keeps what was
        // read, where the caller can use part of it.
        if (!main.stopFlag && (read.good || keepPartial)) {
          WriteWholeFile(fileName, read.output);
          fileWritten = true;
          main.SetProgressPosition(count);
        }
      }
    }
    main.receiveMode = ReceiveMode::Empty;
    read.output.clear();
    read.output.shrink_to_fit();
    main.SendString("/\r");
    main.WaitHD(kPromptTicks);
  } catch (const std::exception& e) {
    main.receiveMode = ReceiveMode::Empty;
    AddReadErrorLine(main, e);
    return false;
  }

  if (verbose) {
    if (main.stopFlag) main.AddLine("被用户中止！");
    else main.AppendToLastLine(read.good ? "完成！" : "失败！");
  }
  return read.good && fileWritten;
}

}  // namespace qv
