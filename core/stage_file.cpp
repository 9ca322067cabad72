#include "core/stage_file.h"

namespace velmora {

StageFile read_stage_file(const std::vector<Section>& sections, const DataNames&, Faults& faults) {
  StageFile file;
  for (const Section& section : sections) {
    if (section.kind == "scaling") continue;
    if (!has_kind(section, "stage", "stage", faults)) continue;
    StageDef stage;
    stage.name = section.name;
    file.stages.push_back(std::move(stage));
  }
  return file;
}

}  // namespace velmora
