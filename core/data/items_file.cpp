#include "core/data/items_file.h"

#include <array>
#include <limits>

#include "core/base/text.h"

namespace velmora {

namespace {

constexpr std::string_view slot_form = "weapon, head, body, valuable or consumable";
constexpr std::string_view weight_form = "pounds, with at most one decimal";

// The known keys; none may repeat (constant-initialized, like every key table).
constexpr std::array<std::string_view, 18> item_keys = {
    "title", "slot", "classes", "damage", "reach", "dr",    "weight", "value",  "model",
    "unique", "use", "heal",    "calm",   "ward",  "burst", "hazard", "turn",   "fatigue"};

std::optional<std::int32_t> to_int32(std::int64_t value) {
  if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max()) {
    return std::nullopt;
  }
  return static_cast<std::int32_t>(value);
}

// Pounds with at most one decimal, in tenths: "3" is 30, "1.5" is 15. A minus
// sign covers the whole number, so "-0.5" is -5. None when the text has
// another form or the tenths leave the 32-bit range.
std::optional<std::int32_t> tenths_of_pounds(std::string_view text) {
  const std::size_t point = text.find('.');
  if (point == std::string_view::npos) {
    const auto pounds = parse_whole(text);
    if (!pounds) return std::nullopt;
    return to_int32(std::int64_t{*pounds} * 10);
  }
  const auto pounds = parse_whole(text.substr(0, point));
  const std::string_view decimal = text.substr(point + 1);
  if (!pounds || decimal.size() != 1 || decimal[0] < '0' || decimal[0] > '9') return std::nullopt;
  const std::int64_t magnitude = (*pounds < 0 ? -std::int64_t{*pounds} : std::int64_t{*pounds}) * 10 +
                                 (decimal[0] - '0');
  return to_int32(text.front() == '-' ? -magnitude : magnitude);
}

void read_slot(SectionReader& reader, ItemDef& item) {
  const SectionEntry* entry = reader.find_value("slot", true);
  if (entry == nullptr) return;
  if (const auto slot = parse_item_slot(entry->value)) {
    item.slot = *slot;
  } else {
    reader.must_be(entry->line, "slot", slot_form);
  }
}

void read_weight(SectionReader& reader, ItemDef& item) {
  const SectionEntry* entry = reader.find_value("weight", true);
  if (entry == nullptr) return;
  if (const auto tenths = tenths_of_pounds(entry->value)) {
    item.weight = *tenths;
  } else {
    reader.must_be(entry->line, "weight", weight_form);
  }
}

std::string required_text(SectionReader& reader, std::string_view key) {
  const SectionEntry* entry = reader.find_value(key, true);
  return entry != nullptr ? entry->value : std::string();
}

// ward, turn and hazard.
void read_effect_fields(SectionReader& reader, ItemDef& item) {
  if (const auto f = reader.read_fields("ward", 2, 2, "DR TICKS")) {
    item.ward = WardSpec{field_int(*f, 0), limit_ticks(field_int(*f, 1))};
  }
  if (const auto f = reader.read_fields("turn", 2, 2, "RADIUS TICKS")) {
    item.turn = RadiusTicks{field_int(*f, 0), limit_ticks(field_int(*f, 1))};
  }
  if (const auto f = reader.read_fields("hazard", 3, 3, "DICE ADD TICKS")) {
    item.hazard = HazardSpec{field_int(*f, 0), field_int(*f, 1), limit_ticks(field_int(*f, 2))};
  }
}

ItemDef read_item(const Section& section, const DataNames& names, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys(item_keys, {});
  ItemDef item;
  item.name = section.name;
  item.title = required_text(reader, "title");
  item.model = required_text(reader, "model");
  read_slot(reader, item);
  item.classes = reader.read_byte_refs("classes", names.kinds, "kinds from kinds.txt");
  read_weight(reader, item);
  item.use = reader.read_move_ref("use", names.moves);
  read_effect_fields(reader, item);
  item.burst = reader.read_burst("burst");
  item.heal = reader.read_int("heal", 0);
  item.calm = reader.read_flag("calm");
  item.damage = reader.read_int("damage", 0);
  item.reach = reader.read_int("reach", 0);
  item.dr = reader.read_int("dr", 0);
  item.value = reader.read_int("value", 0);
  item.unique = reader.read_flag("unique");
  item.fatigue = reader.read_int("fatigue", 0);
  return item;
}

}  // namespace

std::optional<ItemSlot> parse_item_slot(std::string_view word) {
  if (word == "weapon") return ItemSlot::weapon;
  if (word == "head") return ItemSlot::head;
  if (word == "body") return ItemSlot::body;
  if (word == "valuable") return ItemSlot::valuable;
  if (word == "consumable") return ItemSlot::consumable;
  return std::nullopt;
}

std::string_view item_slot_word(ItemSlot slot) {
  switch (slot) {
    case ItemSlot::weapon: return "weapon";
    case ItemSlot::head: return "head";
    case ItemSlot::body: return "body";
    case ItemSlot::valuable: return "valuable";
    case ItemSlot::consumable: return "consumable";
  }
  return "weapon";
}

std::vector<ItemDef> read_items_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults) {
  std::vector<ItemDef> items;
  for (const Section& section : sections) {
    if (!has_kind(section, "item", "item", faults)) continue;
    items.push_back(read_item(section, names, faults));
  }
  return items;
}

}  // namespace velmora
