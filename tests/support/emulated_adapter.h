#pragma once
// An adapter between a drive and a pseudo-terminal, for tests and benchmarks:
// the drive's bytes cross the line at its pace and reach the console in the
// lumps the adapter makes of them (see sim/sim_adapter.h).
#include <chrono>
#include <set>
#include <string>
#include <vector>

#include "sim/sim_adapter.h"
#include "tests/support/raw_pty.h"

namespace qv::test {

// The lumps in which `bytes`, sent by the drive from the start on at `rate`,
// leave the adapter, as steps for a PacedWriter. A lump also ends right after
// each offset in `endsAfter` (1: after the first byte). The USB chip's latency
// timer last ran out at `timerPhase` before the start.
std::vector<PacedWriter::Step> AdapterLumps(const std::string& bytes, const sim::AdapterTiming& timing, int rate,
                                            const std::set<size_t>& endsAfter = {},
                                            std::chrono::microseconds timerPhase = {});

// When the last of `bytes` has crossed the line, after the start.
std::chrono::microseconds LineTime(size_t bytes, int rate);

}  // namespace qv::test
