// Reader of the moves file.
#pragma once

#include <string>
#include <vector>

#include "core/data_names.h"

namespace velmora {

struct MoveDef {
  std::string name;
};

std::vector<MoveDef> read_moves_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
