#include "core/items_file.h"

namespace velmora {

std::vector<ItemDef> read_items_file(const std::vector<Section>& sections, const DataNames&, Faults& faults) {
  std::vector<ItemDef> records;
  for (const Section& section : sections) {
    if (!has_kind(section, "item", "item", faults)) continue;
    ItemDef record;
    record.name = section.name;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace velmora
