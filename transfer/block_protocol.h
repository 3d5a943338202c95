#pragma once
// The drive's block download: a sequence start (0xCC, then "3"), numbered
// frames with a 16-bit checksum each, block 0 last, and a closing checksum over
// all the data. Every answer of the drive is a chunk of its own: ready (0x77
// 0x88), acknowledge (0x06) or refuse (0x15).
#include <cstddef>
#include <cstdint>
#include <functional>

namespace qv {

class TFrmMain;

inline constexpr int kReadyTicks = 1500;   // ready answer to a marker
inline constexpr int kAnswerTicks = 200;   // acknowledge or refuse of a block
inline constexpr int kBlockAttempts = 3;
inline constexpr int kMaxBlockNumber = 255;
inline constexpr size_t kMaxBlockSize = 0xFFFF;

// One frame: start marker, number, data, end marker, checksum. A refused or
// unanswered block is sent again from its start marker, three attempts in
// all; a missing ready answer ends it at once. A number outside 0..255 or a
// size outside 1..65535 is refused before anything is sent.
bool SendBlock(TFrmMain& main, const uint8_t* data, size_t size, int blockNumber);

// 0xCC and "3", each answered by ready.
bool OpenSequence(TFrmMain& main);

// The frames of blocks 1..n-1, then block 0, then the closing checksum (no
// answer is awaited for it). `afterBlock`, when given, runs after each of
// blocks 1..n-1 has been acknowledged; returning false abandons the sequence.
// n must be 1..256.
bool SendSequenceBlocks(TFrmMain& main, const uint8_t* data, size_t blockSize, int n,
                        const std::function<bool()>& afterBlock = {});

// Both halves together: the whole download sequence for n blocks.
bool DownloadSequence(TFrmMain& main, const uint8_t* data, size_t blockSize, int n);

}  // namespace qv
