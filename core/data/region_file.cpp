#include "core/data/region_file.h"

#include "core/base/text.h"

namespace velmora {

namespace {

std::string text_of(SectionReader& reader, std::string_view key, bool required) {
  const SectionEntry* e = reader.find_value(key, required);
  return e == nullptr ? std::string() : e->value;
}

// The whole value names one record of `list`; 0 when missing or unknown.
std::size_t one_ref(SectionReader& reader, std::string_view key, const NameList& list, std::string_view what) {
  const SectionEntry* e = reader.find_value(key, true);
  if (e == nullptr) return 0;
  if (const auto i = list.find(e->value)) return *i;
  reader.must_be(e->line, key, std::string(what) + " ('" + e->value + "' is not)");
  return 0;
}

// Every word names a node; unknown words are reported and left out.
std::vector<std::size_t> node_refs(SectionReader& reader, std::string_view key, const NameList& nodes,
                                   bool required) {
  std::vector<std::size_t> ids;
  const SectionEntry* e = reader.find_value(key, required);
  if (e == nullptr) return ids;
  for (std::string_view word : split_words(e->value)) {
    if (const auto i = nodes.find(word)) {
      ids.push_back(*i);
    } else {
      reader.must_be(e->line, key, "nodes from region.txt ('" + std::string(word) + "' is not)");
    }
  }
  return ids;
}

NodeDef read_node(const Section& section, const DataNames& names, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys({"title", "stage", "at", "links", "blurb"});
  NodeDef node;
  node.name = section.name;
  node.title = text_of(reader, "title", true);
  node.blurb = text_of(reader, "blurb", false);
  node.stage = one_ref(reader, "stage", names.stages, "a stage from stage.txt");
  const auto at = reader.read_ints("at", 2, std::nullopt);
  node.at = MapPoint{at[0], at[1]};
  node.links = node_refs(reader, "links", names.nodes, true);
  return node;
}

CampaignDef read_campaign(const Section& section, const DataNames& names, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys({"title", "blurb", "start", "nodes", "optional"});
  CampaignDef campaign;
  campaign.name = section.name;
  campaign.title = text_of(reader, "title", true);
  campaign.blurb = text_of(reader, "blurb", false);
  campaign.start = one_ref(reader, "start", names.nodes, "a node from region.txt");
  campaign.nodes = node_refs(reader, "nodes", names.nodes, true);
  campaign.optional = node_refs(reader, "optional", names.nodes, false);
  return campaign;
}

}  // namespace

RegionFile read_region_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults) {
  RegionFile file;
  for (const Section& section : sections) {
    if (section.kind == "campaign") {
      file.campaigns.push_back(read_campaign(section, names, faults));
      continue;
    }
    if (!has_kind(section, "node", "node", faults)) continue;
    file.nodes.push_back(read_node(section, names, faults));
  }
  return file;
}

}  // namespace velmora
