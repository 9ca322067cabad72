// The small readers that turn the entries of one section into record fields.
// Each records its fault with the "{file}:{line}: " prefix and yields a
// fallback, so that one load reports every fault.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/data/data_file.h"

namespace velmora {

enum class DamageType : std::uint8_t { crushing = 0, cutting = 1, impaling = 2, burning = 3 };

std::optional<DamageType> parse_damage_type(std::string_view word);
std::string_view damage_type_word(DamageType type);

// An area blow: DICE ADD RADIUS TYPE.
struct BurstSpec {
  std::int32_t dice = 0;
  std::int32_t add = 0;
  std::int32_t radius = 0;
  DamageType damage_type = DamageType::crushing;
  bool operator==(const BurstSpec&) const = default;
};

// An "X Z" point of a stage.
struct Point {
  std::int32_t x = 0;
  std::int32_t z = 0;
  bool operator==(const Point&) const = default;
};

// Section names of one kind, in order; a name's index is its id.
class NameList {
 public:
  NameList() = default;
  explicit NameList(std::vector<std::string_view> names);
  // Exact bytes, first match (a sorted index keeps hostile data sets fast).
  std::optional<std::size_t> find(std::string_view name) const;
  std::size_t size() const { return sorted_.size(); }

 private:
  // (name, index) sorted by name, then index: the first of equal names is the first match.
  std::vector<std::pair<std::string_view, std::size_t>> sorted_;
};

// The names of the sections of one kind (other kinds are left out).
NameList section_names(const std::vector<Section>& sections, std::string_view kind);

class SectionReader {
 public:
  SectionReader(const Section& section, Faults& faults) : section_(section), faults_(faults) {}

  const Section& section() const { return section_; }

  // Records "{file}:{line}: {text}".
  void fault(std::uint64_t line, std::string_view text);
  // Records "{file}:{line}: '{key}' must be {what}".
  void must_be(std::uint64_t line, std::string_view key, std::string_view what);

  void check_keys(std::initializer_list<std::string_view> known,
                  std::initializer_list<std::string_view> repeatable = {});
  void check_keys(std::span<const std::string_view> known, std::span<const std::string_view> repeatable);

  // The first entry with this key; "needs" is recorded when required and missing.
  const SectionEntry* find_value(std::string_view key, bool required);

  // Exactly n whole numbers; the fallback is the default or n zeros.
  std::vector<std::int32_t> read_ints(std::string_view key, std::size_t n,
                                      std::optional<std::vector<std::int32_t>> fallback);
  // One whole number; required when there is no default.
  std::int32_t read_int(std::string_view key, std::optional<std::int32_t> fallback);
  bool read_flag(std::string_view key);
  // Exactly n words, the first k whole numbers; none when missing or bad.
  std::optional<std::vector<std::string_view>> read_fields(std::string_view key, std::size_t n,
                                                           std::size_t k, std::string_view what);
  std::optional<BurstSpec> read_burst(std::string_view key = "burst");
  std::optional<std::uint8_t> read_move_ref(std::string_view key, const NameList& moves);
  std::vector<std::uint16_t> read_item_refs(std::string_view key, const NameList& items);
  // A list of names of records with 8-bit ids (moves, kinds): each known word
  // adds its id in order, repeats kept; each unknown word records
  // "'{key}' must be {what} ('{word}' is not)". Missing: an empty list.
  std::vector<std::uint8_t> read_byte_refs(std::string_view key, const NameList& names,
                                           std::string_view what);
  std::vector<std::int32_t> read_percentages(std::string_view key);
  std::optional<Point> optional_point(std::string_view key);

 private:
  const Section& section_;
  Faults& faults_;
};

// Field i of a read_fields result as a whole number, 0 when it is not one.
std::int32_t field_int(const std::vector<std::string_view>& fields, std::size_t i);

// Limits a number read to an unsigned 16-bit tick count (0..65535).
std::uint16_t limit_ticks(std::int32_t value);
// A frame count: negative gives 0, above 65535 saturates.
std::uint16_t frame_count(std::int32_t value);

}  // namespace velmora
