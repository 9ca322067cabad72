#include "core/projectiles.h"

namespace velmora {

// Nothing flies and nothing burns yet.
void update_projectiles(World&) {}
void update_hazards(World&) {}

}  // namespace velmora
