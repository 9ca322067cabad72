#include "core/replay/replay.h"

#include <algorithm>
#include <limits>

#include "core/base/text.h"
#include "core/data/game_data.h"

namespace velmora {

namespace {

constexpr std::string_view magic_word = "velmora-replay";
constexpr std::string_view empty_mark = "-";

// ---- writing ----

template <class List, class NameOf>
std::string name_list(const List& ids, NameOf name_of) {
  if (ids.empty()) return std::string(empty_mark);
  std::string out;
  for (auto id : ids) {
    if (!out.empty()) out += ',';
    out += name_of(id);
  }
  return out;
}

std::string worn_list(const Worn& worn) {
  std::string out;
  for (std::size_t place = 0; place < worn.size(); ++place) {
    if (place > 0) out += ',';
    out += worn[place] ? item_def(*worn[place]).name : std::string(empty_mark);
  }
  return out;
}

// Slot, class, five raises, xp, points spent, worn, bag, silver, learned.
std::string character_line(const CharacterSheet& sheet, std::uint8_t slot) {
  std::string out = "char " + std::to_string(slot) + ' ' + kind_by_id(sheet.class_id).name;
  for (std::int32_t raise : sheet.raises) out += ' ' + std::to_string(raise);
  out += ' ' + std::to_string(sheet.xp);
  out += ' ' + std::to_string(sheet.points_spent);
  out += ' ' + worn_list(sheet.worn);
  out += ' ' + name_list(sheet.bag, [](std::uint16_t item) { return item_def(item).name; });
  out += ' ' + std::to_string(sheet.silver);
  out += ' ' + name_list(sheet.arts, [](std::uint8_t move) { return move_def(move).name; });
  return out;
}

void add_line(std::string& out, std::string_view line) {
  out += line;
  out += '\n';
}

// ---- reading: numbers and names ----

// Hexadecimal digits of either case, no sign, within 64 bits.
std::optional<std::uint64_t> parse_hex64(std::string_view word) {
  if (word.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : word) {
    std::uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint64_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint64_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint64_t>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (value > (std::numeric_limits<std::uint64_t>::max() >> 4)) return std::nullopt;
    value = (value << 4) | digit;
  }
  return value;
}

// A signed 32-bit decimal within [low, high].
std::optional<std::int32_t> whole_in(std::string_view word, std::int32_t low, std::int32_t high) {
  const auto value = parse_whole(word);
  if (!value || *value < low || *value > high) return std::nullopt;
  return value;
}

// Calls add(part) for every ","-separated part of a field; stops at the first
// part add refuses.
template <class Add>
bool for_each_part(std::string_view field, Add add) {
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = field.find(',', start);
    const std::string_view part = field.substr(start, comma == std::string_view::npos ? field.npos : comma - start);
    if (!add(part)) return false;
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
}

// Field 9: weapon, head, body; "-" or missing leaves a place empty, parts
// after the third are ignored.
bool read_worn(std::string_view field, Worn& worn) {
  std::size_t place = 0;
  return for_each_part(field, [&](std::string_view part) {
    if (place >= worn.size()) return true;
    const std::size_t here = place++;
    if (part == empty_mark) return true;
    const auto item = item_id(game_data().items, part);
    if (!item) return false;
    worn[here] = item;
    return true;
  });
}

// "-" for an empty list, else names each resolved by find.
template <class List, class Find>
bool read_name_list(std::string_view field, List& list, Find find) {
  if (field == empty_mark) return true;
  return for_each_part(field, [&](std::string_view part) {
    const auto id = find(part);
    if (!id) return false;
    list.push_back(*id);
    return true;
  });
}

// Fields 2 to 8 and 11: raises within their highest level, xp, points spent
// and silver not negative.
bool read_sheet_numbers(std::span<const std::string_view> fields, CharacterSheet& sheet) {
  constexpr std::int32_t most = std::numeric_limits<std::int32_t>::max();
  for (std::size_t i = 0; i < attribute_count; ++i) {
    const auto raise = whole_in(fields[2 + i], 0, attribute_max_raise(static_cast<Attribute>(i)));
    if (!raise) return false;
    sheet.raises[i] = *raise;
  }
  const auto xp = whole_in(fields[7], 0, most);
  const auto points = whole_in(fields[8], 0, most);
  const auto silver = whole_in(fields[11], 0, most);
  if (!xp || !points || !silver) return false;
  sheet.xp = *xp;
  sheet.points_spent = *points;
  sheet.silver = *silver;
  return true;
}

bool read_sheet_lists(std::span<const std::string_view> fields, CharacterSheet& sheet) {
  const auto& data = game_data();
  if (!read_worn(fields[9], sheet.worn)) return false;
  if (!read_name_list(fields[10], sheet.bag, [&](std::string_view n) { return item_id(data.items, n); })) {
    return false;
  }
  if (fields.size() < 13) return true;
  return read_name_list(fields[12], sheet.arts, [&](std::string_view n) { return move_id(data.moves, n); });
}

std::optional<CharacterSheet> read_character(std::span<const std::string_view> fields) {
  if (fields.size() != 12 && fields.size() != 13) return std::nullopt;
  const auto slot = parse_unsigned(fields[0], std::numeric_limits<std::uint8_t>::max());
  const auto class_id = class_by_name(fields[1]);
  if (!slot || !class_id) return std::nullopt;
  CharacterSheet sheet;
  sheet.slot = static_cast<std::uint8_t>(*slot);
  sheet.class_id = *class_id;
  if (!read_sheet_numbers(fields, sheet) || !read_sheet_lists(fields, sheet)) return std::nullopt;
  return sheet;
}

// ---- reading: lines ----

// The longest line a replay holds is a char line of 14 words. A line is split
// no further than a couple of words past that: what follows could only make
// it unreadable or be ignored, and a line of any length then costs little.
constexpr std::size_t max_line_words = 16;

// The most names a "classes" line may give: one per party slot.
constexpr std::size_t max_classes = 4;

// The first `limit` words of a line.
std::vector<std::string_view> leading_words(std::string_view s, std::size_t limit) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < s.size() && words.size() < limit) {
    if (const std::size_t n = white_space_at(s, i)) {
      i += n;
      continue;
    }
    const std::size_t start = i;
    while (i < s.size() && white_space_at(s, i) == 0) ++i;
    words.push_back(s.substr(start, i - start));
  }
  return words;
}

struct Line {
  std::uint64_t number = 0;
  std::string_view text;  // trimmed
};

// The non-blank lines of a text, each numbered by its place among all lines.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}

  std::optional<Line> next() {
    while (pos_ < text_.size()) {
      const std::size_t end = text_.find('\n', pos_);
      const std::size_t stop = end == std::string_view::npos ? text_.size() : end;
      const std::string_view raw = text_.substr(pos_, stop - pos_);
      pos_ = end == std::string_view::npos ? text_.size() : end + 1;
      ++number_;
      // Trimming also takes the "\r" of a "\r\n" line end.
      const std::string_view trimmed = trim_white(raw);
      if (!trimmed.empty()) return Line{number_, trimmed};
    }
    return std::nullopt;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  std::uint64_t number_ = 0;
};

Error line_error(const Line& line) {
  return error("line " + std::to_string(line.number) + ": cannot read '" + std::string(line.text) + "'");
}

Error not_a_replay() { return error("not a velmora replay"); }

class ReplayReader {
 public:
  // False when the line cannot be read.
  bool read(std::span<const std::string_view> words) {
    const std::string_view word = words[0];
    if (word == "seed") return read_number(words, record_.seed, seed_seen_);
    if (word == "players") return read_number(words, record_.players, players_seen_);
    if (word == "stage") return read_stage(words);
    if (word == "data") return read_data(words);
    if (word == "end") return read_end(words);
    if (word == "char") return read_char(words);
    if (word == "classes") return read_classes(words);
    return read_command(words);
  }

  Result<ReplayRecord> finish() {
    if (record_.party.empty()) {
      const std::uint64_t copies = std::clamp<std::uint64_t>(record_.players, 1, 4);
      record_.party.assign(copies, new_character(default_class()));
    }
    const bool players_ok = record_.players >= 1 && record_.players <= 4;
    if (!seed_seen_ || !players_seen_ || !players_ok || record_.party.size() != record_.players) {
      return error("replay needs a seed and 1 to 4 players");
    }
    return std::move(record_);
  }

 private:
  static bool read_number(std::span<const std::string_view> words, std::uint64_t& into, bool& seen) {
    if (words.size() < 2) return false;
    const auto value = parse_unsigned(words[1]);
    if (!value) return false;
    into = *value;
    seen = true;
    return true;
  }

  bool read_stage(std::span<const std::string_view> words) {
    if (words.size() < 2) return false;
    const auto index = stage_index(game_data().stages, words[1]);
    if (!index) return false;
    record_.stage = *index;
    return true;
  }

  bool read_data(std::span<const std::string_view> words) {
    if (words.size() < 2) return false;
    const auto hash = parse_hex64(words[1]);
    if (!hash) return false;
    record_.data_hash = hash;
    return true;
  }

  bool read_end(std::span<const std::string_view> words) {
    if (words.size() < 3) return false;
    const auto hash = parse_hex64(words[2]);
    const auto tick = parse_unsigned(words[1]);
    if (!hash || !tick) return false;
    record_.end = ReplayEnd{*tick, *hash};
    return true;
  }

  bool read_char(std::span<const std::string_view> words) {
    const auto sheet = read_character(words.subspan(1));
    if (!sheet || sheet->slot >= 4) return false;
    if (last_char_slot_ && sheet->slot <= *last_char_slot_) return false;
    last_char_slot_ = sheet->slot;
    record_.party.push_back(*sheet);
    return true;
  }

  bool read_classes(std::span<const std::string_view> words) {
    if (words.size() - 1 > max_classes) return false;
    std::vector<CharacterSheet> party;
    for (std::string_view name : words.subspan(1)) {
      const auto class_id = class_by_name(name);
      if (!class_id) return false;
      party.push_back(new_character(*class_id));
    }
    record_.party = std::move(party);
    return true;
  }

  bool read_command(std::span<const std::string_view> words) {
    auto command = parse_command(words);
    if (!command) return false;
    if (const auto* ticks = std::get_if<TicksCommand>(&*command)) {
      total_ticks_ += ticks->count;  // at most the cap plus 2^32: no wrap
      if (total_ticks_ > max_replay_ticks) return false;
    }
    record_.commands.push_back(*command);
    return true;
  }

  ReplayRecord record_;
  bool seed_seen_ = false;
  bool players_seen_ = false;
  std::optional<std::uint8_t> last_char_slot_;
  std::uint64_t total_ticks_ = 0;
};

// The first non-blank line: exactly the magic word and format 1.
std::optional<Error> check_header(const std::optional<Line>& line) {
  if (!line) return not_a_replay();
  const auto words = leading_words(line->text, 3);
  if (words.size() != 2 || words[0] != magic_word) return not_a_replay();
  if (words[1] != std::to_string(replay_format)) {
    return error("replay format " + std::string(words[1]) + " is not supported (this build reads " +
                 std::to_string(replay_format) + ")");
  }
  return std::nullopt;
}

}  // namespace

ReplayRecord new_replay_record(std::uint64_t stage, std::uint64_t seed, std::vector<CharacterSheet> party) {
  ReplayRecord record;
  record.data_hash = game_data().data_hash;
  record.players = party.size();
  record.party = std::move(party);
  record.seed = seed;
  record.stage = stage;
  return record;
}

void record_tick(ReplayRecord& record, std::span<const Buttons> buttons) {
  std::array<Buttons, 4> words{};
  std::copy_n(buttons.begin(), std::min<std::size_t>(buttons.size(), words.size()), words.begin());
  if (!record.commands.empty()) {
    auto* last = std::get_if<TicksCommand>(&record.commands.back());
    if (last != nullptr && last->buttons == words && last->count < std::numeric_limits<std::uint32_t>::max()) {
      ++last->count;
      return;
    }
  }
  record.commands.push_back(TicksCommand{words, 1});
}

void record_join(ReplayRecord& record, std::uint8_t slot, std::uint8_t class_id) {
  record.commands.push_back(JoinCommand{slot, class_id});
}

void record_leave(ReplayRecord& record, std::uint8_t slot) { record.commands.push_back(LeaveCommand{slot}); }

std::string write_replay(const ReplayRecord& record) {
  const auto& stages = game_data().stages;
  VELMORA_CHECK(!stages.empty(), "validated: a stage");
  std::string out;
  add_line(out, std::string(magic_word) + ' ' + std::to_string(replay_format));
  add_line(out, "seed " + std::to_string(record.seed));
  add_line(out, "players " + std::to_string(record.players));
  add_line(out, "stage " + stages[std::min<std::uint64_t>(record.stage, stages.size() - 1)].name);
  const std::vector<std::uint8_t> slots = party_slots(record.party, record.party.size());
  for (std::size_t i = 0; i < record.party.size(); ++i) add_line(out, character_line(record.party[i], slots[i]));
  if (record.data_hash) add_line(out, "data " + hex16(*record.data_hash));
  for (const Command& command : record.commands) add_line(out, format_command(command));
  if (record.end) add_line(out, "end " + std::to_string(record.end->tick) + ' ' + hex16(record.end->state_hash));
  return out;
}

Result<ReplayRecord> read_replay(std::string_view text) {
  if (!valid_utf8(text)) return not_a_replay();
  LineCursor lines(text);
  if (auto fault = check_header(lines.next())) return std::move(*fault);
  ReplayReader reader;
  while (const auto line = lines.next()) {
    const auto words = leading_words(line->text, max_line_words);
    if (!reader.read(words)) return line_error(*line);
  }
  return reader.finish();
}

std::optional<CharacterSheet> parse_character_line(std::string_view payload) {
  const auto fields = split_words(payload);
  return read_character(fields);
}

World play_back(const ReplayRecord& record) {
  World world = new_game(record.stage, record.seed, record.party);
  for (const Command& command : record.commands) run_command(world, command);
  return world;
}

}  // namespace velmora
