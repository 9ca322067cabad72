#include "core/data/loot_file.h"

#include "core/base/text.h"
#include "core/data/value_readers.h"

namespace velmora {

namespace {

constexpr std::string_view entry_form =
    "item NAME WEIGHT, silver MIN MAX WEIGHT or food HEAL WEIGHT, with items from items.txt";

// Whole numbers, all of them or none.
std::optional<std::vector<std::int32_t>> whole_numbers(const std::vector<std::string_view>& words) {
  std::vector<std::int32_t> numbers;
  for (std::string_view w : words) {
    const auto n = parse_whole(w);
    if (!n) return std::nullopt;
    numbers.push_back(*n);
  }
  return numbers;
}

// One item, silver or food line; none when its value has another form.
std::optional<LootEntry> loot_entry(LootKind kind, std::string_view value, const NameList& items) {
  const auto words = split_words(value);
  LootEntry entry;
  entry.kind = kind;
  if (kind == LootKind::item) {
    const auto id = words.size() == 2 ? items.find(words[0]) : std::nullopt;
    const auto weight = words.size() == 2 ? parse_whole(words[1]) : std::nullopt;
    if (!id || *id > UINT16_MAX || !weight) return std::nullopt;
    entry.item = static_cast<std::uint16_t>(*id);
    entry.weight = *weight;
  } else {
    const auto numbers = whole_numbers(words);
    if (!numbers || numbers->size() != (kind == LootKind::silver ? 3U : 2U)) return std::nullopt;
    if (kind == LootKind::silver) {
      entry.min = (*numbers)[0];
      entry.max = (*numbers)[1];
    } else {
      entry.heal = (*numbers)[0];
    }
    entry.weight = numbers->back();
  }
  if (entry.weight < 0) return std::nullopt;
  return entry;
}

LootTable read_table(const Section& section, const DataNames& names, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys({"rolls", "item", "silver", "food"}, {"item", "silver", "food"});
  LootTable table;
  table.name = section.name;
  table.rolls = reader.read_int("rolls", std::nullopt);
  for (const SectionEntry& line : section.entries) {
    const auto kind = parse_loot_kind(line.key);
    if (!kind) continue;
    if (auto entry = loot_entry(*kind, line.value, names.items)) {
      table.entries.push_back(*entry);
    } else {
      reader.must_be(line.line, line.key, entry_form);
    }
  }
  return table;
}

}  // namespace

std::optional<LootKind> parse_loot_kind(std::string_view word) {
  if (word == "item") return LootKind::item;
  if (word == "silver") return LootKind::silver;
  if (word == "food") return LootKind::food;
  return std::nullopt;
}

std::string_view loot_kind_word(LootKind kind) {
  switch (kind) {
    case LootKind::item: return "item";
    case LootKind::silver: return "silver";
    case LootKind::food: return "food";
  }
  return "item";
}

std::vector<LootTable> read_loot_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults) {
  std::vector<LootTable> tables;
  for (const Section& section : sections) {
    if (!has_kind(section, "loot", "loot", faults)) continue;
    tables.push_back(read_table(section, names, faults));
  }
  return tables;
}

}  // namespace velmora
