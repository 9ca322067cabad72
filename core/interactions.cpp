#include "core/interactions.h"

namespace velmora {

// The use button does nothing yet; nothing is picked up and no trap springs.
void interact(World&, std::size_t) {}
void finish_work(World&, std::size_t) {}
void take_pickups(World&) {}
void update_traps(World&) {}

}  // namespace velmora
