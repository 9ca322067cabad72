#include "server/modes.h"

#include <csignal>
#include <ostream>

#include "core/clock.h"
#include "server/local_server.h"
#include "server/protocol.h"
#include "web/error_reporter.h"
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

int run_online(const Settings&, ProgramIo& io) {
  io.err << "the online server is not built into this program yet\n";
  return 1;
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
    case Mode::online_server: {
      // Errors of the online server go to the collector named by SENTRY_DSN;
      // what is still queued at the end gets at most 5 seconds.
      sentry_init();
      const int status = run_online(s, io);
      sentry_flush();
      return status;
    }
    case Mode::online_client:
      io.err << "the online client is not built into this program yet\n";
      return 1;
  }
  return 1;
}

}  // namespace velmora
