#include "core/net/rollback_session.h"

#include <algorithm>
#include <string>
#include <utility>

#include "core/base/panic.h"
#include "core/base/text.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"

namespace velmora {

namespace {

// The first player actor on the slot; with `present`, only one that has not left.
std::optional<std::uint16_t> fighter_of_slot(const World& world, std::uint64_t slot, bool present) {
  for (const Actor& a : world.actors) {
    if (a.team == 0 && a.slot == slot && (!present || a.gone == 0)) return a.id;
  }
  return std::nullopt;
}

bool acted_by(const Event& e, std::uint16_t actor) { return event_shows_actor(e.kind) && e.actor == actor; }

// Puts the word in `local_inputs` for every tick from `from` to `to` that has none.
void fill_local_inputs(RollbackSession& session, std::uint64_t from, std::uint64_t to, Buttons word) {
  for (std::uint64_t t = from; t <= to; ++t) session.local_inputs.emplace(t, word);
}

// Re-runs the prediction from the confirmed world up to the tick it had reached.
void roll_back(RollbackSession& session) {
  const std::uint64_t from = session.confirmed.tick;
  const std::uint64_t to = session.predicted.tick;
  session.predicted = session.confirmed;
  for (std::uint64_t t = from + 1; t <= to; ++t) resimulate_tick(session, t);
  session.rollback_needed = false;
  if (from >= to) return;
  RollbackCounters& c = session.counters;
  c.rollbacks += 1;
  c.rollback_ticks += to - from;
  c.deepest = std::max(c.deepest, to - from);
}

void keep_own_events(RollbackSession& session) {
  const auto own = fighter_of_slot(session.predicted, session.slot, false);
  if (!own) return;
  for (const Event& e : session.predicted.events) {
    if (acted_by(e, *own)) session.own_events.push_back(e);
  }
}

// Applies the tick's waiting commands to the confirmed world when all of the
// announced ones are here; false (nothing applied) when some are missing.
bool apply_confirmed_commands(RollbackSession& session, std::uint64_t t, std::size_t announced) {
  const auto found = session.commands.find(t);
  const std::size_t here = found == session.commands.end() ? 0 : found->second.size();
  if (here < announced) return false;
  if (found == session.commands.end()) return true;
  for (const Command& command : found->second) (void)apply_command(session.confirmed, command);
  session.waiting_commands -= here;
  session.commands.erase(found);
  return true;
}

void keep_confirmed_events(RollbackSession& session, std::optional<std::uint16_t> own) {
  for (const Event& e : session.confirmed.events) {
    if (!own || !acted_by(e, *own)) session.confirmed_events.push_back(e);
  }
}

void keep_own_hash(RollbackSession& session) {
  const std::uint64_t t = session.confirmed.tick;
  if (t % 60 != 0) return;
  const std::uint64_t hash = state_hash(session.confirmed);
  session.own_hashes[t] = hash;
  session.newest_own_hash = hash;
  while (session.own_hashes.size() > own_hashes_kept) session.own_hashes.erase(session.own_hashes.begin());
}

// Confirms one tick: its commands, the misprediction check, the tick, the
// events and, every 60th tick, the own hash. False when the tick must wait
// for "cmd" lines.
bool confirm_record(RollbackSession& session, const TickRecord& record, std::optional<std::uint16_t> own) {
  const std::uint64_t t = session.confirmed.tick + 1;
  if (!apply_confirmed_commands(session, t, record.commands)) {
    session.counters.command_waits += 1;
    return false;
  }
  const auto predicted = session.predicted_inputs.find(t);
  if (predicted == session.predicted_inputs.end() || predicted->second != record.inputs) {
    session.rollback_needed = true;
  }
  tick(session.confirmed, record.inputs);
  session.last_confirmed = record.inputs;
  keep_confirmed_events(session, own);
  keep_own_hash(session);
  return true;
}

template <class Map>
void drop_through(Map& map, std::uint64_t tick) {
  map.erase(map.begin(), map.upper_bound(tick));
}

void compare_hashes(RollbackSession& session, const TickMessage& message) {
  if (message.hash_tick > session.server_hash_tick) {
    session.server_hash_tick = message.hash_tick;
    session.server_hash = message.hash;
  }
  if (session.server_hash_tick == 0) return;
  const auto own = session.own_hashes.find(session.server_hash_tick);
  if (own == session.own_hashes.end()) return;
  session.counters.hashes_compared += 1;
  if (own->second != session.server_hash) session.counters.desyncs += 1;
  session.own_hashes.erase(own);
}

// One advance of `n` ticks at once, the slack fence set past the inputs sent
// before it.
std::uint64_t jump(RollbackSession& session, const WordSource& word, std::uint64_t room) {
  const std::uint64_t wanted = static_cast<std::uint64_t>(3 - std::int64_t{session.slack});
  const std::uint64_t n = std::min(wanted, room);
  const std::uint64_t from = std::max(session.predicted.tick, session.confirmed.tick);
  session.counters.jumped_ticks += n - 1;
  session.slack = target_slack;
  session.slack_fence = from + n + session.delay;
  for (std::uint64_t i = 0; i < n; ++i) rollback_advance(session, word(session.predicted));
  return n;
}

}  // namespace

RollbackSession new_rollback_session(const World& world, std::uint64_t slot, std::uint64_t players,
                                     std::uint64_t delay, std::uint16_t epoch) {
  VELMORA_CHECK(slot < net_slots, "a rollback session's slot is 0 to 3");
  RollbackSession session;
  session.confirmed = world;
  session.predicted = world_clone(world);
  session.slot = slot;
  session.players = std::clamp<std::uint64_t>(players, 1, net_slots);
  session.delay = delay;
  session.epoch = epoch;
  fill_local_inputs(session, world.tick + 1, world.tick + delay, 0);
  return session;
}

RollbackSession renew_rollback_session(const RollbackSession& old, const World& world, std::uint16_t epoch) {
  RollbackSession session = new_rollback_session(world, old.slot, old.players, old.delay, epoch);
  session.counters = old.counters;
  return session;
}

void rollback_advance(RollbackSession& session, Buttons word) {
  if (session.predicted.tick < session.confirmed.tick) {
    session.predicted = session.confirmed;
    session.rollback_needed = false;
  }
  const std::uint64_t c = session.predicted.tick + 1;
  const std::uint64_t after_held = session.local_inputs.empty() ? c : session.local_inputs.rbegin()->first + 1;
  for (std::uint64_t t = std::max(c, after_held); t <= c + session.delay; ++t) session.local_inputs[t] = word;
  if (session.rollback_needed) roll_back(session);
  resimulate_tick(session, c);
  keep_own_events(session);
}

void resimulate_tick(RollbackSession& session, std::uint64_t t) {
  VELMORA_CHECK(session.slot < net_slots, "a rollback session's slot is 0 to 3");
  if (const auto found = session.commands.find(t); found != session.commands.end()) {
    for (const Command& command : found->second) (void)apply_command(session.predicted, command);
  }
  std::array<Buttons, net_slots> words = session.last_confirmed;
  const auto own = session.local_inputs.find(t);
  words[session.slot] = own == session.local_inputs.end() ? 0 : own->second;
  tick(session.predicted, words);
  session.predicted_inputs[t] = words;
}

InputMessage input_message(const RollbackSession& session) {
  InputMessage m;
  const std::uint64_t acked = session.confirmed.tick;
  m.acked = acked;
  m.epoch = session.epoch;
  m.first = acked + 1;
  if (session.local_inputs.empty()) return m;
  const std::uint64_t last = session.local_inputs.rbegin()->first;
  if (last <= acked) return m;
  const std::uint64_t window_start = last < max_sent_inputs - 1 ? 0 : last - (max_sent_inputs - 1);
  auto it = session.local_inputs.lower_bound(std::max(acked + 1, window_start));
  m.first = it->first;
  // The held words are contiguous; should a gap ever appear, the message ends
  // before it rather than shift the later words onto wrong ticks.
  for (; it != session.local_inputs.end() && it->first == m.first + m.count; ++it) m.inputs[m.count++] = it->second;
  return m;
}

void receive_tick_message(RollbackSession& session, const TickMessage& message) {
  if (message.epoch != session.epoch) return;
  const auto own = fighter_of_slot(session.confirmed, session.slot, true);
  for (std::size_t i = 0; i < message.count; ++i) {
    if (message.first + i != session.confirmed.tick + 1) continue;
    if (!confirm_record(session, message.records[i], own)) break;
  }
  drop_through(session.predicted_inputs, session.confirmed.tick);
  drop_through(session.local_inputs, session.confirmed.tick);
  if (message.last_input >= session.slack_fence) session.slack = message.slack;
  compare_hashes(session, message);
}

Status receive_cmd_line(RollbackSession& session, std::string_view line) {
  const std::vector<std::string_view> words = split_words(line);
  if (words.size() < 4 || words[0] != "cmd") return done();
  const auto epoch = parse_unsigned(words[1], UINT16_MAX);
  const auto tick_word = parse_unsigned(words[2]);
  auto command = parse_command(std::span(words).subspan(3));
  if (!epoch || !tick_word || !command) return done();
  return receive_command(session, static_cast<std::uint16_t>(*epoch), *tick_word, std::move(*command));
}

Status receive_command(RollbackSession& session, std::uint16_t epoch, std::uint64_t tick, Command command) {
  if (epoch != session.epoch || tick <= session.confirmed.tick) return done();
  if (session.waiting_commands >= max_waiting_commands) return error("too many commands waiting for their ticks");
  if (tick <= session.predicted.tick) session.rollback_needed = true;
  session.commands[tick].push_back(std::move(command));
  session.waiting_commands += 1;
  return done();
}

std::uint64_t client_tick(RollbackSession& session, Buttons word) {
  return client_tick(session, [word](const World&) { return word; });
}

std::uint64_t client_tick(RollbackSession& session, const WordSource& word) {
  const std::uint64_t ahead_of = std::max(session.predicted.tick, session.confirmed.tick);
  const std::uint64_t limit = session.confirmed.tick + max_prediction_ticks;
  if (session.predicted.tick >= limit) return 0;
  const std::uint64_t room = limit - ahead_of;
  if (session.slack < jump_slack) return jump(session, word, room);
  rollback_advance(session, word(session.predicted));
  return 1;
}

std::uint64_t client_tick_period_us(std::int32_t slack, std::uint32_t speed) {
  const std::uint64_t divisor = speed == 0 ? 1 : speed;
  std::uint64_t period = 20832;
  if (slack < 2) {
    period = 15332;
  } else if (slack <= 5) {
    period = 16666;
  } else if (slack <= 13) {
    period = 17999;
  }
  return period / divisor;
}

}  // namespace velmora
