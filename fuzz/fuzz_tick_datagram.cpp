// Arbitrary bytes as a tick datagram reaching a client: nothing may crash, a
// datagram that is read must write back to the bytes of its layout, and a
// session that takes it in keeps its confirmed world in step with the ticks
// it was given and its prediction within bounds.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#include "core/data/game_data.h"
#include "core/net/rollback_session.h"
#include "core/world/actor.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

const velmora::RollbackSession& fresh_session() {
  static const velmora::RollbackSession session = velmora::new_rollback_session(
      velmora::new_game(0, 1, std::vector<velmora::CharacterSheet>(2, velmora::new_character(velmora::default_class()))),
      0, 4, velmora::default_input_delay, 0);
  return session;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  const std::span<const std::uint8_t> bytes(data, size);
  const auto decoded = decode_tick_datagram(bytes, 0);
  if (!decoded) return 0;
  std::vector<std::uint8_t> again;
  encode_tick_datagram(decoded->session_id, decoded->message, again);
  if (again.size() > bytes.size() || !std::equal(again.begin(), again.end(), bytes.begin())) {
    fail("a tick datagram does not write back to its bytes");
  }

  RollbackSession session = fresh_session();
  TickMessage message = decoded->message;
  message.epoch = 0;  // taken in, whatever epoch it carried
  for (int pass = 0; pass < 3; ++pass) {
    const std::uint64_t before = session.confirmed.tick;
    receive_tick_message(session, message);
    if (session.confirmed.tick < before || session.confirmed.tick - before > message.count) {
      fail("confirmed ticks that were not given");
    }
    (void)client_tick(session, 0);
    if (session.predicted.tick > session.confirmed.tick + max_prediction_ticks) fail("a prediction past its limit");
    if (input_message(session).count > max_sent_inputs) fail("too many inputs in a message");
  }
  return 0;
}
