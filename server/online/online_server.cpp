#include "server/online/online_server.h"

#include <algorithm>
#include <thread>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "server/online/online_protocol.h"
#include "server/online/online_sessions.h"
#include "server/online/online_transport.h"
#include "server/service/recording.h"

namespace velmora {

namespace {

using namespace std::chrono_literals;

// ---------------------------------------------------------------------------
// The stage being played

std::vector<const Actor*> player_fighters(const World& world) {
  std::vector<const Actor*> fighters;
  for (const Actor& a : world.actors) {
    if (a.team == 0) fighters.push_back(&a);
  }
  return fighters;
}

StageTransaction open_transaction(const OnlineServer& server) {
  const World& world = *server.state.game;
  StageTransaction t;
  t.stage_counter = server.state.stage_counter;
  t.stage = world.stage().name;
  t.name = "stage " + t.stage;
  std::vector<std::string> classes;
  for (const Actor* a : player_fighters(world)) classes.push_back(kind_by_id(a->kind).name);
  t.classes = join(classes, ",");
  t.players = classes.size();
  return t;
}

void finish_transaction(OnlineServer& server, std::string_view status) {
  if (!server.transaction) return;
  server.env.hooks.stage_end(*server.transaction, status);
  server.transaction.reset();
}

// The open transaction belongs to the stage that ticks now.
void follow_stage(OnlineServer& server) {
  if (server.transaction && server.transaction->stage_counter != server.state.stage_counter) {
    finish_transaction(server, "left");
  }
  if (!server.transaction) {
    server.transaction = open_transaction(server);
    server.env.hooks.stage_begin(*server.transaction);
  }
}

// The stage ended in this tick: each player fighter counts once.
void count_stage_end(OnlineServer& server) {
  const World& world = *server.state.game;
  const std::string_view status = game_status_word(world.over);
  for (const Actor* a : player_fighters(world)) {
    count_stage_result(server.results, world.stage().name, status, kind_by_id(a->kind).name);
  }
  finish_transaction(server, status);
}

// Whole microseconds from one instant to a later one; 0 when it is not later.
std::uint64_t microseconds_between(Instant from, Instant to) {
  return static_cast<std::uint64_t>(
      std::max<std::int64_t>(0, std::chrono::duration_cast<std::chrono::microseconds>(to - from).count()));
}

bool anyone_playing(const OnlineServer& server) {
  return std::any_of(server.slots.slots.begin(), server.slots.slots.end(),
                     [](const SlotEntry& e) { return e.occupied; });
}

// Closes the sessions of the slots the host let go (too far behind to catch up).
void close_let_go(OnlineServer& server, std::uint8_t let_go) {
  for (std::size_t s = 0; s < slot_count; ++s) {
    if ((let_go >> s & 1) == 0) continue;
    for (std::uint64_t key : filter_sessions(server, s)) close_session(server, key);
  }
}

void step_game(OnlineServer& server) {
  ServerState& state = server.state;
  if (!anyone_playing(server) || !state.game || state.game->over != GameStatus::playing) return;
  follow_stage(server);
  const std::array<Buttons, net_slots> inputs = next_inputs(server.host);
  const Instant before = server.env.clock.monotonic();
  const std::uint64_t late_us = microseconds_between(server.tick_due, before);
  (void)step_tick(state, inputs);
  const Instant after = server.env.clock.monotonic();
  const std::uint64_t micros = microseconds_between(before, after);
  StageTransaction& t = *server.transaction;
  ++t.ticks;
  if (after - before > server.period) ++t.slow_ticks;
  t.slowest_tick_us = std::max(t.slowest_tick_us, micros);
  t.latest_tick_us = std::max(t.latest_tick_us, late_us);
  if (state.game) {
    close_let_go(server, confirm_tick(server.host, inputs, *state.game));
    if (state.game->over != GameStatus::playing) count_stage_end(server);
  }
  ++server.stats.ticks;
  server.stats.slowest_tick_us = std::max(server.stats.slowest_tick_us, micros);
}

// ---------------------------------------------------------------------------
// Datagrams

void send_tick_datagrams(OnlineServer& server) {
  for (std::size_t s = 0; s < slot_count; ++s) {
    const SlotEntry& e = server.slots.slots[s];
    if (!e.occupied || !e.source) continue;
    build_tick_message(server.host, s, e.occupant, server.send_buffer);
    ++server.stats.packets_sent;
    server.stats.bytes_sent += server.send_buffer.size();
    (void)server.env.udp.send_to(
        std::string_view(reinterpret_cast<const char*>(server.send_buffer.data()), server.send_buffer.size()),
        *e.source);
  }
}

bool receive_one(OnlineServer& server, std::chrono::nanoseconds wait) {
  SocketAddress from;
  std::span<char> buffer(reinterpret_cast<char*>(server.receive_buffer.data()), server.receive_buffer.size());
  auto n = server.env.udp.receive(buffer, from, wait);
  if (!n) return false;
  handle_datagram(server, std::span<const std::uint8_t>(server.receive_buffer.data(), *n), from);
  return true;
}

// What waits on the socket first, so that a loop that is behind still reads
// its input; then whatever comes until the deadline.
void receive_until_deadline(OnlineServer& server) {
  for (std::size_t i = 0; i < datagrams_per_drain && receive_one(server, 0ns); ++i) {
  }
  for (Instant now = server.env.clock.monotonic(); now < server.deadline; now = server.env.clock.monotonic()) {
    // Whole milliseconds, at least one: the wait never ends early and never spins.
    const auto left = server.deadline - now;
    const auto wait = std::max<std::chrono::nanoseconds>(std::chrono::ceil<std::chrono::milliseconds>(left), 1ms);
    (void)receive_one(server, wait);
  }
}

void advance_deadline(OnlineServer& server) {
  server.tick_due = server.deadline;
  server.deadline += server.period;
  const Instant now = server.env.clock.monotonic();
  if (now - server.deadline > catch_up_periods * server.period) server.deadline = now + server.period;
}

// ---------------------------------------------------------------------------
// Events, metrics and the idle stop

// The events waiting, until the next tick is due: the rest of a burst waits
// for the passes after the tick instead of holding it up. One event at least,
// so the sessions go on while the loop catches up.
void drain_events(OnlineServer& server, EventChannel& channel) {
  for (std::size_t i = 0; i < event_channel_capacity; ++i) {
    if (i > 0 && server.env.clock.monotonic() >= server.deadline) break;
    auto event = channel.try_recv();
    if (!event) break;
    handle_server_event(server, std::move(*event));
  }
}

void publish_metrics(OnlineServer& server) {
  const Instant now = server.env.clock.monotonic();
  if (!server.metrics || now - server.metrics_at < 1s) return;
  MetricsStats& stats = server.stats;
  stats.players = static_cast<std::uint64_t>(std::count_if(server.slots.slots.begin(), server.slots.slots.end(),
                                                           [](const SlotEntry& e) { return e.occupied; }));
  stats.game_seconds = static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::seconds>(now - server.started).count());
  // Each new stage's host carries the counts over, so the sum only grows.
  stats.inputs_guessed = 0;
  for (const std::uint64_t guessed : server.host.guessed) stats.inputs_guessed += guessed;
  server.env.hooks.metrics(stats, server.results);
  server.metrics_at = now;
  server.stats.slowest_tick_us = 0;
}

// The stop, whether idle or asked for: the stage under way is abandoned and
// its record saved, and the hooks say it to the world.
void stop(OnlineServer& server, const std::string& why) {
  server.env.hooks.log_info(why + ": stopping");
  finish_transaction(server, "abandoned");
  (void)save_replay_if_unsaved(server.state);
  server.env.hooks.stopping();
  server.stopped = true;
}

void idle_check(OnlineServer& server) {
  const Instant now = server.env.clock.monotonic();
  if (!server.sessions.empty()) {
    server.idle_since.reset();
    return;
  }
  if (!server.idle_since) server.idle_since = now;
  if (now - *server.idle_since < server.idle) return;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(server.idle).count();
  stop(server, "nobody connected for " + std::to_string(seconds) + " s");
}

void stop_check(OnlineServer& server) {
  if (server.stopped) return;
  if (auto why = server.env.hooks.stop_requested()) stop(server, *why);
}

}  // namespace

std::chrono::nanoseconds tick_period(std::uint32_t speed) {
  const std::int64_t micros = std::max<std::int64_t>(16666 / std::max<std::uint32_t>(speed, 1), 1);
  return std::chrono::microseconds(micros);
}

std::unique_ptr<OnlineServer> open_online_game(const OnlineConfig& config, const std::string& opening, OnlineEnv env) {
  auto server = std::make_unique<OnlineServer>(env);
  server->state = new_server_state(config.replays, env.disk, env.clock);
  server->state.log_error = [&hooks = env.hooks](std::string_view line) { hooks.log_error(line); };
  const std::string reply = handle_request(server->state, opening);
  if (!server->state.game) {
    env.hooks.log_error("cannot start the game: " + reply);
    return nullptr;
  }
  server->env.hooks.log_info("online game: a party of " + std::to_string(player_fighters(*server->state.game).size()) +
                             ", data " + hex16(game_data().data_hash));
  server->host = new_net_host(slot_count, 0, 0);
  for (std::size_t s = 0; s < slot_count; ++s) deactivate_slot(server->host, s);
  server->stage_seen = server->state.stage_counter;
  server->away = config.away;
  server->idle = config.idle;
  server->dev = config.dev;
  server->metrics = config.metrics_port.has_value();
  const Instant now = env.clock.monotonic();
  server->started = now;
  server->metrics_at = now;
  server->idle_since = now;
  server->period = tick_period(config.speed);
  server->deadline = now + server->period;
  return server;
}

void handle_server_event(OnlineServer& server, ServerEvent event) {
  if (auto* c = std::get_if<NewConnection>(&event)) return add_session(server, c->key, std::move(c->stream));
  if (auto* j = std::get_if<JoinRequest>(&event)) return handle_join_request(server, j->key, j->wish);
  if (auto* l = std::get_if<ConnectionLine>(&event)) return handle_session_line(server, l->key, l->text);
  if (auto* t = std::get_if<LineTooLong>(&event)) return handle_line_too_long(server, t->key);
  close_session(server, std::get<ConnectionEnd>(event).key);
}

void handle_datagram(OnlineServer& server, std::span<const std::uint8_t> bytes, const SocketAddress& from) {
  ++server.stats.packets_received;
  server.stats.bytes_received += bytes.size();
  std::array<std::optional<std::uint64_t>, net_slots> ids;
  for (std::size_t s = 0; s < slot_count; ++s) {
    if (server.slots.slots[s].occupied) ids[s] = server.slots.slots[s].occupant;
  }
  const auto slot = handle_input_datagram(server.host, bytes, ids);
  if (slot) heard_from(server.slots, *slot, from, server.env.clock.monotonic());
}

void online_pass(OnlineServer& server, EventChannel& channel) {
  drain_events(server, channel);
  flush_sessions(server);
  receive_until_deadline(server);
  advance_deadline(server);
  away_check(server);
  step_game(server);
  send_tick_datagrams(server);
  flush_sessions(server);
  publish_metrics(server);
  idle_check(server);
  stop_check(server);
}

// ---------------------------------------------------------------------------
// The real server

namespace {

// The accept thread and its readers, stopped on every way out once started.
class SessionThreads {
 public:
  SessionThreads(Listener& listener, EventChannel& channel) : listener_(listener), channel_(channel) {}
  Status start(ThreadSpawner& threads, LogLine log) {
    auto accepting = start_thread(
        [this, &threads, log = std::move(log)] { session_accept_loop(listener_, channel_, threads, log); },
        service_stack_bytes, threads);
    if (!accepting) return error(accepting.message());
    thread_ = std::move(*accepting);
    return done();
  }
  ~SessionThreads() {
    if (!thread_.joinable()) return;
    channel_.close();
    // Connections the loop never took: their readers wake when they close.
    while (auto event = channel_.try_recv()) {
      if (auto* c = std::get_if<NewConnection>(&*event)) c->stream->close();
    }
    listener_.interrupt();
    thread_.join();
  }
  SessionThreads(const SessionThreads&) = delete;
  SessionThreads& operator=(const SessionThreads&) = delete;

 private:
  Listener& listener_;
  EventChannel& channel_;
  Thread thread_;
};

// The services beside the loop stop on every way out.
class ServicesStop {
 public:
  explicit ServicesStop(OnlineHooks& hooks) : hooks_(hooks) {}
  ~ServicesStop() { hooks_.stop_services(); }
  ServicesStop(const ServicesStop&) = delete;
  ServicesStop& operator=(const ServicesStop&) = delete;

 private:
  OnlineHooks& hooks_;
};

void close_all_sessions(OnlineServer& server) {
  while (!server.sessions.empty()) close_session(server, server.sessions.begin()->first);
}

}  // namespace

int run_online_server(const OnlineConfig& config, OnlineHooks& hooks, Disk& disk, ThreadSpawner& threads) {
  // The session port (TCP) and the tick port (UDP) share one number.
  auto ports = bind_port_pair(config.bind, config.port);
  if (!ports) {
    hooks.log_error(ports.message());
    return 1;
  }
  auto& [listener, udp] = *ports;
  // A burst of connections (a crowd of idle ones among them) waits for its
  // accept instead of having its SYNs dropped, which would cost a newcomer a
  // second before it even connects.
  set_listen_backlog(*listener, 128);
  hooks.listening(listener->port());
  ServicesStop services(hooks);
  if (auto started = hooks.start_services(config); !started) {
    hooks.log_error(started.message());
    return 1;
  }
  EventChannel channel(event_channel_capacity);
  SessionThreads sessions(*listener, channel);
  if (auto started = sessions.start(threads, [&hooks](std::string_view line) { hooks.log_error(line); }); !started) {
    hooks.log_error("cannot start the session thread: " + started.message());
    return 1;
  }
  auto opening = hooks.opening_request(config);
  if (!opening) {
    // Asked to stop while waiting for the allocation: there is no game yet.
    if (auto why = hooks.stop_requested()) {
      hooks.log_info(*why + ": stopping");
      hooks.stopping();
      return 0;
    }
    hooks.log_error("agones: " + opening.message());
    return 1;
  }
  auto server = open_online_game(config, *opening, OnlineEnv{real_clock(), *udp, disk, hooks});
  if (!server) return 1;
  while (!server->stopped) online_pass(*server, channel);
  close_all_sessions(*server);
  return 0;
}

}  // namespace velmora
