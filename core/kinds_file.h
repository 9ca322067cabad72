// Reader of the kinds file.
#pragma once

#include <string>
#include <vector>

#include "core/data_names.h"

namespace velmora {

struct KindDef {
  std::string name;
};

std::vector<KindDef> read_kinds_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
