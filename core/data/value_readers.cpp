#include "core/data/value_readers.h"

#include <algorithm>
#include <utility>

#include "core/base/text.h"

namespace velmora {

namespace {

template <class List>
bool contains(const List& list, std::string_view word) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

std::string quoted(std::string_view key) { return "'" + std::string(key) + "'"; }

}  // namespace

std::optional<DamageType> parse_damage_type(std::string_view word) {
  if (word == "crushing") return DamageType::crushing;
  if (word == "cutting") return DamageType::cutting;
  if (word == "impaling") return DamageType::impaling;
  if (word == "burning") return DamageType::burning;
  return std::nullopt;
}

std::string_view damage_type_word(DamageType type) {
  switch (type) {
    case DamageType::crushing: return "crushing";
    case DamageType::cutting: return "cutting";
    case DamageType::impaling: return "impaling";
    case DamageType::burning: return "burning";
  }
  return "crushing";
}

NameList::NameList(std::vector<std::string_view> names) {
  sorted_.reserve(names.size());
  for (std::size_t i = 0; i < names.size(); ++i) sorted_.emplace_back(names[i], i);
  std::sort(sorted_.begin(), sorted_.end());
}

std::optional<std::size_t> NameList::find(std::string_view name) const {
  const auto it = std::lower_bound(sorted_.begin(), sorted_.end(), std::pair<std::string_view, std::size_t>(name, 0));
  if (it == sorted_.end() || it->first != name) return std::nullopt;
  return it->second;
}

NameList section_names(const std::vector<Section>& sections, std::string_view kind) {
  std::vector<std::string_view> names;
  for (const Section& s : sections) {
    if (s.kind == kind) names.push_back(s.name);
  }
  return NameList(std::move(names));
}

void SectionReader::fault(std::uint64_t line, std::string_view text) {
  faults_.push_back(fault_at(section_.file, line, text));
}

void SectionReader::must_be(std::uint64_t line, std::string_view key, std::string_view what) {
  fault(line, quoted(key) + " must be " + std::string(what));
}

void SectionReader::check_keys(std::initializer_list<std::string_view> known,
                               std::initializer_list<std::string_view> repeatable) {
  check_keys(std::span<const std::string_view>(known.begin(), known.size()),
             std::span<const std::string_view>(repeatable.begin(), repeatable.size()));
}

void SectionReader::check_keys(std::span<const std::string_view> known,
                               std::span<const std::string_view> repeatable) {
  std::vector<std::string_view> seen;
  for (const SectionEntry& e : section_.entries) {
    if (!contains(known, e.key)) {
      fault(e.line, "unknown key " + quoted(e.key) + " in [" + section_.kind + " " + section_.name + "]");
      continue;
    }
    if (contains(repeatable, e.key)) continue;
    if (contains(seen, e.key)) {
      fault(e.line, quoted(e.key) + " is set twice");
    } else {
      seen.push_back(e.key);
    }
  }
}

const SectionEntry* SectionReader::find_value(std::string_view key, bool required) {
  for (const SectionEntry& e : section_.entries) {
    if (e.key == key) return &e;
  }
  if (required) {
    fault(section_.line, "[" + section_.kind + " " + section_.name + "] needs " + quoted(key));
  }
  return nullptr;
}

std::vector<std::int32_t> SectionReader::read_ints(std::string_view key, std::size_t n,
                                                   std::optional<std::vector<std::int32_t>> fallback) {
  std::vector<std::int32_t> result = fallback ? *fallback : std::vector<std::int32_t>(n, 0);
  const SectionEntry* entry = find_value(key, !fallback.has_value());
  if (entry == nullptr) return result;
  const auto words = split_words(entry->value);
  std::vector<std::int32_t> numbers;
  for (std::string_view w : words) {
    if (auto v = parse_whole(w)) numbers.push_back(*v);
  }
  if (words.size() != n || numbers.size() != n) {
    must_be(entry->line, key,
            std::to_string(n) + " whole number" + (n == 1 ? "" : "s"));
    return result;
  }
  return numbers;
}

std::int32_t SectionReader::read_int(std::string_view key, std::optional<std::int32_t> fallback) {
  std::optional<std::vector<std::int32_t>> list;
  if (fallback) list = std::vector<std::int32_t>{*fallback};
  return read_ints(key, 1, list)[0];
}

bool SectionReader::read_flag(std::string_view key) {
  const SectionEntry* entry = find_value(key, false);
  if (entry == nullptr) return false;
  if (entry->value == "yes") return true;
  if (entry->value != "no") must_be(entry->line, key, "yes or no");
  return false;
}

std::optional<std::vector<std::string_view>> SectionReader::read_fields(std::string_view key,
                                                                        std::size_t n, std::size_t k,
                                                                        std::string_view what) {
  const SectionEntry* entry = find_value(key, false);
  if (entry == nullptr) return std::nullopt;
  auto words = split_words(entry->value);
  bool good = words.size() == n;
  for (std::size_t i = 0; good && i < k && i < words.size(); ++i) {
    good = parse_whole(words[i]).has_value();
  }
  if (!good) {
    must_be(entry->line, key, what);
    return std::nullopt;
  }
  return words;
}

std::int32_t field_int(const std::vector<std::string_view>& fields, std::size_t i) {
  if (i >= fields.size()) return 0;
  return parse_whole(fields[i]).value_or(0);
}

std::optional<BurstSpec> SectionReader::read_burst(std::string_view key) {
  const SectionEntry* entry = find_value(key, false);
  if (entry == nullptr) return std::nullopt;
  const auto words = split_words(entry->value);
  if (words.size() == 4) {
    auto dice = parse_whole(words[0]);
    auto add = parse_whole(words[1]);
    auto radius = parse_whole(words[2]);
    auto type = parse_damage_type(words[3]);
    if (dice && add && radius && type) return BurstSpec{*dice, *add, *radius, *type};
  }
  must_be(entry->line, key, "DICE ADD RADIUS crushing|cutting|impaling|burning");
  return std::nullopt;
}

std::optional<std::uint8_t> SectionReader::read_move_ref(std::string_view key, const NameList& moves) {
  const SectionEntry* entry = find_value(key, false);
  if (entry == nullptr) return std::nullopt;
  const auto id = moves.find(entry->value);
  if (!id || *id > UINT8_MAX) {
    must_be(entry->line, key, "a move from moves.txt ('" + entry->value + "' is not)");
    return std::nullopt;
  }
  return static_cast<std::uint8_t>(*id);
}

std::vector<std::uint16_t> SectionReader::read_item_refs(std::string_view key, const NameList& items) {
  std::vector<std::uint16_t> ids;
  const SectionEntry* entry = find_value(key, false);
  if (entry == nullptr) return ids;
  for (std::string_view word : split_words(entry->value)) {
    const auto id = items.find(word);
    if (id && *id <= UINT16_MAX) {
      ids.push_back(static_cast<std::uint16_t>(*id));
    } else {
      must_be(entry->line, key, "items from items.txt ('" + std::string(word) + "' is not)");
    }
  }
  return ids;
}

std::vector<std::uint8_t> SectionReader::read_byte_refs(std::string_view key, const NameList& names,
                                                        std::string_view what) {
  std::vector<std::uint8_t> ids;
  const SectionEntry* entry = find_value(key, false);
  if (entry == nullptr) return ids;
  for (std::string_view word : split_words(entry->value)) {
    const auto id = names.find(word);
    if (id && *id <= UINT8_MAX) {
      ids.push_back(static_cast<std::uint8_t>(*id));
    } else {
      must_be(entry->line, key, std::string(what) + " ('" + std::string(word) + "' is not)");
    }
  }
  return ids;
}

std::vector<std::int32_t> SectionReader::read_percentages(std::string_view key) {
  return read_ints(key, 4, std::vector<std::int32_t>{100, 100, 100, 100});
}

std::optional<Point> SectionReader::optional_point(std::string_view key) {
  if (find_value(key, false) == nullptr) return std::nullopt;
  const auto xz = read_ints(key, 2, std::nullopt);
  return Point{xz[0], xz[1]};
}

std::uint16_t limit_ticks(std::int32_t value) {
  return static_cast<std::uint16_t>(std::clamp<std::int32_t>(value, 0, 65535));
}

std::uint16_t frame_count(std::int32_t value) { return limit_ticks(value); }

}  // namespace velmora
