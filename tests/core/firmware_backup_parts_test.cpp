// Pieces of the backup that need no drive: the ATA split, the readers of the
// drive's answers and the texts of SN.TXT.
#include <gtest/gtest.h>

#include "console/convert.h"
#include "firmware/backup/ata_split.h"
#include "firmware/backup/backup.h"
#include "firmware/backup/form6_backup.h"
#include "firmware/family/family_lookup.h"

namespace qv {
namespace {

constexpr size_t kSector = 512;

// A module of `sectors` sectors of code bytes (none zero, none FF) with the
// given bytes put at their offsets.
std::string Module(size_t sectors, const std::vector<std::pair<size_t, std::string>>& marks) {
  std::string data(sectors * kSector, '\x5A');
  for (const auto& [at, bytes] : marks) data.replace(at, bytes.size(), bytes);
  return data;
}

const std::string kBoundary("\x00\x00\x16\x00", 4);
const std::string kEnd = "\xFF" + std::string(16, '\0');

TEST(AtaSplit, BoundaryAndOverlayEnds) {
  struct Case {
    const char* name;
    std::vector<std::pair<size_t, std::string>> marks;
    size_t sectors;
    std::optional<std::pair<size_t, size_t>> first;   // bytes [a, b) of the module
    std::optional<std::pair<size_t, size_t>> second;
  };
  const size_t b = 60 * kSector;
  const Case cases[] = {
      {"boundary and both ends", {{b, kBoundary}, {40 * kSector - 1, kEnd}, {75 * kSector - 1, kEnd}}, 80,
       std::pair{0, 40 * kSector}, std::pair{b, 75 * kSector}},
      {"boundary without ends", {{b, kBoundary}}, 80, std::pair{0, b}, std::pair{b, 80 * kSector}},
      {"no boundary", {{40 * kSector - 1, kEnd}}, 80, std::nullopt, std::nullopt},
      // Only a place at a sector start counts, and only from byte 25600 on.
      {"boundary off the sector start first", {{b - 7, kBoundary}, {b, kBoundary}}, 80, std::pair{0, b},
       std::pair{b, 80 * kSector}},
      {"boundary before byte 25600 only", {{48 * kSector, kBoundary}}, 80, std::nullopt, std::nullopt},
      // An end counts only with its FF as a sector's last byte, from byte 15360
      // (the first) or ten sectors past the boundary (the second).
      {"ends off the sector end", {{b, kBoundary}, {40 * kSector - 2, kEnd}, {75 * kSector, kEnd}}, 80,
       std::pair{0, b}, std::pair{b, 80 * kSector}},
      {"ends too early", {{b, kBoundary}, {20 * kSector - 1, kEnd}, {65 * kSector - 1, kEnd}}, 80,
       std::pair{0, b}, std::pair{b, 80 * kSector}},
      {"too short for a boundary", {}, 10, std::nullopt, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string module = Module(c.sectors, c.marks);
    const std::optional<AtaOverlays> split = SplitAta(module);
    ASSERT_EQ(split.has_value(), c.first.has_value());
    if (!split) continue;
    EXPECT_EQ(split->first, module.substr(c.first->first, c.first->second - c.first->first));
    EXPECT_EQ(split->second, module.substr(c.second->first, c.second->second - c.second->first));
  }
}

TEST(BackupReplies, BufferAddress) {
  using Lines = std::vector<std::string_view>;
  // Level T: lines starting "RD:", the last one wins, values lose their leading zeros.
  BufferAddress a = BufferAddressFromQuestionReply(Lines{"?", "RD:0000:0010", "xRD:9:9", "RD:0400: 0080 ", "F3 T>"});
  EXPECT_EQ(a.base, "400");
  EXPECT_EQ(a.chunk, "80");
  a = BufferAddressFromQuestionReply(Lines{"?", "WR:0400:0080", "F3 T>"});
  EXPECT_EQ(a.base, "");
  EXPECT_EQ(a.chunk, "");
  // Elsewhere: the first line holding "RD:", the chunk ends at the next ":".
  a = BufferAddressFromB0Reply(Lines{"B0", "Seg 0 RD:0400:0080:8080 WR:1:1", "Seg 1 RD:1:1:1"});
  EXPECT_EQ(a.base, "400");
  EXPECT_EQ(a.chunk, "80");
  a = BufferAddressFromB0Reply(Lines{"Seg RD:0400:0080"});  // no ":" after the chunk: none named
  EXPECT_EQ(a.base, "400");
  EXPECT_EQ(a.chunk, "");
  EXPECT_THROW(BufferAddressFromQuestionReply(Lines{"RD:04G0:80"}), EConvertError);
}

TEST(BackupReplies, SnTextLines) {
  using Lines = std::vector<std::string_view>;
  std::string vendor(4 * 512 + 54, '\0');
  vendor += "UQROAVENS MID IREV                  ";  // "QUORVANE SIM DRIVE" as the drive keeps it
  EXPECT_EQ(VendorModelText(vendor), "QUORVANE SIM DRIVE");
  EXPECT_EQ(VendorModelText(vendor.substr(0, 2000)), "");  // no ID sector at all
  // Trimmed before the swap; an odd last character stays.
  EXPECT_EQ(VendorModelText(std::string(4 * 512 + 54, '\0') + "  BAD\x01"), "ABD");

  EXPECT_EQ(SerialFromPercentReply(Lines{"System area", "  Drive AX: QV0000000001' 3.AAC ", "x AX:2' "}),
            "QV0000000001");
  EXPECT_EQ(SerialFromPercentReply(Lines{"Drive AX:SERIAL"}), "SERIAL");
  EXPECT_EQ(SerialFromPercentReply(Lines{"Drive AX"}), "");
  EXPECT_EQ(SerialFromPercentReply(Lines{"AX:1' ", "F3 T>"}), "");  // no blank before "AX"
}

TEST(BackupFolder, TypeNameStaysOneFolder) {
  EXPECT_EQ(FolderNameFor("NHPLUS2HD_S-1A_3.AAC"), "NHPLUS2HD_S-1A_3.AAC");
  EXPECT_EQ(FolderNameFor("../../ETC_\x01_X/Y"), ".._.._ETC___X_Y");
}

}  // namespace
}  // namespace qv
