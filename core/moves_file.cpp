#include "core/moves_file.h"

namespace velmora {

std::vector<MoveDef> read_moves_file(const std::vector<Section>& sections, const DataNames&, Faults& faults) {
  std::vector<MoveDef> records;
  for (const Section& section : sections) {
    if (!has_kind(section, "move", "move", faults)) continue;
    MoveDef record;
    record.name = section.name;
    records.push_back(std::move(record));
  }
  return records;
}

}  // namespace velmora
