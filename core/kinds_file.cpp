#include "core/kinds_file.h"

namespace velmora {

std::vector<KindDef> read_kinds_file(const std::vector<Section>& sections, const DataNames&, Faults& faults) {
  std::vector<KindDef> records;
  for (const Section& section : sections) {
    if (!has_kind(section, "kind", "kind", faults)) continue;
    KindDef record;
    record.name = section.name;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace velmora
