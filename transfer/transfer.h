#pragma once
// The operations that move a technician's data between the drive and files.
// Each runs on the console's thread and waits only through its pauses and
// waits; outcomes are reported in the terminal pane. Numbers arrive as texts
// (hexadecimal unless said otherwise); a text that is not a number raises
// EConvertError, a file that cannot be read or written EFileError.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace qv {

class TFrmMain;

// Reads blockCount 512-byte blocks of the drive's buffer from startBlock into
// fileName through hexadecimal dumps at level 2. A read that ends early (no
// prompt, a block without bytes, STOP) still writes the blocks read so far;
// a raised error (a dump that is not hexadecimal, the file) writes nothing.
// True when every block was read and written.
bool ReadBuffer(TFrmMain& main, const std::string& startBlock, const std::string& blockCount,
                const std::string& fileName);

// Writes at most blockCount blocks of fileName into the drive's buffer at
// startBlock (passed verbatim to the drive's "d" command). A file that cannot
// be read or is larger than kMaxDownloadFileBytes raises EFileError, and an
// empty one is refused with a message box, before anything is sent. True
// when the drive took the download and showed its prompt after it.
bool WriteBuffer(TFrmMain& main, const std::string& startBlock, const std::string& blockCount,
                 const std::string& fileName);

// Sends fileName as one download sequence of blockSize-byte blocks; the drive
// must already expect it. True when every block was acknowledged. At most 255
// blocks travel; an empty file or one whose length is not a multiple of
// blockSize is refused with a message box before anything is sent. A file
// that cannot be read or is larger than kMaxDownloadFileBytes raises
// EFileError, a blockSize outside 1..65535 std::invalid_argument, also before.
bool SendFile(TFrmMain& main, const std::string& fileName, int blockSize);

// The same for bytes already in memory (the buffer write sends its cut data so).
bool SendData(TFrmMain& main, const uint8_t* data, size_t size, int blockSize);
// The download's length rule alone: true for a multiple of blockSize that is
// not 0, else the message box and false. For callers that check before they
// send anything.
bool DownloadLengthAccepted(TFrmMain& main, size_t size, int blockSize);

// Reads sectorCount sectors of track (cylinder, head) from startSector into
// fileName, chunk sectors per read command, through buffer blocks from
// bufferBase. True only when every sector was read and the file written.
// A dump that does not bring exactly 512 bytes fails the read, as does a
// read command the drive answers with an error line (named in the pane).
// A read whose last, shorter chunk fails still writes the sectors read before
// it, unless `keepPartial` is false: a firmware module cut short must never
// take the place of a whole one. Conversion errors of sectorCount, bufferBase
// and chunk reach the caller; every later error (a bad dump, the file, a
// chunk of 0) is reported in the pane and gives false.
bool ReadTrack(TFrmMain& main, const std::string& cylinder, const std::string& head,
               const std::string& startSector, const std::string& sectorCount,
               const std::string& bufferBase, const std::string& chunk, const std::string& fileName,
               bool verbose, bool keepPartial = true);

// How a track read ended.
enum class TrackReadEnd {
  Read,        // every sector, exactly sectorCount x 512 bytes
  Stopped,     // STOP
  NoAnswer,    // a command got no prompt
  DriveError,  // the drive said it could not read the sectors (its line in driveLine)
  BadData,     // a dump that did not bring exactly one block's bytes, or not hexadecimal
  Failed,      // a raised error that is not the line's (a file, a chunk of 0)
};
struct TrackReadOutcome {
  TrackReadEnd end = TrackReadEnd::Read;
  std::string driveLine;  // DriveError: the pane line naming where and the drive's own words (UTF-8)
  std::string errorLine;  // a raised error's line for the pane; empty when none was raised
  bool partial = false;   // the last, shorter chunk failed after the full ones were read
  bool delivered = false; // `deliver` took the bytes
};
// The track read itself, without pane lines: `deliver` gets the bytes once
// every sector was read, or, with `keepPartial`, the whole blocks read before
// a failed last chunk. The drive's answer to each read command is looked at:
// an error line fails the read, as the buffer then holds other sectors.
// Conversion errors of sectorCount, bufferBase and chunk reach the caller;
// later raised errors (`deliver`'s too) end the read without the closing "/".
TrackReadOutcome ReadTrackSectors(TFrmMain& main, const std::string& cylinder, const std::string& head,
                                  const std::string& startSector, const std::string& sectorCount,
                                  const std::string& bufferBase, const std::string& chunk, bool keepPartial,
                                  const std::function<void(const std::vector<uint8_t>&)>& deliver);

// Writes at most sectorCount sectors of fileName to track (cylinder, head)
// from startSector, chunk sectors per download; rateText is the rate to
// restore when the drive falls back to 9600 baud after a download. A chunk
// below 1 raises std::invalid_argument after the first prompt request; a file
// that cannot be read or is larger than kMaxDownloadFileBytes raises
// EFileError before anything is sent. True when every chunk was written.
bool WriteTrack(TFrmMain& main, const std::string& cylinder, const std::string& head,
                const std::string& startSector, const std::string& sectorCount,
                const std::string& bufferPosition, const std::string& chunk,
                const std::string& fileName, const std::string& rateText);

// The drive's flash ROM, with the drive at the F level. The reads create
// fileName only with a whole 64 KiB image and report a raised error (a reply
// that is not hexadecimal, the file) in the pane, returning false.

// Fast read: the drive copies the ROM into buffer blocks 0 to 127, which are
// dumped; the 48 bytes from 0x140 are read one by one. An image that looks
// wrong is offered to the instruction read (a question box).
bool ReadRom(TFrmMain& main, const std::string& fileName);
// Instruction read: 65536 single-byte reads.
bool ReadROM1(TFrmMain& main, const std::string& fileName);
// Fast write: fileName downloaded into the buffer after "d" + entryBuffer
// (verbatim), then programmed. A file that is empty, not a multiple of 512
// bytes or more than one download's 255 blocks is refused with a message box
// before anything is sent; one that cannot be read or is larger than
// kMaxRomFileBytes raises EFileError, also before anything is sent. True
// when the ROM was programmed.
bool WriteBios(TFrmMain& main, const std::string& entryBuffer, const std::string& fileName);
// The fast write's rule for its file, for the checks before the drive is
// touched: one download of whole 512-byte blocks, at least one and at most
// 255. False after a message box that says which it breaks.
bool FastWriteImageAccepted(TFrmMain& main, uint64_t size);
// Instruction write: the first 65536 bytes of fileName, one command each. A
// file that cannot be read, is shorter or is larger than kMaxRomFileBytes is
// refused in the pane, nothing sent. True when every byte was written.
bool WriteBios1(TFrmMain& main, const std::string& fileName);
// The instruction write's rule: at least the ROM's 65536 bytes. False after a
// message box.
bool InstructionWriteImageAccepted(TFrmMain& main, uint64_t size);

}  // namespace qv
