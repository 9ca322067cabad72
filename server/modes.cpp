#include "server/modes.h"

#include <ostream>

namespace velmora {

Mode choose_mode(const Settings& s) {
  if (s.online) return Mode::online_server;
  if (s.connect) return Mode::online_client;
  return Mode::local_server;
}

int run_mode(const Settings& s, ProgramIo& io) {
  switch (choose_mode(s)) {
    case Mode::local_server:
      io.err << "the local server is not built into this program yet\n";
      return 1;
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
