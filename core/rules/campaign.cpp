#include "core/rules/campaign.h"

#include <algorithm>

#include "core/data/game_data.h"

namespace velmora {

std::vector<CharacterSheet> new_party(const std::vector<std::uint8_t>& classes) {
  std::vector<CharacterSheet> party;
  party.reserve(classes.size());
  for (std::uint8_t class_id : classes) party.push_back(new_character(class_id));
  return party;
}

CampaignState new_campaign_state(std::uint64_t campaign, std::vector<CharacterSheet> party) {
  const GameData& data = game_data();
  CampaignState state;
  for (std::size_t i = 0; i < party.size(); ++i) party[i].slot = static_cast<std::uint8_t>(i);
  state.party = std::move(party);
  const std::uint64_t count = data.campaigns.size();
  state.campaign = count == 0 ? 0 : std::min(campaign, count - 1);
  state.current_node = state.campaign < count ? data.campaigns[state.campaign].start : 0;
  state.cleared.assign(data.nodes.size(), 0);
  return state;
}

std::optional<std::uint64_t> node_by_name(std::string_view name) {
  const auto& nodes = game_data().nodes;
  for (std::size_t i = 0; i < nodes.size(); ++i) {
    if (nodes[i].name == name) return i;
  }
  return std::nullopt;
}

std::uint64_t current_stage(const CampaignState& campaign) {
  const auto& nodes = game_data().nodes;
  return campaign.current_node < nodes.size() ? nodes[campaign.current_node].stage : 0;
}

bool may_travel(const CampaignState& campaign, std::uint64_t target) {
  const GameData& data = game_data();
  if (campaign.current_node >= data.nodes.size()) return false;
  const NodeDef& here = data.nodes[campaign.current_node];
  if (std::find(here.links.begin(), here.links.end(), target) == here.links.end()) return false;
  if (campaign.campaign < data.campaigns.size()) {
    const auto& map = data.campaigns[campaign.campaign].nodes;
    if (std::find(map.begin(), map.end(), target) == map.end()) return false;
  }
  if (data.stages[here.stage].town) return true;
  return campaign.current_node < campaign.cleared.size() && campaign.cleared[campaign.current_node] != 0;
}

Status travel_to(CampaignState& campaign, std::uint64_t target) {
  if (target >= game_data().nodes.size()) return error("no such place");
  if (!may_travel(campaign, target)) return error("no open route there");
  campaign.current_node = target;
  return done();
}

void note_cleared(CampaignState& campaign, std::vector<CharacterSheet> party) {
  campaign.party = std::move(party);
  if (campaign.current_node < campaign.cleared.size()) campaign.cleared[campaign.current_node] = 1;
}

}  // namespace velmora
