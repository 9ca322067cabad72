#include "core/data/game_data.h"

#include <algorithm>
#include <array>
#include <mutex>

#include "core/base/panic.h"
#include "core/base/text.h"
#include "core/data/data_names.h"
#include "core/data/validation.h"

namespace velmora {

extern const std::string_view builtin_texts_array[data_file_count];

namespace {

template <class Record>
std::optional<std::size_t> find_record(const std::vector<Record>& records, std::string_view name) {
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (records[i].name == name) return i;
  }
  return std::nullopt;
}

template <class Record>
std::vector<std::string_view> record_names(const std::vector<Record>& records) {
  std::vector<std::string_view> names;
  names.reserve(records.size());
  for (const Record& r : records) names.push_back(r.name);
  return names;
}

// Ids are one byte for moves and kinds and two for items: more records than
// that would wrap their ids.
void check_count(std::size_t count, std::size_t limit, const char* message, Faults& faults) {
  if (count > limit) faults.push_back(message);
}

// Runs the typed readers in their fixed order over the six section lists.
GameData read_records(const std::array<std::vector<Section>, data_file_count>& files, Faults& faults) {
  GameData data;
  DataNames names;
  names.moves = section_names(files[0], "move");
  data.moves = read_moves_file(files[0], names, faults);
  check_count(data.moves.size(), 256, "moves.txt: more than 256 moves", faults);
  names.kinds = section_names(files[2], "kind");
  names.items = section_names(files[1], "item");
  names.loot = section_names(files[3], "loot");
  data.items = read_items_file(files[1], names, faults);
  check_count(data.items.size(), 65536, "items.txt: more than 65536 items", faults);
  data.loot = read_loot_file(files[3], names, faults);
  data.kinds = read_kinds_file(files[2], names, faults);
  check_count(data.kinds.size(), 256, "kinds.txt: more than 256 kinds", faults);
  StageFile stage = read_stage_file(files[4], names, faults);
  data.stages = std::move(stage.stages);
  data.scaling = stage.scaling;
  if (data.stages.empty()) faults.push_back("stage.txt: needs at least one [stage] section");
  names.stages = NameList(record_names(data.stages));
  names.nodes = section_names(files[5], "node");
  RegionFile region = read_region_file(files[5], names, faults);
  data.nodes = std::move(region.nodes);
  data.campaigns = std::move(region.campaigns);
  return data;
}

// The once-only slot. Both game_data and install_game_data go through it.
std::once_flag slot_once;
const GameData* slot = nullptr;

}  // namespace

DataLoad load_game_data(std::span<const std::string_view> texts) {
  if (texts.size() != data_file_count) {
    return DataLoad(Faults{"expected " + std::to_string(data_file_count) + " data files"});
  }
  Faults faults;
  std::array<std::vector<Section>, data_file_count> files;
  for (std::size_t i = 0; i < data_file_count; ++i) {
    files[i] = parse_data_file(data_file_names[i], texts[i], faults);
  }
  GameData data = read_records(files, faults);
  data.data_hash = data_hash(texts);
  if (!faults.empty()) return DataLoad(std::move(faults));
  Faults invalid = validate_data(data);
  if (!invalid.empty()) return DataLoad(std::move(invalid));
  return DataLoad(std::move(data));
}

std::span<const std::string_view> builtin_texts() {
  return std::span<const std::string_view>(builtin_texts_array, data_file_count);
}

GameData builtin_data() {
  DataLoad load = load_game_data(builtin_texts());
  if (!load.ok()) panic("built-in game data is invalid: " + join(load.faults(), "; "));
  return std::move(load.data());
}

const GameData& game_data() {
  std::call_once(slot_once, [] { slot = new GameData(builtin_data()); });
  return *slot;
}

Status install_game_data(GameData data) {
  bool installed = false;
  std::call_once(slot_once, [&] {
    slot = new GameData(std::move(data));
    installed = true;
  });
  if (!installed) return error("game data is already in use");
  return done();
}

std::optional<std::uint8_t> move_id(const std::vector<MoveDef>& moves, std::string_view name) {
  const auto i = find_record(moves, name);
  if (!i || *i > UINT8_MAX) return std::nullopt;
  return static_cast<std::uint8_t>(*i);
}

std::optional<std::uint8_t> kind_id(const std::vector<KindDef>& kinds, std::string_view name) {
  const auto i = find_record(kinds, name);
  if (!i || *i > UINT8_MAX) return std::nullopt;
  return static_cast<std::uint8_t>(*i);
}

std::optional<std::uint16_t> item_id(const std::vector<ItemDef>& items, std::string_view name) {
  const auto i = find_record(items, name);
  if (!i || *i > UINT16_MAX) return std::nullopt;
  return static_cast<std::uint16_t>(*i);
}

std::optional<std::size_t> stage_index(const std::vector<StageDef>& stages, std::string_view name) {
  return find_record(stages, name);
}

std::optional<std::size_t> campaign_index(const std::vector<CampaignDef>& campaigns, std::string_view name) {
  return find_record(campaigns, name);
}

std::uint8_t first_player_kind(const std::vector<KindDef>& kinds) {
  for (std::size_t i = 0; i < kinds.size() && i <= UINT8_MAX; ++i) {
    if (kinds[i].player) return static_cast<std::uint8_t>(i);
  }
  panic("validated: a playable kind");
}

const std::string& item_title(std::uint16_t id) {
  const GameData& data = game_data();
  VELMORA_CHECK(id < data.items.size(), "item id out of range");
  return data.items[id].title;
}

ConsumableList bag_consumables(std::span<const std::uint16_t> bag) {
  const GameData& data = game_data();
  ConsumableList out;
  for (std::uint16_t id : bag) {
    VELMORA_CHECK(id < data.items.size(), "item id out of range");
    if (data.items[id].slot != ItemSlot::consumable) continue;
    if (!out.contains(id)) out.push_back(id);
  }
  return out;
}

}  // namespace velmora
