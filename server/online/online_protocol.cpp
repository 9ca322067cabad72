#include "server/online/online_protocol.h"

#include <algorithm>
#include <array>
#include <optional>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/replay/replay.h"
#include "server/online/online_sessions.h"
#include "server/service/protocol_numbers.h"
#include "web/json.h"

namespace velmora {

namespace {

using Words = std::vector<std::string_view>;

constexpr std::array online_requests{
    std::string_view("hello"), std::string_view("state"),    std::string_view("party"),
    std::string_view("map"),   std::string_view("shop"),     std::string_view("inventory"),
    std::string_view("hash"),  std::string_view("spend"),    std::string_view("continue"),
    std::string_view("travel"), std::string_view("retry"),   std::string_view("train"),
    std::string_view("hand"),  std::string_view("equip"),    std::string_view("unequip"),
    std::string_view("drop"),  std::string_view("buy"),      std::string_view("sell"),
    std::string_view("join"),  std::string_view("leave"),
};

// The requests that act for a slot named by their second word.
constexpr std::array own_slot_requests{
    std::string_view("buy"),   std::string_view("hand"), std::string_view("drop"),
    std::string_view("sell"),  std::string_view("join"), std::string_view("spend"),
    std::string_view("train"), std::string_view("equip"), std::string_view("leave"),
    std::string_view("unequip"),
};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& list, std::string_view word) {
  return std::find(list.begin(), list.end(), word) != list.end();
}

std::string ok_reply(std::string_view message) {
  return json_to_string(Json::object(2).add("ok", true).add("message", message));
}

// A signed 64-bit decimal with an optional sign.
std::optional<std::int64_t> parse_signed64(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
    if (s.empty() || s[0] == '+') return std::nullopt;
  }
  const auto magnitude = parse_unsigned(s, negative ? std::uint64_t{1} << 63 : INT64_MAX);
  if (!magnitude) return std::nullopt;
  if (!negative) return static_cast<std::int64_t>(*magnitude);
  return *magnitude == std::uint64_t{1} << 63 ? INT64_MIN : -static_cast<std::int64_t>(*magnitude);
}

constexpr std::string_view too_long_message = "request line too long";

// ---------------------------------------------------------------------------
// Joining

void refuse(OnlineServer& server, std::uint64_t key, std::string_view reason) {
  send_to_session(server, key, "refused " + std::string(reason));
  close_session(server, key);
}

void join_slot(OnlineServer& server, std::uint64_t key, const SlotChoice& choice) {
  const std::size_t slot = choice.slot;
  if (choice.reconnect) {
    for (std::uint64_t old : filter_sessions(server, slot)) {
      if (old != key) close_session(server, old);
    }
  }
  const SlotEntry& entry = server.slots.slots[slot];
  const std::uint64_t id = choice.reconnect && entry.reserved ? entry.reservation : server.env.hooks.new_session_id();
  take_slot(server.slots, slot, id, server.env.clock.monotonic());
  OnlineSession& session = server.sessions.at(key);
  session.state = OnlineSession::State::joined;
  session.slot = slot;
  session.session_id = id;
  activate_slot(server.host, slot);
  send_to_session(server, key,
                  "welcome " + std::to_string(slot) + " " + std::to_string(id) + " " + std::to_string(slot_count));
  for (const std::string& line : stage_record_lines(server)) send_to_session(server, key, line);
  send_to_session(server, key, looks_line(server));
  server.env.hooks.log_info("slot " + std::to_string(slot) + " joined");
}

// ---------------------------------------------------------------------------
// A joined player's lines

void handle_bye(OnlineServer& server, std::uint64_t key, std::size_t slot) {
  say_bye(server.slots, slot);
  send_to_session(server, key, ok_reply("bye"));
  close_session(server, key);
  away_check(server);
}

void handle_look(OnlineServer& server, std::uint64_t key, std::size_t slot, const Words& words) {
  const auto own = words.size() >= 2 ? parse_unsigned(words[1]) : std::nullopt;
  const auto look = words.size() >= 3 ? parse_signed64(words[2]) : std::nullopt;
  if (!own || *own != slot || !look) return send_to_session(server, key, reply_error("look OWN_SLOT N"));
  server.looks[slot] = *look;
  broadcast_line(server, looks_line(server));
  send_to_session(server, key, ok_reply("look"));
}

bool allowed_online(const OnlineServer& server, std::string_view word) {
  return listed(online_requests, word) || (server.dev && (word == "goto" || word == "debug"));
}

void handle_request_line(OnlineServer& server, std::uint64_t key, std::size_t slot, const Words& words,
                         std::string_view line) {
  if (listed(own_slot_requests, words[0])) {
    const auto named = words.size() >= 2 ? parse_unsigned(words[1]) : std::nullopt;
    if (!named || *named != slot) {
      return send_to_session(server, key, reply_error("a player may only act for their own slot"));
    }
    // The tick's datagram counts its commands in one byte.
    if (!command_room(server.host)) return send_to_session(server, key, reply_error(too_many_commands_message));
  }
  const std::string reply = session_request(server, line);
  send_to_session(server, key, reply);
}

void handle_joined_line(OnlineServer& server, std::uint64_t key, std::size_t slot, const Words& words,
                        std::string_view line) {
  if (words.empty()) return;
  const std::string_view word = words[0];
  if (word == "bye") return handle_bye(server, key, slot);
  if (word == "ping") return send_to_session(server, key, "pong");
  if (word == "look") return handle_look(server, key, slot, words);
  if (allowed_online(server, word)) return handle_request_line(server, key, slot, words, line);
  send_to_session(server, key, reply_error(std::string(word) + " is not available online"));
}

// ---------------------------------------------------------------------------
// Keeping the clients in step

// A request began a new stage: a new host for the next epoch, and the new
// stage's record to everyone.
void start_new_epoch(OnlineServer& server) {
  server.stage_seen = server.state.stage_counter;
  const NetHost& old = server.host;
  const std::uint64_t start = server.state.game ? server.state.game->tick : 0;
  NetHost host = new_net_host(old.players, start, static_cast<std::uint16_t>(old.epoch + 1));
  host.guessed = old.guessed;
  host.active = old.active;
  server.host = std::move(host);
  for (const std::string& line : stage_record_lines(server)) broadcast_line(server, line);
}

void broadcast_new_commands(OnlineServer& server, std::size_t from) {
  const std::vector<Command>& commands = server.state.record->commands;
  for (std::size_t i = from; i < commands.size(); ++i) {
    if (std::holds_alternative<TicksCommand>(commands[i])) continue;
    (void)note_command(server.host);
    broadcast_line(server, cmd_line(server.host.epoch, server.host.tick + 1, commands[i]));
  }
}

// The text cut into lines at "\n" (a "\r" before it goes too).
void append_lines(std::string_view text, std::vector<std::string>& lines) {
  for_each_line(text, [&](std::uint64_t, std::string_view line) { lines.emplace_back(line); });
}

// Actors of team 0 still on the stage.
std::size_t fighters_on_stage(const World& world) {
  return static_cast<std::size_t>(std::count_if(world.actors.begin(), world.actors.end(),
                                                [](const Actor& a) { return a.team == 0 && a.gone == 0; }));
}

bool has_fighter(const World& world, std::size_t slot) {
  return std::any_of(world.actors.begin(), world.actors.end(),
                     [slot](const Actor& a) { return a.team == 0 && a.slot == slot && a.gone == 0; });
}

}  // namespace

Result<ConnectWish> read_connect(std::string_view line) {
  WordCursor words(line);
  if (!words.take("connect")) return error(std::string(refused_expected));
  const auto protocol_word = words.next();
  const auto protocol = protocol_word ? parse_unsigned(*protocol_word, UINT32_MAX) : std::nullopt;
  if (!protocol) return error(std::string(refused_expected));
  if (*protocol != online_protocol) {
    return error("this server speaks protocol " + std::to_string(online_protocol) + ", the client " +
                 std::to_string(*protocol));
  }
  if (words.at_end()) return error(std::string(refused_expected));
  if (!words.take(hex16(game_data().data_hash))) return error(std::string(refused_data));
  ConnectWish wish;
  const auto slot_word = words.next();
  const auto slot = slot_word ? parse_unsigned(*slot_word) : std::nullopt;
  if (slot && *slot < slot_count) wish.slot = static_cast<std::size_t>(*slot);
  if (wish.slot) {
    if (const auto session_word = words.next()) wish.session = parse_unsigned(*session_word);
  }
  return wish;
}

void handle_session_line(OnlineServer& server, std::uint64_t key, std::string_view line) {
  auto it = server.sessions.find(key);
  if (it == server.sessions.end()) return;
  if (it->second.state == OnlineSession::State::connected) return handle_join_request(server, key, read_connect(line));
  handle_joined_line(server, key, it->second.slot, split_words(line), line);
}

void handle_join_request(OnlineServer& server, std::uint64_t key, const Result<ConnectWish>& wish) {
  auto it = server.sessions.find(key);
  if (it == server.sessions.end() || it->second.state != OnlineSession::State::connected) return;
  if (!wish) return refuse(server, key, wish.message());
  auto choice = find_free_slot(server.slots, wish->slot, wish->session);
  if (!choice) return refuse(server, key, choice.message());
  join_slot(server, key, *choice);
}

void handle_line_too_long(OnlineServer& server, std::uint64_t key) {
  auto it = server.sessions.find(key);
  if (it == server.sessions.end()) return;
  if (it->second.state == OnlineSession::State::connected) return refuse(server, key, too_long_message);
  send_to_session(server, key, reply_error(too_long_message));
  close_session(server, key);
}

std::string session_request(OnlineServer& server, std::string_view line) {
  ServerState& state = server.state;
  const std::size_t noted = state.record ? state.record->commands.size() : 0;
  std::string reply = handle_request(state, line);
  if (state.stage_counter != server.stage_seen) {
    start_new_epoch(server);
  } else if (state.record && state.record->commands.size() >= noted) {
    broadcast_new_commands(server, noted);
  }
  return reply;
}

std::vector<std::string> stage_record_lines(const OnlineServer& server) {
  if (!server.state.record) return {reply_error("this game is not recorded")};
  ReplayRecord copy = *server.state.record;
  copy.end.reset();  // the stage is still running
  // The party commands after the last ticks command take effect at the
  // coming tick: they follow as "cmd" lines. Without any ticks command yet,
  // every command is such a one.
  std::size_t keep = copy.commands.size();
  while (keep > 0 && !std::holds_alternative<TicksCommand>(copy.commands[keep - 1])) --keep;
  std::vector<Command> trailing(copy.commands.begin() + static_cast<std::ptrdiff_t>(keep), copy.commands.end());
  copy.commands.resize(keep);
  std::vector<std::string> lines(1);
  append_lines(write_replay(copy), lines);
  lines[0] = "sync " + std::to_string(server.host.epoch) + " " + std::to_string(lines.size() - 1);
  for (const Command& command : trailing) lines.push_back(cmd_line(server.host.epoch, server.host.tick + 1, command));
  return lines;
}

std::string looks_line(const OnlineServer& server) {
  std::string line = "looks";
  for (std::int64_t look : server.looks) line += " " + std::to_string(look);
  return line;
}

void away_check(OnlineServer& server) {
  const Instant now = server.env.clock.monotonic();
  for (std::size_t s = 0; s < slot_count; ++s) {
    if (!slot_is_away(server.slots, s, now, server.away)) continue;
    const auto& game = server.state.game;
    if (!game || game->over != GameStatus::playing) return;
    if (!has_fighter(*game, s) || fighters_on_stage(*game) < 2) continue;
    // A tick already full of commands takes no "leave": the check comes again
    // on the next pass, after the tick.
    if (!command_room(server.host)) return;
    const std::string reply = session_request(server, "leave " + std::to_string(s));
    if (reply.starts_with("{\"ok\":true")) server.env.hooks.log_info("slot " + std::to_string(s) + " left the stage");
  }
}

}  // namespace velmora
