#pragma once
// The ATA module holds two overlays one after the other; the module loading
// sends them separately, so the backup cuts them apart.
#include <optional>
#include <string>
#include <string_view>

namespace qv {

struct AtaOverlays {
  std::string first;   // "ATA0.BIN"
  std::string second;  // "ATA1.BIN"
  size_t secondAt = 0;  // where the second begins in the module
};

// The second overlay begins with 00 00 16 00 at a sector start from byte
// 25600 on; each overlay ends with the sector whose last byte is FF and after
// which sixteen zero bytes follow (searched from byte 15360 for the first,
// from ten sectors into the second). Without that beginning there is nothing
// to split; without an end an overlay runs to the boundary or the module's end.
std::optional<AtaOverlays> SplitAta(std::string_view module);

}  // namespace qv
