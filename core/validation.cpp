#include "core/validation.h"

#include "core/game_data.h"

namespace velmora {

Faults validate_data(const GameData&) { return {}; }

}  // namespace velmora
