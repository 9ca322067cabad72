// Arbitrary bytes as an input datagram reaching the server: the first eight
// bytes choose the server's tick, the rest is the datagram. Nothing may crash;
// a datagram that is read must write back to the same bytes, and the host it
// reaches must keep its bounds and build well-formed tick datagrams after.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <vector>

#include "core/data/game_data.h"
#include "core/net/net_host.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

const velmora::World& world() {
  static const velmora::World w = velmora::new_game(0, 1, {});
  return w;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velmora;
  std::uint64_t tick = 0;
  const std::size_t head = std::min<std::size_t>(size, 8);
  std::memcpy(&tick, data, head);
  tick &= (std::uint64_t{1} << 62) - 1;
  const std::span<const std::uint8_t> datagram(data + head, size - head);

  const auto decoded = decode_input_datagram(datagram, tick);
  if (decoded) {
    std::vector<std::uint8_t> again;
    encode_input_datagram(decoded->session_id, decoded->message, again);
    if (again.size() > datagram.size() || !std::equal(again.begin(), again.end(), datagram.begin())) {
      fail("an input datagram does not write back to its bytes");
    }
  }

  NetHost host = new_net_host(4, tick, decoded ? decoded->message.epoch : 0);
  std::array<std::optional<std::uint64_t>, net_slots> ids{};
  ids[2] = decoded ? decoded->session_id : 1;
  const auto slot = handle_input_datagram(host, datagram, ids);
  if (slot.has_value() != decoded.has_value() || (slot && *slot != 2)) fail("the sender's slot is wrong");
  if (host.acked[2] > host.tick) fail("an acknowledgement beyond the server's tick");
  for (int i = 0; i < 3; ++i) (void)confirm_tick(host, next_inputs(host), world());
  std::vector<std::uint8_t> bytes;
  for (std::uint64_t s = 0; s < net_slots; ++s) {
    build_tick_message(host, s, s, bytes);
    auto back = decode_tick_datagram(bytes, host.tick);
    TickMessage expected = tick_message(host, s);
    if (!back || static_cast<std::uint32_t>(back->message.last_input) != static_cast<std::uint32_t>(expected.last_input)) {
      fail("a tick datagram that does not read back");
    }
    // A last input tick claimed far from the server's tick widens elsewhere
    // on the way back; only its wire bits must match.
    back->message.last_input = expected.last_input;
    if (static_cast<std::uint32_t>(expected.hash_tick) == 0) expected.hash_tick = 0;  // read as "no hash yet"
    if (back->message != expected) fail("a tick datagram that does not read back");
  }
  return 0;
}
