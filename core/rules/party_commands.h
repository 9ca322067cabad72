// The player commands: what a party slot does to a running world between
// ticks (hand silver, buy, sell, spend a point, equip, unequip, drop, train,
// leave, join) and the debug give. Each checks its conditions in a fixed
// order and stops at the first refusal, changing nothing; on success each but
// the debug give pushes exactly one event. Replays apply refused commands
// again, so the order of the checks is part of the replay format.
//
// A slot is any unsigned number: one above 255 matches no player, and is never
// cut down onto another slot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/base/result.h"
#include "core/world/actor.h"
#include "core/world/world.h"

namespace velmora {

// Where a dropped item is taken from.
enum class DropPlace : std::uint8_t { worn = 0, bag = 1 };

// The index of the first player on the slot who has not left.
std::optional<std::size_t> actor_of_slot(const World& world, std::uint64_t slot);

Status give_silver(World& world, std::uint64_t from, std::uint64_t to, std::int32_t amount);
Status buy_item(World& world, std::uint64_t slot, std::uint16_t item);
Status sell_item(World& world, std::uint64_t slot, std::uint64_t bag_index);
Status spend_actor_point(World& world, std::uint64_t slot, Attribute attribute);
Status equip_item(World& world, std::uint64_t slot, std::uint64_t bag_index);
Status unequip_item(World& world, std::uint64_t slot, std::uint64_t worn_index);
Status drop_item(World& world, std::uint64_t slot, DropPlace place, std::uint64_t index);
Status train_art(World& world, std::uint64_t slot, std::uint8_t move);
Status leave_slot(World& world, std::uint64_t slot);
Status join_slot(World& world, std::uint64_t slot, std::uint8_t class_id);

// Debug: the item straight into its worn place (what was worn there is lost)
// or into the bag. No event.
Status give_item(World& world, std::uint64_t slot, std::uint16_t item);

}  // namespace velmora
