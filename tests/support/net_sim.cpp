#include "tests/support/net_sim.h"

#include <algorithm>
#include <utility>

#include "core/base/panic.h"
#include "core/base/text.h"
#include "core/replay/replay.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"
#include "server/service/recording.h"

namespace velmora::testing {

namespace {

constexpr std::uint64_t server_period_us = 16666;

std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  for_each_line(text, [&lines](std::uint64_t, std::string_view line) { lines.emplace_back(line); });
  return lines;
}

// The record as a joining client receives it: no end, and the party commands
// after the last ticks command taken off (they take effect at the coming tick).
std::pair<ReplayRecord, std::vector<Command>> running_record(const ReplayRecord& record) {
  ReplayRecord copy = record;
  copy.end.reset();
  std::vector<Command> trailing;
  while (!copy.commands.empty() && !std::holds_alternative<TicksCommand>(copy.commands.back())) {
    trailing.insert(trailing.begin(), std::move(copy.commands.back()));
    copy.commands.pop_back();
  }
  return {std::move(copy), std::move(trailing)};
}

}  // namespace

InputScript walking_script() {
  static constexpr Buttons words[] = {
      button::right, button::right | button::attack, button::left, button::right | button::jump,
      button::attack, button::down | button::right, button::guard, button::up | button::attack,
  };
  return [](std::uint64_t slot, std::uint64_t tick) {
    const std::uint64_t segment = tick / (9 + 4 * slot);
    return words[(segment * 5 + slot * 3) % std::size(words)];
  };
}

NetSim::NetSim(std::uint64_t stage, std::uint64_t seed, std::vector<CharacterSheet> party, NetConditions net,
               std::uint64_t network_seed)
    : server_(new_server_state(std::nullopt, real_disk(), real_clock())),
      net_(net),
      rng_(Rng::from_seed(network_seed)) {
  server_.game = new_game(stage, seed, party);
  server_.record = new_replay_record(stage, seed, std::move(party));
  host_ = new_net_host(net_slots, server_.game->tick, 0);
  for (std::size_t s = 0; s < net_slots; ++s) deactivate_slot(host_, s);
  schedule(event_at(server_period_us, Kind::server_pass));
}

void NetSim::join(std::uint64_t slot, InputScript script, bool through_record) {
  VELMORA_CHECK(slot < net_slots, "a slot is 0 to 3");
  Client& client = clients_[slot];
  client.script = std::move(script);
  client.session_id = rng_.next() | 1;
  session_ids_[slot] = client.session_id;
  activate_slot(host_, slot);
  if (through_record) {
    send_stage_record(slot);
  } else {
    client.session = new_rollback_session(*server_.game, slot, net_slots, default_input_delay, host_.epoch);
  }
  if (!client.passes_running) {
    client.passes_running = true;
    schedule(event_at(now_ + 1000 + 3000 * slot, Kind::client_pass, slot));
  }
}

Status NetSim::command(const Command& command) {
  if (!server_.game || !server_.record) return error("no game");
  const Status counted = note_command(host_);
  if (!counted) return counted;
  (void)apply_command(*server_.game, command);
  server_.record->commands.push_back(command);
  server_.unsaved = true;
  for (const auto& [slot, client] : clients_) send_line(slot, cmd_line(host_.epoch, host_.tick + 1, command));
  return done();
}

void NetSim::change_stage(std::uint64_t stage, std::uint64_t seed) {
  std::vector<CharacterSheet> party = server_.record->party;
  server_.game = new_game(stage, seed, party);
  server_.record = new_replay_record(stage, seed, std::move(party));
  server_.stage_counter += 1;
  NetHost next = new_net_host(host_.players, server_.game->tick, static_cast<std::uint16_t>(host_.epoch + 1));
  next.guessed = host_.guessed;
  next.active = host_.active;
  host_ = next;
  for (const auto& entry : clients_) send_stage_record(entry.first);
}

void NetSim::run_ticks(std::uint64_t ticks) {
  ticking_ = true;
  const std::uint64_t target = ticks_run_ + ticks;
  const std::uint64_t give_up = now_ + (ticks + 60) * server_period_us * 2;
  while (ticks_run_ < target && now_ < give_up && !queue_.empty()) {
    Event event = queue_.top();
    queue_.pop();
    now_ = event.time;
    handle(event);
  }
}

bool NetSim::settle(std::uint64_t max_us) {
  ticking_ = false;
  const std::uint64_t give_up = now_ + max_us;
  auto all_confirmed = [this] {
    return std::all_of(clients_.begin(), clients_.end(), [this](const auto& entry) {
      const auto& s = entry.second.session;
      return s && s->epoch == host_.epoch && s->confirmed.tick == host_.tick;
    });
  };
  while (!all_confirmed() && now_ < give_up && !queue_.empty()) {
    Event event = queue_.top();
    queue_.pop();
    now_ = event.time;
    handle(event);
  }
  return all_confirmed();
}

void NetSim::at_tick(std::uint64_t tick, std::function<void(NetSim&)> action) {
  actions_.emplace(tick, std::move(action));
}

const RollbackSession* NetSim::session(std::uint64_t slot) const {
  const auto found = clients_.find(slot);
  if (found == clients_.end() || !found->second.session) return nullptr;
  return &*found->second.session;
}

RollbackSession* NetSim::session(std::uint64_t slot) {
  return const_cast<RollbackSession*>(std::as_const(*this).session(slot));
}

SimReport NetSim::report() const {
  SimReport r;
  r.server_tick = host_.tick;
  r.server_hash = server_.game ? state_hash(*server_.game) : 0;
  r.guessed = host_.guessed;
  r.datagrams_lost = datagrams_lost_;
  r.datagrams_duplicated = datagrams_duplicated_;
  for (const auto& [slot, client] : clients_) {
    ClientReport c;
    c.rebuilds = client.rebuilds;
    c.predictions_checked = client.predictions_checked;
    c.predictions_wrong = client.predictions_wrong;
    if (client.session) {
      c.counters = client.session->counters;
      c.confirmed_tick = client.session->confirmed.tick;
      c.confirmed_hash = state_hash(client.session->confirmed);
    }
    r.clients[slot] = c;
  }
  return r;
}

NetSim::Event NetSim::event_at(std::uint64_t time, Kind kind, std::uint64_t slot) {
  Event event;
  event.time = time;
  event.kind = kind;
  event.slot = slot;
  return event;
}

void NetSim::schedule(Event event) {
  event.order = order_++;
  queue_.push(std::move(event));
}

std::uint64_t NetSim::trip_us() {
  const auto jitter = static_cast<std::int64_t>(net_.jitter_us);
  const std::int64_t trip = static_cast<std::int64_t>(net_.delay_us) + range(rng_, -jitter, jitter);
  return static_cast<std::uint64_t>(std::max<std::int64_t>(trip, 0));
}

void NetSim::send_datagram(bool to_server, std::uint64_t slot, std::vector<std::uint8_t> bytes) {
  if (chance(rng_, static_cast<std::int32_t>(net_.loss_per_mille))) {
    datagrams_lost_ += 1;
    return;
  }
  const bool twice = chance(rng_, static_cast<std::int32_t>(net_.duplicate_per_mille));
  datagrams_duplicated_ += twice ? 1 : 0;
  for (int copy = 0; copy < (twice ? 2 : 1); ++copy) {
    std::uint64_t arrival = now_ + trip_us();
    if (chance(rng_, static_cast<std::int32_t>(net_.reorder_per_mille))) {
      arrival += static_cast<std::uint64_t>(range(rng_, server_period_us, 3 * server_period_us));
    }
    Event event = event_at(arrival, to_server ? Kind::to_server : Kind::to_client, slot);
    event.bytes = bytes;
    schedule(std::move(event));
  }
}

void NetSim::send_line(std::uint64_t slot, std::string line) {
  Client& client = clients_[slot];
  client.stream_free_at = std::max(client.stream_free_at, now_ + trip_us());
  Event event = event_at(client.stream_free_at, Kind::line, slot);
  event.line = std::move(line);
  schedule(std::move(event));
}

void NetSim::send_stage_record(std::uint64_t slot) {
  auto [record, trailing] = running_record(*server_.record);
  const std::vector<std::string> lines = lines_of(write_replay(record));
  send_line(slot, "sync " + std::to_string(host_.epoch) + " " + std::to_string(lines.size()));
  for (const std::string& line : lines) send_line(slot, line);
  for (const Command& command : trailing) send_line(slot, cmd_line(host_.epoch, host_.tick + 1, command));
}

void NetSim::handle(Event& event) {
  switch (event.kind) {
    case Kind::server_pass: server_pass(); break;
    case Kind::client_pass: client_pass(event.slot); break;
    case Kind::to_server:
      if (const auto slot = handle_input_datagram(host_, event.bytes, session_ids_)) address_known_[*slot] = true;
      break;
    case Kind::to_client: clients_[event.slot].datagrams.push_back(std::move(event.bytes)); break;
    case Kind::line: clients_[event.slot].lines.push_back(std::move(event.line)); break;
  }
}

void NetSim::server_pass() {
  const bool occupied = std::any_of(session_ids_.begin(), session_ids_.end(), [](const auto& id) { return id.has_value(); });
  if (ticking_ && occupied && server_.game && server_.game->over == GameStatus::playing) {
    const std::uint64_t coming = host_.tick + 1;
    for (auto found = actions_.find(coming); found != actions_.end() && found->first == coming;) {
      auto action = std::move(found->second);
      found = actions_.erase(found);
      action(*this);
    }
    server_tick();
  }
  std::vector<std::uint8_t> bytes;
  for (std::size_t slot = 0; slot < net_slots; ++slot) {
    if (!session_ids_[slot] || !address_known_[slot]) continue;
    build_tick_message(host_, slot, *session_ids_[slot], bytes);
    send_datagram(false, slot, bytes);
  }
  schedule(event_at(now_ + server_period_us, Kind::server_pass));
}

void NetSim::server_tick() {
  const auto words = next_inputs(host_);
  (void)step_tick(server_, words);
  ticks_run_ += 1;
  if (!server_.game) return;
  const std::uint8_t let_go = confirm_tick(host_, words, *server_.game);
  for (std::size_t slot = 0; slot < net_slots; ++slot) {
    if ((let_go & (1u << slot)) == 0) continue;
    // The session is closed; its client comes back on the slot with a fresh record.
    activate_slot(host_, slot);
    send_stage_record(slot);
  }
}

void NetSim::client_pass(std::uint64_t slot) {
  Client& client = clients_[slot];
  take_lines(slot, client);
  take_datagrams(client);
  std::uint64_t period = server_period_us;
  if (client.session) {
    RollbackSession& session = *client.session;
    const std::uint64_t next = std::max(session.predicted.tick, session.confirmed.tick) + 1;
    (void)client_tick(session, client.script(slot, next));
    client.predictions_checked += 1;
    client.predictions_wrong += prediction_consistent(session) ? 0 : 1;
    std::vector<std::uint8_t> bytes;
    encode_input_datagram(client.session_id, input_message(session), bytes);
    send_datagram(true, slot, std::move(bytes));
    session.own_events.clear();
    session.confirmed_events.clear();
    period = client_tick_period_us(session.slack, 1);
  }
  schedule(event_at(now_ + period, Kind::client_pass, slot));
}

void NetSim::take_lines(std::uint64_t slot, Client& client) {
  while (!client.lines.empty()) {
    const std::string& line = client.lines.front();
    if (line.starts_with("sync ")) {
      const std::vector<std::string_view> words = split_words(line);
      VELMORA_CHECK(words.size() == 3, "a malformed sync line");
      const auto epoch = parse_unsigned(words[1], UINT16_MAX);
      const auto count = parse_unsigned(words[2]);
      VELMORA_CHECK(epoch && count, "a malformed sync line");
      if (client.lines.size() <= *count) return;  // the record is still on its way
      std::string text;
      for (std::uint64_t i = 1; i <= *count; ++i) text += client.lines[i] + "\n";
      client.lines.erase(client.lines.begin(), client.lines.begin() + static_cast<std::ptrdiff_t>(*count + 1));
      const auto record = read_replay(text);
      VELMORA_CHECK(record.ok(), "a stage record that does not read");
      const World world = play_back(*record);
      const auto e = static_cast<std::uint16_t>(*epoch);
      client.session = client.session ? renew_rollback_session(*client.session, world, e)
                                      : new_rollback_session(world, slot, net_slots, default_input_delay, e);
      client.rebuilds += 1;
      continue;
    }
    if (client.session) VELMORA_CHECK(receive_cmd_line(*client.session, line).ok(), "too many commands waiting");
    client.lines.pop_front();
  }
}

void NetSim::take_datagrams(Client& client) {
  std::vector<std::vector<std::uint8_t>> arrived = std::move(client.datagrams);
  client.datagrams.clear();
  if (!client.session) return;
  for (const auto& bytes : arrived) {
    const auto datagram = decode_tick_datagram(bytes, client.session->confirmed.tick);
    if (!datagram || datagram->session_id != client.session_id) continue;
    receive_tick_message(*client.session, datagram->message);
  }
}

bool prediction_consistent(const RollbackSession& session) {
  if (session.predicted.tick < session.confirmed.tick) return true;  // restarted at the next advance
  World world = session.confirmed;
  for (std::uint64_t t = world.tick + 1; t <= session.predicted.tick; ++t) {
    if (const auto found = session.commands.find(t); found != session.commands.end()) {
      for (const Command& command : found->second) (void)apply_command(world, command);
    }
    tick(world, session.predicted_inputs.at(t));
  }
  return state_hash(world) == state_hash(session.predicted);
}

SyncTestReport sync_test(const World& world, const InputScript& script, std::uint64_t ticks, std::uint64_t depth,
                         const std::map<std::uint64_t, std::vector<Command>>& commands) {
  RollbackSession session = new_rollback_session(world, 0, net_slots, default_input_delay, 0);
  for (const auto& [tick, list] : commands) {
    for (const Command& command : list) VELMORA_CHECK(receive_command(session, 0, tick, command).ok(), "no room");
  }
  std::map<std::uint64_t, std::uint64_t> first_run;
  SyncTestReport report;
  auto check = [&report, &first_run](std::uint64_t tick, std::uint64_t hash) {
    report.hashes_compared += 1;
    if (first_run.at(tick) == hash) return;
    if (report.mismatches++ == 0) report.first_mismatch_tick = tick;
  };
  const std::uint64_t start = world.tick;
  for (std::uint64_t i = 0; i < ticks; ++i) {
    const std::uint64_t p = session.predicted.tick + 1;
    rollback_advance(session, script(0, p));
    first_run.try_emplace(p, state_hash(session.predicted));
    // Run every unconfirmed tick again from the confirmed world, hashing each.
    session.predicted = session.confirmed;
    for (std::uint64_t t = session.confirmed.tick + 1; t <= p; ++t) {
      resimulate_tick(session, t);
      check(t, state_hash(session.predicted));
    }
    session.rollback_needed = true;  // and once more inside the next advance
    if (p - start <= depth) continue;
    // Confirm the oldest predicted tick with the words it was predicted with.
    const std::uint64_t c = session.confirmed.tick + 1;
    TickMessage m;
    m.first = c;
    m.count = 1;
    m.records[0].inputs = session.predicted_inputs.at(c);
    const auto found = commands.find(c);
    m.records[0].commands = static_cast<std::uint8_t>(found == commands.end() ? 0 : found->second.size());
    receive_tick_message(session, m);
    check(c, state_hash(session.confirmed));
  }
  report.ticks = ticks;
  return report;
}

}  // namespace velmora::testing
