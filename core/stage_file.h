// Reader of the stage file: the stages and the party scaling.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/data_names.h"

namespace velmora {

struct StageDef {
  std::string name;
};

// Percentages by party size: element i applies when i + 1 players are present.
struct PartyScaling {
  std::array<std::int32_t, 4> minions{100, 100, 100, 100};
  std::array<std::int32_t, 4> elite_hp{100, 100, 100, 100};
  std::array<std::int32_t, 4> boss_hp{100, 100, 100, 100};
};

struct StageFile {
  std::vector<StageDef> stages;
  PartyScaling scaling;
};

StageFile read_stage_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
