#pragma once
// The sums of the drive's block download. The drive checks every block with a
// 16-bit block checksum and the whole download with a closing checksum; both
// come from the same running sum.
#include <cstddef>
#include <cstdint>

namespace qv {

// acc += b XOR (acc AND 0xAA) for each byte, starting from `seed`, wrapping at
// 32 bits. Callers use only the low 16 bits.
uint32_t RunningSum(const uint8_t* data, size_t size, uint32_t seed = 0);

// The running sum of the block with its number folded in the same way.
uint16_t BlockChecksum(const uint8_t* data, size_t size, uint32_t blockNumber);

// The running sum of all the data of a download, in memory order (block 0's
// bytes first), whatever order the blocks travelled in.
uint16_t ClosingChecksum(const uint8_t* data, size_t size);

}  // namespace qv
