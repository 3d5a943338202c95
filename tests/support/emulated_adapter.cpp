#include "tests/support/emulated_adapter.h"

namespace qv::test {

std::chrono::microseconds LineTime(size_t bytes, int rate) {
  return std::chrono::microseconds(static_cast<long long>(bytes) * 10'000'000 / rate);
}

std::vector<PacedWriter::Step> AdapterLumps(const std::string& bytes, const sim::AdapterTiming& timing, int rate,
                                            const std::set<size_t>& endsAfter, std::chrono::microseconds timerPhase) {
  using Clock = sim::AdapterModel::Clock;
  const Clock::time_point start{};
  sim::AdapterModel adapter(timing, rate, start - timerPhase);
  std::vector<PacedWriter::Step> steps;
  const auto leave = [&] {
    const auto at = std::chrono::duration_cast<std::chrono::microseconds>(adapter.NextDeparture() - start);
    steps.push_back({at, adapter.Depart()});
  };
  for (size_t i = 0; i < bytes.size(); ++i) {
    const Clock::time_point arrives = start + LineTime(i + 1, rate);
    while (adapter.NextDeparture() <= arrives) leave();
    adapter.Arrive(arrives, bytes[i], endsAfter.count(i + 1) > 0);
  }
  while (!adapter.Empty()) leave();
  return steps;
}

}  // namespace qv::test
