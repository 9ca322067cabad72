// How items look to a front end: one item as a character of some class sees
// it, and the players of a running game with what they wear and carry.
#pragma once

#include <cstdint>
#include <span>

#include "core/world/actor.h"
#include "web/json.h"

namespace velmora {

// Adds the item's pairs to an object: "item", "title", "model", "slot",
// "usable" (by that class), "damage", "reach", "dr", "fatigue", "weight" and
// "price", the price a merchant pays for it: the full value of a valuable,
// half the value of anything else.
void item_json(Json& object, std::uint16_t item, std::uint8_t class_id);

// Carried weight against the basic lift 2 × ST²: 0 (unburdened) to 4.
std::int32_t gear_encumbrance(const Actor& actor);

// One object per player who has not left, ordered by slot: slot, class,
// silver, the three worn places, the bag, carried weight, encumbrance, DR,
// fatigue and whether the player is out.
Json gear_json(std::span<const Actor> actors);

}  // namespace velmora
