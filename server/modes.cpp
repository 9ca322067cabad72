#include "server/modes.h"

#include <csignal>
#include <ostream>

#include "core/clock.h"
#include "server/local_server.h"
#include "server/online_server.h"
#include "server/online_services.h"
#include "server/protocol.h"
#include "web/sockets.h"

namespace velmora {

namespace {

constexpr const char* local_host = "127.0.0.1";

int run_local_server(const Settings& s, ProgramIo& io) {
  auto listener = listen_tcp(local_host, s.port);
  if (!listener) {
    io.err << "cannot bind " << local_host << ":" << s.port << ": " << listener.message() << "\n";
    return 1;
  }
  io.out << "LISTENING " << (*listener)->port() << "\n";
  io.out.flush();
  ServerState state = new_server_state(s.replays, io.disk, real_clock());
  RequestService service(state);
  return serve_lines(**listener, service);
}

// The online server's hooks as the program runs it: its services, and
// "LISTENING" on the program's standard output.
class ProgramHooks : public OnlineServices {
 public:
  explicit ProgramHooks(ProgramIo& io) : OnlineServices(agones_base_from_environment()), io_(io) {}
  void listening(std::uint16_t port) override {
    io_.out << "LISTENING " << port << "\n";
    io_.out.flush();
  }

 private:
  ProgramIo& io_;
};

int run_online(const Settings& s, ProgramIo& io) {
  const std::uint64_t seed = s.seed ? *s.seed : real_clock().wall_seconds();
  const OnlineConfig config = online_config(s, opening_request_line(seed, s.players, s.classes, s.campaign));
  ProgramHooks hooks(io);
  return run_online_server(config, hooks, io.disk);
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
    case Mode::online_client:
      io.err << "the online client is not built into this program yet\n";
      return 1;
  }
  return 1;
}

}  // namespace velmora
