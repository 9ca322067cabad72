// Any bytes from the server's session stream, taken in by a joined client
// through its reader thread and pump (replies, "cmd", "looks", "sync" with its
// record), then any of them as a tick datagram: nothing crashes, the reply
// queue and the event list stay within their bounds.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <sys/socket.h>

#include "core/base/clock.h"
#include "core/base/panic.h"
#include "core/data/game_data.h"
#include "core/world/world.h"
#include "server/client/client_pump.h"
#include "server/client/client_session.h"

namespace {

using namespace velmora;

class NoDatagrams : public Datagrams {
 public:
  Result<std::size_t> receive(std::span<char>, SocketAddress&, std::chrono::nanoseconds) override {
    return error("timed out");
  }
  Status send_to(std::string_view, const SocketAddress&) override { return done(); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The peer writes everything before the client reads: it must fit the
  // socket's buffer.
  if (size > 16384) return 0;
  static const World world = new_game(0, 7, {});
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) return 0;
  SocketStream peer{Fd(fds[1])};
  FakeClock clock;
  std::ostringstream log;
  ClientTimings timings;
  timings.answer_wait = std::chrono::milliseconds(1000);
  ClientSession s{ClientEnv{clock, log, timings}};
  s.connection = std::move(Connection::start(std::make_unique<SocketStream>(Fd(fds[0]))).value());
  s.udp = std::make_unique<NoDatagrams>();
  s.slot = 1;
  s.session_id = 5;
  s.rollback = new_rollback_session(world, 1, 4, default_input_delay, 0);

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  (void)peer.write(bytes);
  peer.close();
  for (int i = 0; i < 100000 && s.connection.open() && !s.connection.lines().drained(); ++i) client_pump(s);
  handle_tick_datagram(s, std::span(data, size));
  client_tick_loop(s, [](const World&) { return Buttons{0}; });
  if (s.replies.size() > max_waiting_replies || s.events.size() > max_client_events) {
    panic("the client holds more than its bounds");
  }
  close_client(s);
  return 0;
}
