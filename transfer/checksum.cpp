#include "transfer/checksum.h"

namespace qv {

uint32_t RunningSum(const uint8_t* data, size_t size, uint32_t seed) {
  uint32_t acc = seed;
  for (size_t i = 0; i < size; ++i) acc += data[i] ^ (acc & 0xAAu);
  return acc;
}

uint16_t BlockChecksum(const uint8_t* data, size_t size, uint32_t blockNumber) {
  const uint32_t acc = RunningSum(data, size);
  return static_cast<uint16_t>(acc + (blockNumber ^ (acc & 0xAAu)));
}

uint16_t ClosingChecksum(const uint8_t* data, size_t size) {
  return static_cast<uint16_t>(RunningSum(data, size));
}

}  // namespace qv
