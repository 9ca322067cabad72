#include "server/modes.h"

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <optional>
#include <ostream>

#include "core/base/clock.h"
#include "core/bot/bot.h"
#include "server/client/client_local_server.h"
#include "server/client/client_script.h"
#include "server/client/client_session.h"
#include "server/online/online_server.h"
#include "server/online/online_services.h"
#include "server/online/stage_transaction.h"
#include "server/service/local_server.h"
#include "server/service/protocol.h"
#include "server/stop_signals.h"
#include "web/error_reporter.h"
#include "web/sockets.h"

namespace velmora {

namespace {

constexpr const char* local_host = "127.0.0.1";

// SIGTERM ends the local server as "quit" would: the game's unsaved record
// is saved, and the status is 0.
int run_local_server(const Settings& s, ProgramIo& io) {
  catch_stop_signals({SIGTERM});
  auto listener = listen_tcp(local_host, s.port);
  if (!listener) {
    io.err << "cannot bind " << local_host << ":" << s.port << ": " << listener.message() << "\n";
    return 1;
  }
  WakeableListener wakeable(std::move(*listener), stop_signal_fd());
  io.out << "LISTENING " << wakeable.port() << "\n";
  io.out.flush();
  ServerState state = new_server_state(s.replays, io.disk, real_clock());
  RequestService service(state);
  const int status = serve_lines(wakeable, service, [] { return stop_signal() != 0; });
  if (const int signal = stop_signal()) io.err << signal_name(signal) << ": stopped\n";
  return status;
}

// The online server's hooks as the program runs it: its services,
// "LISTENING" on the program's standard output, its log lines and one
// transaction per stage through the error reporter.
class ProgramHooks : public OnlineServices {
 public:
  explicit ProgramHooks(ProgramIo& io) : OnlineServices(agones_base_from_environment()), io_(io) {}
  void listening(std::uint16_t port) override {
    io_.out << "LISTENING " << port << "\n";
    io_.out.flush();
  }
  void log_info(std::string_view line) override { velmora::log_info(line); }
  void log_error(std::string_view line) override { velmora::log_error(line); }
  std::optional<std::string> stop_requested() override {
    if (const int signal = stop_signal()) return signal_name(signal);
    return std::nullopt;
  }
  void stage_begin(const StageTransaction& t) override {
    open_ = open_stage_transaction(t.stage, t.classes, t.players, traces_sample_rate());
  }
  void stage_end(const StageTransaction& t, std::string_view status) override {
    if (!open_) return;
    open_->ticks = static_cast<std::int64_t>(std::min<std::uint64_t>(t.ticks, INT64_MAX));
    open_->slow_ticks = static_cast<std::int64_t>(std::min<std::uint64_t>(t.slow_ticks, INT64_MAX));
    open_->tick_us_max = static_cast<std::int64_t>(std::min<std::uint64_t>(t.slowest_tick_us, INT64_MAX));
    finish_transaction(std::move(*open_), status);
    open_.reset();
  }

 private:
  ProgramIo& io_;
  std::optional<GameTransaction> open_;  // the stage under way
};

// SIGTERM (Kubernetes stopping the pod) and SIGINT stop the online server at
// its next pass, as the idle stop does.
int run_online(const Settings& s, ProgramIo& io) {
  catch_stop_signals({SIGTERM, SIGINT});
  const std::uint64_t seed = s.seed ? *s.seed : real_clock().wall_seconds();
  const OnlineConfig config = online_config(s, opening_request_line(seed, s.players, s.classes, s.campaign));
  ProgramHooks hooks(io);
  return run_online_server(config, hooks, io.disk);
}

int run_client(const Settings& s, ProgramIo& io) {
  ClientEnv env{real_clock(), io.err, ClientTimings{}};
  auto session = open_client(env, ClientJoin{*s.connect, s.code, s.slot, s.session});
  if (!session) {
    io.err << session.message() << "\n";
    return 1;
  }
  ClientSession& joined = **session;
  io.err << "playing slot " << joined.slot << " of " << joined.players << " at " << *s.connect << "\n";
  if (!s.bot) {
    const int status = serve_local_online(joined, s.port, io.out, io.err);
    close_client(joined);
    return status;
  }
  const std::uint64_t slot = joined.slot;
  const InputSource bot = [slot](const World& predicted) { return bot_input(predicted, slot); };
  return client_script(joined, script_config(s), bot, io.out);
}

}  // namespace

Mode choose_mode(const Settings& s) {
  if (s.online) return Mode::online_server;
  if (s.connect) return Mode::online_client;
  return Mode::local_server;
}

int run_mode(const Settings& s, ProgramIo& io) {
  // A peer that goes away must never end the program: writes report the
  // broken pipe as an error instead.
  std::signal(SIGPIPE, SIG_IGN);
  switch (choose_mode(s)) {
    case Mode::local_server: return run_local_server(s, io);
    case Mode::online_server: return run_online(s, io);
    case Mode::online_client: return run_client(s, io);
  }
  return 1;
}

}  // namespace velmora
