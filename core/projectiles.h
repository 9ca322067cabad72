// Projectiles in flight and ground hazards.
#pragma once

#include "core/world.h"

namespace velmora {

void update_projectiles(World& world);
void update_hazards(World& world);

}  // namespace velmora
