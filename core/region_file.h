// Reader of the region file: campaign map nodes and campaigns.
#pragma once

#include <string>
#include <vector>

#include "core/data_names.h"

namespace velmora {

struct NodeDef {
  std::string name;
};

struct CampaignDef {
  std::string name;
};

struct RegionFile {
  std::vector<NodeDef> nodes;
  std::vector<CampaignDef> campaigns;
};

RegionFile read_region_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
