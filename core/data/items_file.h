// Reader of items.txt: weapons, armour, valuables and consumables.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/data/data_names.h"
#include "core/data/moves_file.h"
#include "core/data/value_readers.h"

namespace velmora {

// Where an item goes; weapon, head and body are the three worn places.
enum class ItemSlot : std::uint8_t { weapon = 0, head = 1, body = 2, valuable = 3, consumable = 4 };

std::optional<ItemSlot> parse_item_slot(std::string_view word);
std::string_view item_slot_word(ItemSlot slot);

// DICE ADD TICKS of caltrops left on the floor.
struct HazardSpec {
  std::int32_t dice = 0;
  std::int32_t add = 0;
  std::uint16_t ticks = 0;
  bool operator==(const HazardSpec&) const = default;
};

// One [item NAME] section; its id is its position in the file (16-bit).
struct ItemDef {
  std::string name;
  std::string title;
  std::vector<std::uint8_t> classes;  // kind ids; empty means any class
  std::string model;
  ItemSlot slot = ItemSlot::weapon;
  std::int32_t damage = 0;
  std::int32_t reach = 0;
  std::int32_t dr = 0;
  std::int32_t fatigue = 0;
  std::int32_t weight = 0;  // tenths of a pound
  std::int32_t value = 0;
  bool unique = false;
  std::optional<std::uint8_t> use;  // move id
  std::int32_t heal = 0;
  bool calm = false;
  std::optional<WardSpec> ward;
  std::optional<BurstSpec> burst;
  std::optional<HazardSpec> hazard;
  std::optional<RadiusTicks> turn;
};

std::vector<ItemDef> read_items_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults);

}  // namespace velmora
