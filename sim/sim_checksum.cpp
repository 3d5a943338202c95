#include "sim/sim_checksum.h"

namespace qv::sim {

uint32_t RunningSum(const uint8_t* data, size_t size, uint32_t seed) {
  uint32_t acc = seed;
  for (size_t i = 0; i < size; ++i) acc += data[i] ^ (acc & 0xAAu);
  return acc;
}

uint16_t BlockChecksum(const uint8_t* data, size_t size, unsigned blockNumber) {
  uint32_t a = RunningSum(data, size);
  a += blockNumber ^ (a & 0xAAu);
  return static_cast<uint16_t>(a & 0xFFFFu);
}

}  // namespace qv::sim
