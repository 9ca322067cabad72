// The whole game content after a successful load, the process-wide slot that
// holds it, and the name-to-id lookups.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <variant>
#include <vector>

#include "core/base/panic.h"
#include "core/base/result.h"
#include "core/base/small_vector.h"
#include "core/data/data_file.h"
#include "core/data/items_file.h"
#include "core/data/kinds_file.h"
#include "core/data/loot_file.h"
#include "core/data/moves_file.h"
#include "core/data/region_file.h"
#include "core/data/stage_file.h"

namespace velmora {

struct GameData {
  std::vector<MoveDef> moves;
  std::vector<KindDef> kinds;
  std::vector<ItemDef> items;
  std::vector<LootTable> loot;
  std::vector<StageDef> stages;
  std::vector<NodeDef> nodes;
  std::vector<CampaignDef> campaigns;
  PartyScaling scaling;
  std::uint64_t data_hash = 0;
};

// Either the loaded data or the non-empty list of every fault found.
class DataLoad {
 public:
  explicit DataLoad(GameData data) : value_(std::move(data)) {}
  explicit DataLoad(Faults faults) : value_(std::move(faults)) {}
  bool ok() const { return value_.index() == 0; }
  GameData& data() {
    VELMORA_CHECK(ok(), "the data load failed");
    return std::get<0>(value_);
  }
  const Faults& faults() const {
    VELMORA_CHECK(!ok(), "the data load succeeded");
    return std::get<1>(value_);
  }

 private:
  std::variant<GameData, Faults> value_;
};

// Parses, reads and validates the six texts given in load order.
DataLoad load_game_data(std::span<const std::string_view> texts);

// The six built-in texts, in load order.
std::span<const std::string_view> builtin_texts();

// Loads the built-in texts; a fault there is a broken build and panics.
GameData builtin_data();

// The process-wide game data; the built-in set is loaded on first use.
const GameData& game_data();

// Installs data read from a folder; refused once the slot is in use.
Status install_game_data(GameData data);

// Name lookups: exact bytes, first match.
std::optional<std::uint8_t> move_id(const std::vector<MoveDef>& moves, std::string_view name);
std::optional<std::uint8_t> kind_id(const std::vector<KindDef>& kinds, std::string_view name);
std::optional<std::uint16_t> item_id(const std::vector<ItemDef>& items, std::string_view name);
std::optional<std::size_t> stage_index(const std::vector<StageDef>& stages, std::string_view name);
std::optional<std::size_t> campaign_index(const std::vector<CampaignDef>& campaigns, std::string_view name);

// The first kind with the player flag: the default class. Validated data has one.
std::uint8_t first_player_kind(const std::vector<KindDef>& kinds);

// The title of an item of the process-wide data (an id beyond the list panics).
const std::string& item_title(std::uint16_t id);

// The distinct consumables of a bag, in the order of their first appearance.
using ConsumableList = SmallVector<std::uint16_t, 16>;
ConsumableList bag_consumables(std::span<const std::uint16_t> bag);

}  // namespace velmora
