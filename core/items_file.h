// Reader of the items file.
#pragma once

#include <string>
#include <vector>

#include "core/data_names.h"

namespace velmora {

struct ItemDef {
  std::string name;
};

std::vector<ItemDef> read_items_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
