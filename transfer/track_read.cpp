// Track read: sectors of one track through the drive's buffer, a chunk of
// sectors per read command, each sector fetched as a buffer dump.
#include <cstdint>
#include <exception>
#include <stdexcept>
#include <vector>

#include "console/convert.h"
#include "console/main.h"
#include "console/text.h"
#include "lang/translate.h"
#include "transfer/dump_parser.h"
#include "transfer/file_io.h"
#include "transfer/transfer.h"
#include "transfer/transfer_common.h"

namespace qv {

namespace {

// A line of the drive's answer to "r," that says the sectors did not reach
// the buffer ("Read error at sector 40"). A drive may leave the buffer as it
// was, so the dumps that follow would show the previous sectors as these.
std::string ErrorLine(const std::vector<std::string_view>& lines) {
  for (std::string_view line : lines)
    if (UpperCase(std::string(line)).find("ERROR") != std::string::npos) return Utf8FromGbk(Trim(std::string(line)));
  return {};
}

// The pane line for a read command the drive refused: where, and its words.
std::string DriveReadErrorText(const std::string& cylinder, const std::string& head, const std::string& sectors,
                               const std::string& driveLine) {
  return TrFormat("驱动器报告读取出错（柱面{1}磁头{2}，扇区{3}）：{4}", cylinder, head, sectors, driveLine);
}

struct Sectors {
  Sectors(TFrmMain& m, std::string seekLine, int32_t base) : main(m), seek(std::move(seekLine)), bufferBase(base) {}

  TFrmMain& main;
  std::string seek;  // the seek command line, the same for every chunk
  int32_t bufferBase;
  std::vector<uint8_t> output;
  DumpParser parser{output};
  TrackReadEnd end = TrackReadEnd::Read;
  std::string driveLine;
  std::string sectors;  // of the read command the drive refused: "0起6个"

  void Fail(TrackReadEnd why) {
    if (end == TrackReadEnd::Read) end = why;
  }
  bool Good() const { return end == TrackReadEnd::Read; }

  // Sends the seek and the read command; false when the read command got no
  // prompt or the drive said it could not read the sectors.
  bool Position(const std::string& firstSector, const std::string& count) {
    main.SendString(seek);
    if (!main.WaitHD(kPromptTicks)) Fail(TrackReadEnd::NoAnswer);  // the chunk is still read
    main.receiveMode = ReceiveMode::syscmd;
    main.Memo3.clear();
    main.SendString("r," + Gbk(firstSector) + "," + Gbk(count) + "\r");
    const bool prompted = main.WaitHD(kPromptTicks);
    const std::string error = ErrorLine(main.CaptureLines());
    main.receiveMode = ReceiveMode::Empty;
    main.Memo3.clear();
    if (!prompted) {
      Fail(TrackReadEnd::NoAnswer);
      return false;
    }
    if (!error.empty()) {
      Fail(TrackReadEnd::DriveError);
      driveLine = error;
      sectors = TrFormat("{1}起{2}个", firstSector, HexToInt(count));
      return false;
    }
    return true;
  }

  // Fetches and parses buffer block bufferBase + j; false when no prompt
  // came or the dump did not bring exactly one block's bytes (a line cut
  // short or too long, an address garbled on the line).
  bool FetchBlock(int32_t j) {
    if (main.stopFlag) {
      Fail(TrackReadEnd::Stopped);
      return false;
    }
    main.receiveMode = ReceiveMode::R_DATA;
    main.Memo3.clear();
    // Sums of 32-bit numbers wrap, as the drive's own hexadecimal texts do.
    const std::string n = IntToHex(static_cast<uint32_t>(bufferBase) + static_cast<uint32_t>(j));
    main.SendString("B" + n + "," + n + "\r");
    if (!main.WaitHD(kPromptTicks)) {
      Fail(TrackReadEnd::NoAnswer);
      return false;
    }
    const size_t before = output.size();
    parser.ResetLineCount();
    parser.Parse(main.Memo3);
    main.Memo3.clear();
    if (output.size() - before != static_cast<size_t>(kBlockBytes)) {
      Fail(TrackReadEnd::BadData);
      return false;
    }
    return true;
  }

  // One read command's sectors, block by block. A full chunk is read also
  // after its seek went unanswered (the read fails all the same); the last,
  // shorter one is not.
  bool Chunk(const std::string& firstSector, const std::string& countText, int32_t count, bool afterBadSeek) {
    if (!Position(firstSector, countText) || (!afterBadSeek && !Good())) return false;
    // One dump address runs on through all the blocks of a chunk.
    parser.ResetAddress();
    for (int32_t j = 0; j < count; ++j)
      if (!FetchBlock(j)) break;
    main.receiveMode = ReceiveMode::Empty;
    return Good();
  }
};

}  // namespace

TrackReadOutcome ReadTrackSectors(TFrmMain& main, const std::string& cylinder, const std::string& head,
                                  const std::string& startSector, const std::string& sectorCount,
                                  const std::string& bufferBase, const std::string& chunk, bool keepPartial,
                                  const std::function<void(const std::vector<uint8_t>&)>& deliver) {
  main.Memo3.clear();
  const int32_t count = HexToInt(sectorCount);
  const int32_t base = HexToInt(bufferBase);
  const int32_t perChunk = HexToInt(chunk);
  main.receiveMode = ReceiveMode::Empty;

  TrackReadOutcome outcome;
  Sectors read(main, "s" + Gbk(cylinder) + "," + Gbk(head) + ",22\r", base);
  try {
    main.SendString("/2\r");
    if (!main.WaitHD(kPromptTicks)) {
      read.Fail(TrackReadEnd::NoAnswer);
    } else if (main.stopFlag) {
      read.Fail(TrackReadEnd::Stopped);
    } else {
      main.SetProgress(count, 0);
      if (perChunk <= 0) throw std::invalid_argument("chunk must be at least one sector, not " + chunk);
      if (count < 0) throw std::invalid_argument("sector count must not be negative: " + sectorCount);
      const int32_t fullChunks = count / perChunk;
      std::string current = startSector;
      for (int32_t k = 1; k <= fullChunks && read.Good(); ++k) {
        const std::string first = current;
        current = IntToHex(static_cast<uint32_t>(HexToInt(current)) + static_cast<uint32_t>(perChunk));
        if (read.Chunk(first, chunk, perChunk, true)) main.SetProgressPosition(k * perChunk);
      }
      const int32_t remainder = count % perChunk;
      if (read.Good() && remainder != 0) {
        // Only whole blocks of a failed remainder are kept.
        const size_t before = read.output.size();
        if (!read.Chunk(current, IntToHex(static_cast<uint32_t>(remainder)), remainder, false))
          read.output.resize(before + (read.output.size() - before) / kBlockBytes * kBlockBytes);
        outcome.partial = !read.Good();
      }
      main.receiveMode = ReceiveMode::Empty;
      // A stopped read leaves nothing; a failed remainder keeps what was
      // read, where the caller can use part of it.
      if (main.stopFlag) read.Fail(TrackReadEnd::Stopped);
      // Exactly the sectors asked for, or the read failed: a module cut
      // short or with a sector too many would pass for the drive's own.
      if (read.output.size() != static_cast<size_t>(count) * kBlockBytes) read.Fail(TrackReadEnd::BadData);
      if (read.Good() || (keepPartial && outcome.partial && read.end != TrackReadEnd::Stopped)) {
        deliver(read.output);
        outcome.delivered = true;
        main.SetProgressPosition(count);
      }
    }
    main.receiveMode = ReceiveMode::Empty;
    read.output.clear();
    read.output.shrink_to_fit();
    main.SendString("/\r");
    main.WaitHD(kPromptTicks);
  } catch (const std::exception& e) {
    main.receiveMode = ReceiveMode::Empty;
    // A byte pair garbled on the line is the line's fault; a file that cannot
    // be written or a chunk of 0 is not.
    outcome.end = dynamic_cast<const EConvertError*>(&e) ? TrackReadEnd::BadData : TrackReadEnd::Failed;
    outcome.errorLine = ReadErrorLine(e);
    return outcome;
  }
  outcome.end = read.end;
  if (read.end == TrackReadEnd::DriveError)
    outcome.driveLine = DriveReadErrorText(cylinder, head, read.sectors, read.driveLine);
  return outcome;
}

bool ReadTrack(TFrmMain& main, const std::string& cylinder, const std::string& head,
               const std::string& startSector, const std::string& sectorCount,
               const std::string& bufferBase, const std::string& chunk, const std::string& fileName,
               bool verbose, bool keepPartial) {
  if (verbose) {
    // The numbers are checked before the progress line, as the read itself checks them.
    HexToInt(sectorCount);
    HexToInt(bufferBase);
    HexToInt(chunk);
    main.receiveMode = ReceiveMode::Empty;
    main.AddLine(Tr("正在读取数据........."));
    main.Delay(1);
  }
  const TrackReadOutcome outcome =
      ReadTrackSectors(main, cylinder, head, startSector, sectorCount, bufferBase, chunk, keepPartial,
                       [&](const std::vector<uint8_t>& bytes) { WriteWholeFile(fileName, bytes); });
  if (!outcome.errorLine.empty()) {
    // Said also when not verbose: the file error's reason, or a lower rate.
    main.AddLine(outcome.errorLine);
    return false;
  }
  const bool good = outcome.end == TrackReadEnd::Read;
  if (verbose) {
    if (main.stopFlag) main.AddLine(Tr("被用户中止！"));
    else main.AppendToLastLine(good ? Tr("完成！") : Tr("失败！"));
  }
  if (outcome.end == TrackReadEnd::DriveError) main.AddLine(outcome.driveLine);
  return good && outcome.delivered;
}

}  // namespace qv
