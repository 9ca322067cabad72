#include "server/modes.h"

#include <csignal>
#include <ostream>

#include "core/clock.h"
#include "server/local_server.h"
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
    case Mode::online_server:
      io.err << "the online server is not built into this program yet\n";
      return 1;
    case Mode::online_client:
      io.err << "the online client is not built into this program yet\n";
      return 1;
  }
  return 1;
}

}  // namespace velmora
