// Arbitrary request lines go to the dispatcher of a running two-player game
// (debug on, so every request is reachable): every reply must be one JSON
// object, nothing may crash, and the game's record must always play back to
// the state of the game itself. Files are never read: "watch" finds none.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/base/clock.h"
#include "core/base/disk.h"
#include "core/replay/replay.h"
#include "core/world/state_hash.h"
#include "server/service/protocol.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

class NoDisk : public velmora::Disk {
 public:
  velmora::Result<std::string> read_file(const std::string&, std::uint64_t) override {
    return velmora::error("No such file or directory");
  }
};

constexpr std::size_t max_lines = 48;  // "run" may take 600 ticks each

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  NoDisk disk;
  velmora::FakeClock clock;
  velmora::ServerState state = velmora::new_server_state(std::nullopt, disk, clock);
  (void)velmora::handle_request(state, "debug on");
  (void)velmora::handle_request(state, "new 1 2");
  std::size_t start = 0;
  for (std::size_t lines = 0; start < input.size() && lines < max_lines; ++lines) {
    std::size_t end = input.find('\n', start);
    if (end == std::string_view::npos) end = input.size();
    const std::string reply = velmora::handle_request(state, input.substr(start, end - start));
    if (reply.empty() || reply.front() != '{' || reply.back() != '}') fail("a reply that is not one object");
    start = end + 1;
  }
  if (state.game && state.record && !state.watch) {
    const velmora::World played = velmora::play_back(*state.record);
    if (played.tick != state.game->tick || velmora::state_hash(played) != velmora::state_hash(*state.game)) {
      fail("the record does not play back to the game");
    }
  }
  return 0;
}
