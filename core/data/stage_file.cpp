#include "core/data/stage_file.h"

#include <algorithm>
#include <array>

#include "core/base/text.h"

namespace velmora {

namespace {

constexpr std::string_view door_form = "X Z AREA ENTRY_X TITLE, with an area from stage.txt";
constexpr std::string_view secret_form = "X Z AREA ENTRY_X, with an area from stage.txt";
constexpr std::string_view lever_form = "X Z BARRIER_X";
constexpr std::string_view barrier_form = "X";
constexpr std::string_view trap_form = "X Z DICE ADD";
constexpr std::string_view chest_form = "X Z open|locked TABLE [LOCK], with a table from loot.txt";
constexpr std::string_view barrel_form = "X Z food|silver AMOUNT";
constexpr std::string_view gate_form = "TRIGGER_X CENTER_X";
constexpr std::string_view wave_form = "KIND left|right Z, ... with kinds from kinds.txt";

// The known and the repeatable keys (constant-initialized, like every key table).
constexpr std::array<std::string_view, 21> stage_keys = {
    "name", "length", "depth", "view_w", "exit_x", "barrel", "chest", "gate", "wave", "town", "shop",
    "shop_at", "inn_at", "interior", "door", "secret", "lever", "barrier", "trap", "look", "trainer_at"};
constexpr std::array<std::string_view, 9> stage_repeatable = {
    "barrel", "chest", "gate", "wave", "door", "secret", "lever", "barrier", "trap"};

// Exactly n words, every one a whole number.
std::optional<std::vector<std::int32_t>> whole_words(std::string_view value, std::size_t n) {
  const auto words = split_words(value);
  if (words.size() != n) return std::nullopt;
  std::vector<std::int32_t> numbers;
  for (std::string_view w : words) {
    const auto v = parse_whole(w);
    if (!v) return std::nullopt;
    numbers.push_back(*v);
  }
  return numbers;
}

std::string joined_words(const std::vector<std::string_view>& words, std::size_t from) {
  std::string text;
  for (std::size_t i = from; i < words.size(); ++i) {
    if (i > from) text += ' ';
    text += words[i];
  }
  return text;
}

std::optional<std::int32_t> spawn_side(std::string_view word) {
  if (word == "left") return -1;
  if (word == "right") return 1;
  return std::nullopt;
}

std::optional<bool> chest_locked(std::string_view word) {
  if (word == "open") return false;
  if (word == "locked") return true;
  return std::nullopt;
}

std::array<std::int32_t, 4> four(const std::vector<std::int32_t>& list) {
  std::array<std::int32_t, 4> out{100, 100, 100, 100};
  std::copy_n(list.begin(), std::min<std::size_t>(list.size(), out.size()), out.begin());
  return out;
}

// The readers of the repeatable keys: each takes one entry and gives its
// record, or records one fault and gives none.
class StageEntries {
 public:
  StageEntries(SectionReader& reader, const NameList& stages, const DataNames& names)
      : reader_(reader), stages_(stages), names_(names) {}

  std::optional<DoorDef> door(const SectionEntry& e, bool secret) {
    const auto words = split_words(e.value);
    const bool count_ok = secret ? words.size() == 4 : words.size() >= 5;
    if (count_ok) {
      const auto x = parse_whole(words[0]);
      const auto z = parse_whole(words[1]);
      const auto area = stages_.find(words[2]);
      const auto entry_x = parse_whole(words[3]);
      if (x && z && area && entry_x) {
        return DoorDef{secret ? std::string() : joined_words(words, 4), *area, *x, *z, *entry_x, secret};
      }
    }
    reader_.must_be(e.line, e.key, secret ? secret_form : door_form);
    return std::nullopt;
  }

  std::optional<LeverDef> lever(const SectionEntry& e) {
    if (const auto n = whole_words(e.value, 3)) return LeverDef{(*n)[0], (*n)[1], (*n)[2]};
    reader_.must_be(e.line, e.key, lever_form);
    return std::nullopt;
  }

  std::optional<std::int32_t> barrier(const SectionEntry& e) {
    if (const auto x = parse_whole(e.value)) return x;
    reader_.must_be(e.line, e.key, barrier_form);
    return std::nullopt;
  }

  std::optional<TrapDef> trap(const SectionEntry& e) {
    if (const auto n = whole_words(e.value, 4)) return TrapDef{(*n)[0], (*n)[1], (*n)[2], (*n)[3]};
    reader_.must_be(e.line, e.key, trap_form);
    return std::nullopt;
  }

  std::optional<ChestDef> chest(const SectionEntry& e) {
    const auto words = split_words(e.value);
    if (words.size() == 4 || words.size() == 5) {
      const auto x = parse_whole(words[0]);
      const auto z = parse_whole(words[1]);
      const auto locked = chest_locked(words[2]);
      const auto table = names_.loot.find(words[3]);
      const auto lock = words.size() == 5 ? parse_whole(words[4]) : std::optional<std::int32_t>(0);
      if (x && z && locked && table && lock) return ChestDef{*table, *x, *z, *lock, *locked};
    }
    reader_.must_be(e.line, e.key, chest_form);
    return std::nullopt;
  }

  std::optional<BarrelDef> barrel(const SectionEntry& e) {
    const auto words = split_words(e.value);
    if (words.size() == 4) {
      const auto x = parse_whole(words[0]);
      const auto z = parse_whole(words[1]);
      const auto contents = parse_barrel_contents(words[2]);
      const auto amount = parse_whole(words[3]);
      if (x && z && contents && amount) return BarrelDef{*x, *z, *contents, *amount};
    }
    reader_.must_be(e.line, e.key, barrel_form);
    return std::nullopt;
  }

  std::optional<GateDef> gate(const SectionEntry& e) {
    if (const auto n = whole_words(e.value, 2)) return GateDef{{}, (*n)[0], (*n)[1]};
    reader_.must_be(e.line, e.key, gate_form);
    return std::nullopt;
  }

  // Every part of the value is read; unreadable parts are reported and left out.
  WaveDef wave(const SectionEntry& e) {
    WaveDef wave;
    std::string_view rest = e.value;
    while (true) {
      const std::size_t comma = rest.find(',');
      const std::string_view part = rest.substr(0, comma);
      if (const auto spawn = spawn_of(part)) {
        wave.spawns.push_back(*spawn);
      } else {
        reader_.must_be(e.line, e.key,
                        std::string(wave_form) + " (cannot read '" + std::string(trim_white(part)) + "')");
      }
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
    return wave;
  }

 private:
  std::optional<SpawnDef> spawn_of(std::string_view part) const {
    const auto words = split_words(part);
    if (words.size() != 3) return std::nullopt;
    const auto kind = names_.kinds.find(words[0]);
    const auto side = spawn_side(words[1]);
    const auto z = parse_whole(words[2]);
    // A kind id is one byte; a kind past the 256th cannot be named.
    if (!kind || *kind > UINT8_MAX || !side || !z) return std::nullopt;
    return SpawnDef{*side, *z, static_cast<std::uint8_t>(*kind)};
  }

  SectionReader& reader_;
  const NameList& stages_;
  const DataNames& names_;
};

template <class Record, class Read>
void read_each(const Section& section, std::string_view key, std::vector<Record>& out, Read read) {
  for (const SectionEntry& e : section.entries) {
    if (e.key != key) continue;
    if (auto record = read(e)) out.push_back(std::move(*record));
  }
}

void read_placed(const Section& section, StageEntries& read, StageDef& stage) {
  read_each(section, "door", stage.doors, [&](const SectionEntry& e) { return read.door(e, false); });
  read_each(section, "secret", stage.doors, [&](const SectionEntry& e) { return read.door(e, true); });
  read_each(section, "lever", stage.levers, [&](const SectionEntry& e) { return read.lever(e); });
  read_each(section, "barrier", stage.barriers, [&](const SectionEntry& e) { return read.barrier(e); });
  read_each(section, "trap", stage.traps, [&](const SectionEntry& e) { return read.trap(e); });
  read_each(section, "chest", stage.chests, [&](const SectionEntry& e) { return read.chest(e); });
  read_each(section, "barrel", stage.barrels, [&](const SectionEntry& e) { return read.barrel(e); });
}

// Gates and waves in the order they stand: a wave belongs to the last gate above it.
void read_gates(const Section& section, SectionReader& reader, StageEntries& read, StageDef& stage) {
  for (const SectionEntry& e : section.entries) {
    if (e.key == "gate") {
      if (auto gate = read.gate(e)) stage.gates.push_back(std::move(*gate));
    } else if (e.key == "wave") {
      WaveDef wave = read.wave(e);
      if (stage.gates.empty()) {
        reader.must_be(e.line, e.key, "after a gate");
      } else {
        stage.gates.back().waves.push_back(std::move(wave));
      }
    }
  }
}

void read_scaling(const Section& section, PartyScaling& scaling, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys({"minions", "elite_hp", "boss_hp"});
  scaling.minions = four(reader.read_percentages("minions"));
  scaling.elite_hp = four(reader.read_percentages("elite_hp"));
  scaling.boss_hp = four(reader.read_percentages("boss_hp"));
}

}  // namespace

std::optional<BarrelContents> parse_barrel_contents(std::string_view word) {
  if (word == "food") return BarrelContents::food;
  if (word == "silver") return BarrelContents::silver;
  return std::nullopt;
}

std::string_view barrel_contents_word(BarrelContents contents) {
  switch (contents) {
    case BarrelContents::food: return "food";
    case BarrelContents::silver: return "silver";
  }
  return "food";
}

StageDef parse_stage(const Section& section, const NameList& stages, const DataNames& names, Faults& faults) {
  SectionReader reader(section, faults);
  reader.check_keys(stage_keys, stage_repeatable);
  StageDef stage;
  if (const SectionEntry* e = reader.find_value("name", true)) stage.title = e->value;
  stage.shop_at = reader.optional_point("shop_at");
  stage.trainer_at = reader.optional_point("trainer_at");
  stage.inn_at = reader.optional_point("inn_at");
  stage.name = section.name;
  stage.town = reader.read_flag("town");
  stage.shop = reader.read_item_refs("shop", names.items);
  stage.length = reader.read_int("length", std::nullopt);
  stage.depth = reader.read_int("depth", std::nullopt);
  stage.view_w = reader.read_int("view_w", std::nullopt);
  stage.exit_x = reader.read_int("exit_x", std::nullopt);
  stage.interior = reader.read_flag("interior");
  if (const SectionEntry* e = reader.find_value("look", false)) stage.look = e->value;
  StageEntries read(reader, stages, names);
  read_placed(section, read, stage);
  read_gates(section, reader, read, stage);
  return stage;
}

StageFile read_stage_file(const std::vector<Section>& sections, const DataNames& names, Faults& faults) {
  StageFile file;
  const NameList stages = section_names(sections, "stage");
  for (const Section& section : sections) {
    if (section.kind == "scaling") {
      read_scaling(section, file.scaling, faults);
      continue;
    }
    if (!has_kind(section, "stage", "stage", faults)) continue;
    file.stages.push_back(parse_stage(section, stages, names, faults));
  }
  return file;
}

}  // namespace velmora
