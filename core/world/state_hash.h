// The 64-bit digest of a world that identifies a game state across machines:
// FNV-1a over a fixed little-endian byte stream of the data hash and every
// hashed field of the world, walked list by list in a fixed order.
#pragma once

#include <cstdint>
#include <vector>

#include "core/world/world.h"

namespace velmora {

// The state hash with the process-wide game data's data hash.
std::uint64_t state_hash(const World& world);

// The state hash with the given data hash in front.
std::uint64_t state_hash(const World& world, std::uint64_t data_hash);

// Streams the hazard step into h: serial, owner, x, z, ticks and the length of
// each hit list.
std::uint64_t hash_hazards(std::uint64_t h, const std::vector<Hazard>& hazards);

}  // namespace velmora
