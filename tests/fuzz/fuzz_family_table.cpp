// A drive-family table file of any bytes, and its records read the way the
// backup and the loading window read them.
#include <cstdlib>

#include "firmware/family/family_table.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  qv::FamilyTable table;
  table.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
  if (table.Count() > qv::FamilyTable::kCapacity || table.Names().size() != table.Count()) std::abort();
  for (int i = 0; i <= static_cast<int>(table.Count()); ++i) {
    const qv::FamilyRecord* record = table.AtListPosition(i);
    if ((record == nullptr) != (i == static_cast<int>(table.Count()))) std::abort();
    if (!record) break;
    for (const std::string* field : {&record->APP, &record->CERT0, &record->CERT1, &record->TABLE, &record->ATA,
                                     &record->VEN})
      if (qv::SplitLocation(*field, 6, true).size() > 6 || qv::SplitLocation(*field, 4, false).size() > 4)
        std::abort();
  }
  return 0;
}
