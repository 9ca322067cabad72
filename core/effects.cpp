#include "core/effects.h"

namespace velmora {

// Item effects, move effects and projectiles are not part of the game yet:
// the queues are drained by the tick and nothing happens.
void apply_item_effects(World&, const DeferredValue&) {}
void apply_move_effects(World&, const DeferredMove&) {}
void spawn_projectiles(World&, std::size_t) {}

}  // namespace velmora
