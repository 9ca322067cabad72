#include "core/loot_file.h"

namespace velmora {

std::vector<LootTable> read_loot_file(const std::vector<Section>& sections, const DataNames&, Faults& faults) {
  std::vector<LootTable> records;
  for (const Section& section : sections) {
    if (!has_kind(section, "loot", "loot", faults)) continue;
    LootTable record;
    record.name = section.name;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace velmora
