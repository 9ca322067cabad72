// Reader of the loot file.
#pragma once

#include <string>
#include <vector>

#include "core/data_names.h"

namespace velmora {

struct LootTable {
  std::string name;
};

std::vector<LootTable> read_loot_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
