#include "server/client/client_script.h"

#include <algorithm>
#include <chrono>
#include <ostream>

#include "core/base/text.h"
#include "core/world/actor.h"

namespace velmora {

namespace {

using namespace std::chrono_literals;

constexpr auto pass_pause = 2ms;
constexpr auto closing_pumps = 500ms;
constexpr auto closing_pause = 5ms;

const Actor* own_fighter(const World& world, std::uint64_t slot) {
  for (const Actor& a : world.actors) {
    if (a.team == 0 && a.slot == slot && a.gone == 0) return &a;
  }
  return nullptr;
}

std::uint64_t fighters_on_stage(const World& world) {
  return static_cast<std::uint64_t>(
      std::count_if(world.actors.begin(), world.actors.end(), [](const Actor& a) { return a.team == 0 && a.gone == 0; }));
}

std::uint64_t millis_since(const ClientSession& s, Instant start) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(s.env.clock.monotonic() - start).count();
  return ms > 0 ? static_cast<std::uint64_t>(ms) : 0;
}

bool ok_reply(const std::string& reply) { return reply.starts_with("{\"ok\":true"); }

// Where one run of the script stands.
struct ScriptRun {
  ClientSession& s;
  const ScriptConfig& config;
  const InputSource& input;
  Instant start{0};
  std::uint64_t commands = 0;
  std::uint64_t swap_mark = 0;  // the predicted tick's multiple of 150 last seen
  bool confirmed_said = false;
  bool on_stage_said = false;
  bool dropped = false;
  bool moved = false;
};

// The session has not failed for good, has ticks to play and a stage that
// still runs at the server.
bool still_playing(const ScriptRun& run) {
  const ClientSession& s = run.s;
  return !s.lost && s.ticks_played < run.config.ticks && s.rollback.confirmed.over == GameStatus::playing;
}

// A server that sends no tick for the give-up time is as lost as one that
// cannot be reached.
void check_ticks_arrive(ClientSession& s) {
  if (s.reconnecting || s.lost) return;
  if (s.env.clock.monotonic() - s.last_confirmed >= s.env.timings.give_up_after) {
    s.lost = std::string(unreachable_message);
  }
}

void client_pass(ScriptRun& run) {
  client_pump(run.s);
  if (run.s.reconnecting) {
    client_reconnect(run.s);
  } else {
    client_tick_loop(run.s, run.input);
  }
  run.s.events.clear();
  check_ticks_arrive(run.s);
}

void announce_progress(ScriptRun& run) {
  if (!run.confirmed_said && run.s.confirmed_any) {
    run.confirmed_said = true;
    run.s.env.log << "first confirmed ticks after " << millis_since(run.s, run.start) << " ms\n";
  }
  if (!run.on_stage_said && own_fighter(run.s.rollback.predicted, run.s.slot)) {
    run.on_stage_said = true;
    run.s.env.log << "own fighter on stage after " << millis_since(run.s, run.start) << " ms\n";
  }
}

void join_when_off_stage(ScriptRun& run) {
  const World& predicted = run.s.rollback.predicted;
  if (predicted.over != GameStatus::playing || run.s.reconnecting || own_fighter(predicted, run.s.slot)) return;
  (void)client_command(run.s, "join " + std::to_string(run.s.slot));
}

void swap_weapons(ScriptRun& run) {
  const std::uint64_t mark = run.s.rollback.predicted.tick / swap_every_ticks;
  if (!run.config.swaps || mark <= run.swap_mark) return;
  run.swap_mark = mark;
  const auto command = swap_command(run.s.rollback.predicted, run.s.slot);
  if (command && ok_reply(client_command(run.s, format_command(*command)))) run.commands += 1;
}

void drop_session(ScriptRun& run) {
  if (!run.config.drop_at || run.dropped || run.s.ticks_played < *run.config.drop_at) return;
  run.dropped = true;
  run.s.connection.shut_down();
}

void move_area(ScriptRun& run) {
  const auto& at = run.config.goto_at;
  if (!at || run.moved || run.s.reconnecting || run.s.ticks_played < at->tick) return;
  run.moved = true;
  (void)client_command(run.s, "debug on");
  const std::string reply = client_command(run.s, "goto " + at->area);
  if (!ok_reply(reply)) run.s.env.log << "goto refused: " << reply << "\n";
}

void finish(ScriptRun& run) {
  ClientSession& s = run.s;
  const Instant until = s.env.clock.monotonic() + closing_pumps;
  while (s.env.clock.monotonic() < until) {
    client_pump(s);
    s.env.clock.sleep_for(closing_pause);
  }
  if (run.config.bye) (void)client_command(s, "bye");
}

// Why a run that kept its session still fails; none when it passed. A run
// of no ticks only pumps, so it is held to no confirmed tick and no hash.
std::optional<std::string> failure(const ClientSession& s, const ScriptConfig& config) {
  const RollbackCounters& c = s.rollback.counters;
  if (c.desyncs != 0 || config.ticks == 0) return std::nullopt;  // the status line says a desync
  if (!s.confirmed_any) return "no tick was confirmed";
  if (s.ticks_played >= ticks_before_a_hash && c.hashes_compared == 0) return "no state hash was compared";
  return std::nullopt;
}

int outcome(ClientSession& s, const ScriptConfig& config) {
  if (s.lost) {
    s.env.log << *s.lost << "\n";
    return 1;
  }
  if (const auto why = failure(s, config)) {
    s.env.log << *why << "\n";
    return 1;
  }
  return s.rollback.counters.desyncs != 0 ? 1 : 0;
}

}  // namespace

std::optional<Command> swap_command(const World& world, std::uint64_t slot) {
  const Actor* a = own_fighter(world, slot);
  if (a == nullptr || !a->live()) return std::nullopt;
  const auto slot8 = static_cast<std::uint8_t>(slot);
  if (a->gear[0]) return UnequipCommand{slot8, 0};
  for (std::size_t i = a->bag.size(); i-- > 0;) {
    if (item_def(a->bag[i]).slot == ItemSlot::weapon) return EquipCommand{slot8, i};
  }
  return std::nullopt;
}

std::string status_line(const ClientSession& s, std::uint64_t commands) {
  const RollbackSession& r = s.rollback;
  const RollbackCounters& c = r.counters;
  return "slot " + std::to_string(s.slot) + " session " + std::to_string(s.session_id) + " fighters " +
         std::to_string(fighters_on_stage(r.confirmed)) + " epoch " + std::to_string(r.epoch) + " predicted " +
         std::to_string(r.predicted.tick) + " confirmed " + std::to_string(r.confirmed.tick) + " status " +
         std::string(game_status_word(r.confirmed.over)) + " hash " + hex16(s.newest_hash) +
         ": rollbacks " + std::to_string(c.rollbacks) + " deepest " + std::to_string(c.deepest) + " jumped " +
         std::to_string(c.jumped_ticks) + " commands " + std::to_string(commands) + " reconnects " +
         std::to_string(s.reconnects) + " hashes compared " + std::to_string(c.hashes_compared) + " desyncs " +
         std::to_string(c.desyncs);
}

int client_script(ClientSession& session, const ScriptConfig& config, const InputSource& input, std::ostream& out) {
  ScriptRun run{session, config, input};
  run.start = session.env.clock.monotonic();
  run.swap_mark = session.rollback.predicted.tick / swap_every_ticks;
  while (still_playing(run)) {
    client_pass(run);
    announce_progress(run);
    join_when_off_stage(run);
    swap_weapons(run);
    drop_session(run);
    move_area(run);
    session.env.clock.sleep_for(pass_pause);
  }
  finish(run);
  const RollbackCounters& c = session.rollback.counters;
  session.env.log << "rolled back " << c.rollback_ticks << " ticks in " << c.rollbacks << " rollbacks, "
                  << c.command_waits << " command waits\n";
  out << status_line(session, run.commands) << "\n";
  out.flush();
  const int status = outcome(session, config);
  close_client(session);
  return status;
}

}  // namespace velmora
