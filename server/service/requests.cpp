#include "server/service/requests.h"

#include <array>
#include <vector>

#include "core/base/text.h"
#include "core/bot/bot.h"
#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "server/service/recording.h"
#include "server/views/world_view.h"

namespace velmora {

namespace {

constexpr std::uint32_t max_run_ticks = 600;
constexpr std::string_view campaign_prefix = "campaign=";

// The tick's events after those gathered so far.
void append_events(Json& gathered, const std::vector<Event>& events) {
  if (events.empty()) return;
  Json part = events_to_values(events, 0, events.size());
  if (gathered.size() == 0) {
    gathered = std::move(part);
    return;
  }
  for (Json& e : part.as_arr()) gathered.push(std::move(e));
}

// Runs up to n ticks of the watched record: commands other than ticks are
// applied on the way; every tick runs with its recorded words. Nothing is
// recorded, and the walk stops when the commands run out.
void watch_ticks(ServerState& state, std::uint32_t n, Json& events) {
  WatchState& watch = *state.watch;
  World& world = *state.game;
  const std::vector<Command>& commands = watch.record.commands;
  for (std::uint32_t i = 0; i < n; ++i) {
    bool ticked = false;
    while (!ticked && watch.next < commands.size()) {
      const Command& command = commands[watch.next];
      const auto* ticks = std::get_if<TicksCommand>(&command);
      if (ticks == nullptr) {
        (void)apply_command(world, command);
        ++watch.next;
      } else if (watch.ticks_run < ticks->count) {
        tick(world, ticks->buttons);
        ++watch.ticks_run;
        append_events(events, world.events);
        ticked = true;
      } else {
        ++watch.next;
        watch.ticks_run = 0;
      }
    }
    if (!ticked) return;
  }
}

// This tick's words of slots 0 to 3: the bot decides its slots afresh on
// the world as it stands before the tick.
std::array<Buttons, 4> tick_words(const World& world, const std::array<ButtonWord, 4>& slots) {
  std::array<Buttons, 4> words{};
  for (std::size_t i = 0; i < slots.size(); ++i) words[i] = slots[i].bot ? bot_input(world, i) : slots[i].value;
  return words;
}

// Runs up to n ticks of the live game with the words of slots 0 to 3, while
// its stage runs; the first replay saved on the way is named in the reply.
std::string live_ticks(ServerState& state, std::uint32_t n, const std::array<ButtonWord, 4>& slots) {
  Json events = Json::array();
  std::optional<std::string> saved;
  for (std::uint32_t i = 0; i < n && state.game->over == GameStatus::playing; ++i) {
    auto path = step_tick(state, tick_words(*state.game, slots));
    if (path && !saved) saved = std::move(path);
    append_events(events, state.game->events);
  }
  return reply_state(state, "", std::move(events), saved);
}

// The checks shared by "tick" and "run" after the count: every button word,
// then the game.
std::string ticks_request(ServerState& state, std::uint32_t n, Words button_words) {
  std::array<ButtonWord, 4> slots{};
  for (std::size_t i = 0; i < button_words.size(); ++i) {
    const auto word = button_word(button_words[i]);
    if (!word) return reply_error("buttons must be a bitfield number or bot");
    if (i < slots.size()) slots[i] = *word;
  }
  if (!state.game) return reply_error("no game: send new first");
  if (state.watch) {
    Json events = Json::array();
    watch_ticks(state, n, events);
    return reply_state(state, "", std::move(events));
  }
  return live_ticks(state, n, slots);
}

// What "new" reads after the seed and the player count.
struct NewGameWords {
  std::vector<std::uint8_t> classes;
  std::uint64_t campaign = 0;
};

Result<NewGameWords> read_class_words(Words words, std::uint64_t players) {
  NewGameWords out;
  out.classes.assign(players, first_player_kind(game_data().kinds));
  std::size_t named = 0;
  for (std::size_t i = 3; i < words.size(); ++i) {
    const std::string_view word = words[i];
    if (word.starts_with(campaign_prefix)) {
      const std::string_view name = word.substr(campaign_prefix.size());
      const auto index = campaign_index(game_data().campaigns, name);
      if (!index) return error(std::string(name) + " is not a campaign in region.txt");
      out.campaign = *index;
      continue;
    }
    if (named == players) return error("more classes than players");
    const auto class_id = class_by_name(word);
    if (!class_id) return error(std::string(word) + " is not a playable class");
    out.classes[named++] = *class_id;
  }
  return out;
}

}  // namespace

std::optional<std::uint64_t> unsigned_word(Words words, std::size_t i, std::uint64_t max) {
  if (i >= words.size()) return std::nullopt;
  return parse_unsigned(words[i], max);
}

std::optional<std::uint8_t> slot_word(Words words, std::size_t i) {
  const auto slot = unsigned_word(words, i, UINT8_MAX);
  if (!slot) return std::nullopt;
  return static_cast<std::uint8_t>(*slot);
}

std::optional<std::int32_t> signed_word(Words words, std::size_t i) {
  if (i >= words.size()) return std::nullopt;
  return parse_whole(words[i]);
}

std::optional<ButtonWord> button_word(std::string_view word) {
  if (word == "bot") return ButtonWord{0, true};
  const auto value = parse_unsigned(word, UINT16_MAX);
  if (!value) return std::nullopt;
  return ButtonWord{static_cast<Buttons>(*value), false};
}

std::string request_new(ServerState& state, Words words) {
  std::uint64_t seed = 0;
  if (words.size() > 1) {
    const auto number = unsigned_word(words, 1);
    if (!number) return reply_error("seed must be a number");
    seed = *number;
  } else {
    seed = state.clock->wall_nanoseconds();
  }
  std::uint64_t players = 1;
  if (words.size() > 2) {
    const auto number = unsigned_word(words, 2);
    if (!number || *number < 1 || *number > 4) return reply_error("players must be 1 to 4");
    players = *number;
  }
  auto chosen = read_class_words(words, players);
  if (!chosen) return reply_error(chosen.message());
  (void)save_replay_if_unsaved(state);
  state.campaign = new_campaign_state(chosen->campaign, new_party(chosen->classes));
  begin_node_stage(state, seed);
  state.unsaved = false;
  state.watch.reset();
  return reply_state(state, "new game", Json::array());
}

std::string request_tick(ServerState& state, Words words) { return ticks_request(state, 1, words.subspan(1)); }

std::string request_run(ServerState& state, Words words) {
  const auto n = unsigned_word(words, 1, UINT32_MAX);
  if (!n || *n < 1 || *n > max_run_ticks) return reply_error("run needs a tick count from 1 to 600");
  return ticks_request(state, static_cast<std::uint32_t>(*n), words.subspan(2));
}

std::string request_watch(ServerState& state, Words words) {
  if (words.size() < 2) return reply_error("watch needs a replay file");
  std::string path(words[1]);
  for (std::size_t i = 2; i < words.size(); ++i) {
    path += ' ';
    path += words[i];
  }
  auto text = state.disk->read_file(path, max_replay_file_bytes);
  if (!text) return reply_error("cannot read " + path + ": " + text.message());
  if (!valid_utf8(*text)) return reply_error("cannot read " + path + ": not valid UTF-8");
  auto record = read_replay(*text);
  if (!record) return reply_error(record.message());
  (void)save_replay_if_unsaved(state);
  state.game.reset();
  state.game = new_game(record->stage, record->seed, record->party);
  state.record.reset();
  state.unsaved = false;
  state.watch = WatchState{std::move(*record), 0, 0};
  ++state.stage_counter;
  return reply_state(state, "watching", Json::array());
}

}  // namespace velmora
