// A game played as a campaign: the party between stages, the nodes cleared
// and where the party stands on the region map.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/result.h"
#include "core/world/actor.h"

namespace velmora {

struct CampaignState {
  std::vector<CharacterSheet> party;  // ordered by slot
  std::vector<std::uint8_t> cleared;  // one flag per region node (all nodes)
  std::uint64_t campaign = 0;         // index of the campaign
  std::uint64_t current_node = 0;     // index of the region node where the party stands
  bool operator==(const CampaignState&) const = default;
};

// One new character per class, in order.
std::vector<CharacterSheet> new_party(const std::vector<std::uint8_t>& classes);

// The party renumbered 0, 1, 2, ...; the campaign index held to the last
// campaign (0 without campaigns); standing on the campaign's start node;
// nothing cleared.
CampaignState new_campaign_state(std::uint64_t campaign, std::vector<CharacterSheet> party);

// The first region node of exactly that name.
std::optional<std::uint64_t> node_by_name(std::string_view name);

// The stage index of the node where the party stands (0 when the region has
// no such node).
std::uint64_t current_stage(const CampaignState& campaign);

// Whether the party may set off from where it stands to the target node: the
// target must be linked from here and on the campaign's map, and a node
// other than a town must have been cleared first.
bool may_travel(const CampaignState& campaign, std::uint64_t target);

// Moves the party to the target node, or says why it cannot go.
Status travel_to(CampaignState& campaign, std::uint64_t target);

// After a cleared stage: the party's sheets become the campaign's and the
// current node counts as cleared.
void note_cleared(CampaignState& campaign, std::vector<CharacterSheet> party);

}  // namespace velmora
