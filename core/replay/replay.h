// The record of one stage (the party, seed and stage it started from and
// every command in order), its replay text, the reader of that text with its
// messages, and playback of a record into a world.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/buttons.h"
#include "core/base/result.h"
#include "core/replay/commands.h"
#include "core/world/actor.h"
#include "core/world/world.h"

namespace velmora {

// The format number written in the first line and the only one read.
inline constexpr std::uint32_t replay_format = 1;

// The most ticks one replay text may hold, summed over its ticks lines: one
// day of play at 60 ticks a second (60 × 60 × 60 × 24). No stage runs nearly
// that long; the limit keeps a hostile or broken file from making playback
// run for days.
inline constexpr std::uint64_t max_replay_ticks = 5'184'000;

// Where a record was saved: the world's tick and its state hash.
struct ReplayEnd {
  std::uint64_t tick = 0;
  std::uint64_t state_hash = 0;
  bool operator==(const ReplayEnd&) const = default;
};

struct ReplayRecord {
  std::optional<std::uint64_t> data_hash;  // the data the stage was played with
  std::optional<ReplayEnd> end;
  std::vector<CharacterSheet> party;  // at the start of the stage
  std::vector<Command> commands;      // in the order they happened
  std::uint64_t seed = 0;
  std::uint64_t players = 0;
  std::uint64_t stage = 0;  // stage index
  bool operator==(const ReplayRecord&) const = default;
};

// The record of a stage that starts now: the installed data hash, no end, the
// party, no commands, players = party size.
ReplayRecord new_replay_record(std::uint64_t stage, std::uint64_t seed, std::vector<CharacterSheet> party);

// Records one tick: words missing from the list are 0. When the last command
// is a ticks command with the same four words its count grows; otherwise (or
// when that count is full) a new ticks command of count 1 is appended.
void record_tick(ReplayRecord& record, std::span<const Buttons> buttons);

void record_join(ReplayRecord& record, std::uint8_t slot, std::uint8_t class_id);
void record_leave(ReplayRecord& record, std::uint8_t slot);

// The replay text, every line ended by "\n".
std::string write_replay(const ReplayRecord& record);

// Reads a replay text; the answer is the record or one message:
// "not a velmora replay", "replay format {} is not supported (this build
// reads 1)", "line {}: cannot read '{}'" or "replay needs a seed and 1 to 4
// players". A text that is not UTF-8 is "not a velmora replay".
Result<ReplayRecord> read_replay(std::string_view text);

// The character line after "char": slot, class, five raises, xp, points
// spent, worn, bag, silver and (optionally) the learned specials. None when a
// field is missing, unreadable, names nothing or lies outside its range.
std::optional<CharacterSheet> parse_character_line(std::string_view payload);

// A new game of the record's stage, seed and party with its commands run in
// order; commands refused live are refused again, silently.
World play_back(const ReplayRecord& record);

}  // namespace velmora
