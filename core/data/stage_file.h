// Reader of the stage file: the stages with everything placed in them, and
// the party scaling.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/data_names.h"
#include "core/data/value_readers.h"

namespace velmora {

// What a barrel drops when broken.
enum class BarrelContents : std::uint16_t { food = 0, silver = 1 };

std::optional<BarrelContents> parse_barrel_contents(std::string_view word);
std::string_view barrel_contents_word(BarrelContents contents);

// One enemy of a wave: "KIND left|right Z".
struct SpawnDef {
  std::int32_t side = 1;  // -1 left, +1 right
  std::int32_t z = 0;
  std::uint8_t kind = 0;  // kind id
  bool operator==(const SpawnDef&) const = default;
};

// The spawns of one "wave" line, in the order written.
struct WaveDef {
  std::vector<SpawnDef> spawns;
  bool operator==(const WaveDef&) const = default;
};

struct GateDef {
  std::vector<WaveDef> waves;
  std::int32_t trigger_x = 0;
  std::int32_t center_x = 0;
  bool operator==(const GateDef&) const = default;
};

struct BarrelDef {
  std::int32_t x = 0;
  std::int32_t z = 0;
  BarrelContents contents = BarrelContents::food;
  std::int32_t amount = 0;
  bool operator==(const BarrelDef&) const = default;
};

struct ChestDef {
  std::uint64_t table = 0;  // loot table index
  std::int32_t x = 0;
  std::int32_t z = 0;
  std::int32_t lock = 0;  // lock-picking penalty, 0 when not given
  bool locked = false;
  bool operator==(const ChestDef&) const = default;
};

// A door or a secret passage into another stage.
struct DoorDef {
  std::string title;        // empty for a secret passage
  std::uint64_t area = 0;   // stage index of the target
  std::int32_t x = 0;
  std::int32_t z = 0;
  std::int32_t entry_x = 0;  // where a traveller arrives in the target
  bool secret = false;
  bool operator==(const DoorDef&) const = default;
};

struct LeverDef {
  std::int32_t x = 0;
  std::int32_t z = 0;
  std::int32_t barrier_x = 0;
  bool operator==(const LeverDef&) const = default;
};

struct TrapDef {
  std::int32_t x = 0;
  std::int32_t z = 0;
  std::int32_t dice = 0;
  std::int32_t add = 0;
  bool operator==(const TrapDef&) const = default;
};

struct StageDef {
  std::string name;   // the section name; doors, nodes and lookups use it
  std::string title;  // the display name (key "name"), empty when missing
  std::vector<std::uint16_t> shop;  // item ids
  std::vector<GateDef> gates;
  std::vector<BarrelDef> barrels;
  std::vector<ChestDef> chests;
  std::string look;
  std::vector<DoorDef> doors;  // the doors first, then the secret passages
  std::vector<LeverDef> levers;
  std::vector<std::int32_t> barriers;
  std::vector<TrapDef> traps;
  std::optional<Point> shop_at;
  std::optional<Point> inn_at;
  std::optional<Point> trainer_at;
  std::int32_t length = 0;
  std::int32_t depth = 0;
  std::int32_t view_w = 0;
  std::int32_t exit_x = 0;  // 0: no walk-out exit
  bool town = false;
  bool interior = false;
  bool operator==(const StageDef&) const = default;
};

// Percentages by party size: element i applies when i + 1 players are present.
struct PartyScaling {
  std::array<std::int32_t, 4> minions{100, 100, 100, 100};
  std::array<std::int32_t, 4> elite_hp{100, 100, 100, 100};
  std::array<std::int32_t, 4> boss_hp{100, 100, 100, 100};
  bool operator==(const PartyScaling&) const = default;
};

struct StageFile {
  std::vector<StageDef> stages;
  PartyScaling scaling;
};

// Reads one [stage NAME] section; `stages` maps the stage names of the file
// to their indexes. Always gives a record, also when it recorded faults.
StageDef parse_stage(const Section& section, const NameList& stages, const DataNames& names, Faults& faults);

StageFile read_stage_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
