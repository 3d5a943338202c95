// The drive's own view of the download checksums. Kept apart from the PC's
// transfer code on purpose: the simulated drive must be an independent check.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qv::sim {

// acc += b XOR (acc AND 0xAA) for every byte, wrapping at 32 bits.
uint32_t RunningSum(const uint8_t* data, size_t size, uint32_t seed = 0);

// Running sum of the block, then the block number folded in the same way; low 16 bits.
uint16_t BlockChecksum(const uint8_t* data, size_t size, unsigned blockNumber);

}  // namespace qv::sim
