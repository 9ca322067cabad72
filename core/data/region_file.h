// Reader of the region file: the places of the campaign maps and the
// campaigns that walk between them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/data/data_names.h"

namespace velmora {

// A position on the campaign map.
struct MapPoint {
  std::int32_t x = 0;
  std::int32_t y = 0;
  bool operator==(const MapPoint&) const = default;
};

struct NodeDef {
  std::string name;   // the section name
  std::string title;  // the name on the map
  std::string blurb;  // empty when missing
  std::size_t stage = 0;  // stage index played here
  MapPoint at;
  std::vector<std::size_t> links;  // node indexes, in the order written
  bool operator==(const NodeDef&) const = default;
};

struct CampaignDef {
  std::string name;   // the section name
  std::string title;  // the name in the campaign list
  std::string blurb;  // empty when missing
  std::size_t start = 0;  // node index where a new game begins
  std::vector<std::size_t> nodes;     // every node on its map
  std::vector<std::size_t> optional;  // side branches, not counted as levels
  bool operator==(const CampaignDef&) const = default;
};

struct RegionFile {
  std::vector<NodeDef> nodes;
  std::vector<CampaignDef> campaigns;
};

// Stage names resolve through names.stages, node names through names.nodes.
RegionFile read_region_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
