// Reader of loot.txt: the weighted loot tables of chests.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/data_names.h"

namespace velmora {

// The form of a loot entry, named by its key.
enum class LootKind : std::uint8_t { item = 0, silver = 1, food = 2 };

std::optional<LootKind> parse_loot_kind(std::string_view word);
std::string_view loot_kind_word(LootKind kind);

// One weighted entry; the fields of the other forms stay 0.
struct LootEntry {
  LootKind kind = LootKind::item;
  std::uint16_t item = 0;  // item: its id
  std::int32_t min = 0;    // silver: MIN MAX
  std::int32_t max = 0;
  std::int32_t heal = 0;   // food: HEAL
  std::int32_t weight = 0;
  bool operator==(const LootEntry&) const = default;
};

// One [loot NAME] section; its index is its position in the file.
struct LootTable {
  std::string name;
  std::vector<LootEntry> entries;  // in line order
  std::int32_t rolls = 0;
};

std::vector<LootTable> read_loot_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
