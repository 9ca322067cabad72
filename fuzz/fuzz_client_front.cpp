// Arbitrary request lines from a front end go to the online client's own
// line protocol, on a session whose server is out of reach (so that nothing
// waits on the network): every reply must be one JSON object, the prediction
// never runs further ahead than its limit, and the events kept stay bounded.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>

#include "core/base/clock.h"
#include "core/base/disk.h"
#include "server/client/client_local_server.h"
#include "server/service/protocol.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

constexpr std::size_t max_lines = 64;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  FakeClock clock;
  std::ostringstream log;
  ServerState state = new_server_state(std::nullopt, real_disk(), clock);
  (void)handle_request(state, "new 1 2");
  ClientSession session(ClientEnv{clock, log, ClientTimings{}});
  session.rollback = new_rollback_session(*state.game, 0, 4, default_input_delay, 0);
  session.players = 4;
  session.lost = std::string(unreachable_message);
  ClientFront front(session);
  std::size_t start = 0;
  for (std::size_t lines = 0; start < input.size() && lines < max_lines; ++lines) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    clock.advance(std::chrono::milliseconds(17));
    const std::string reply = client_local_request(front, input.substr(start, end - start));
    if (reply.empty() || reply.front() != '{' || reply.back() != '}') fail("a reply that is not one object");
    if (session.rollback.predicted.tick > session.rollback.confirmed.tick + max_prediction_ticks) {
      fail("the prediction ran past its limit");
    }
    if (session.events.size() > max_client_events) fail("the events grew past their bound");
    start = end + 1;
  }
  return 0;
}
