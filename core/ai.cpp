#include "core/ai.h"

namespace velmora {

// Enemies stand until they learn to think.
AiInput enemy_input(World&, std::size_t) { return AiInput{}; }

}  // namespace velmora
