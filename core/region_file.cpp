#include "core/region_file.h"

namespace velmora {

RegionFile read_region_file(const std::vector<Section>& sections, const DataNames&, Faults& faults) {
  RegionFile file;
  for (const Section& section : sections) {
    if (section.kind == "campaign") {
      file.campaigns.push_back(CampaignDef{section.name});
      continue;
    }
    if (!has_kind(section, "node", "node", faults)) continue;
    file.nodes.push_back(NodeDef{section.name});
  }
  return file;
}

}  // namespace velmora
