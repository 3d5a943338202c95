#include "firmware/backup/ata_split.h"

namespace qv {

namespace {

constexpr size_t kSector = 512;
constexpr size_t kBoundaryFrom = 25600;
constexpr size_t kFirstEndFrom = 15360;
constexpr size_t kSecondEndAfter = 5120;  // past the second overlay's start
constexpr std::string_view kBoundary("\x00\x00\x16\x00", 4);
constexpr std::string_view kEnd("\xFF\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00", 17);

// The first place at or after `from` where `pattern` lies and `aligned` holds.
template <typename Aligned>
std::optional<size_t> FindAligned(std::string_view data, std::string_view pattern, size_t from, Aligned aligned) {
  for (size_t at = data.find(pattern, from); at != std::string_view::npos; at = data.find(pattern, at + 1))
    if (aligned(at)) return at;
  return std::nullopt;
}

// The FF of an overlay end is the last byte of a sector.
std::optional<size_t> FindEnd(std::string_view data, size_t from) {
  return FindAligned(data, kEnd, from, [](size_t at) { return (at + 1) % kSector == 0; });
}

}  // namespace

std::optional<AtaOverlays> SplitAta(std::string_view module) {
  const std::optional<size_t> boundary =
      FindAligned(module, kBoundary, kBoundaryFrom, [](size_t at) { return at % kSector == 0; });
  if (!boundary) return std::nullopt;

  std::string_view first = module.substr(0, *boundary);
  if (const std::optional<size_t> end = FindEnd(first, kFirstEndFrom); end && *end > 0)
    first = first.substr(0, *end + 1);
  std::string_view second = module;
  if (const std::optional<size_t> end = FindEnd(second, *boundary + kSecondEndAfter); end && *end > 0)
    second = second.substr(0, *end + 1);
  return AtaOverlays{std::string(first), std::string(second.substr(*boundary)), *boundary};
}

}  // namespace qv
