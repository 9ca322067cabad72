// The online game server: one game for up to four remote players. Sessions
// arrive as events from the session threads; inputs as datagrams; a single
// loop owns every piece of game state, merges the inputs by tick, steps the
// game at 60 ticks a second (times the speed), sends every player the
// confirmed ticks, and stops when nobody has been connected for the idle time.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/base/clock.h"
#include "core/base/disk.h"
#include "core/net/net_host.h"
#include "server/online/online_channel.h"
#include "server/online/online_config.h"
#include "server/online/online_hooks.h"
#include "server/online/online_slots.h"
#include "server/service/protocol.h"
#include "web/sockets.h"
#include "web/threads.h"

namespace velmora {

// Connections that have not joined are charged to the address they come from
// (joined ones are bounded by the slots). A new connection beyond an
// address's share closes that address's oldest; beyond the cap of them all,
// the oldest of the address that holds the most. So idle sockets from one
// address, or a few, only ever push out their own and never keep a player
// from another address out.
inline constexpr std::size_t max_unjoined_per_address = 4;
inline constexpr std::size_t max_unjoined_sessions = 64;
// A session must have joined within this time.
inline constexpr std::chrono::seconds join_time{10};
// Bytes waiting for one session; a session past this is closed.
inline constexpr std::size_t max_session_backlog = 16u << 20;
// A session whose waiting bytes have not moved for this long is closed.
inline constexpr std::chrono::seconds stalled_time{2};
// Datagrams read at the start of a pass, before the wait for the deadline.
inline constexpr std::size_t datagrams_per_drain = 256;
// The loop falls at most this many tick periods behind before it drops the backlog.
inline constexpr std::int64_t catch_up_periods = 30;

// One connection to the session port.
struct OnlineSession {
  enum class State { connected, joined };
  State state = State::connected;
  std::size_t slot = 0;         // when joined
  std::uint64_t session_id = 0;  // when joined
  std::unique_ptr<Stream> stream;
  PeerOrigin origin;  // what its unjoined time is charged to
  std::string outbound;       // bytes the stream has not taken yet, from `sent` on
  std::size_t sent = 0;
  Instant opened{0};
  Instant progress{0};  // when the waiting bytes last moved (or began to wait)
};

// What the server reaches outside itself.
struct OnlineEnv {
  Clock& clock;
  Datagrams& udp;
  Disk& disk;
  OnlineHooks& hooks;
};

struct OnlineServer {
  explicit OnlineServer(OnlineEnv env) : env(env) {}

  OnlineEnv env;
  SlotTable slots;
  ServerState state;
  NetHost host;
  std::chrono::nanoseconds away{0};
  std::chrono::nanoseconds idle{0};
  std::map<std::uint64_t, OnlineSession> sessions;
  std::array<std::int64_t, slot_count> looks{};
  std::uint64_t stage_seen = 0;  // the stage counter the sessions were last synced to
  bool dev = false;
  bool metrics = false;  // a metrics port was given

  // The loop's figures; players, game seconds and guessed inputs are filled
  // in when the metrics are published.
  MetricsStats stats;
  StageResults results;
  std::optional<StageTransaction> transaction;
  Instant started{0};  // when the game was created
  Instant metrics_at{0};
  std::optional<Instant> idle_since;
  Instant deadline{0};
  Instant tick_due{0};  // when the tick of this pass was due
  std::chrono::nanoseconds period{0};
  std::array<std::uint8_t, datagram_buffer_bytes> receive_buffer{};
  std::vector<std::uint8_t> send_buffer;
  bool stopped = false;
};

// The tick period: 16666 µs divided by the speed (0 counts as 1), at least 1 µs.
std::chrono::nanoseconds tick_period(std::uint32_t speed);

// Creates the game with the opening request and readies the loop; none (after
// an error log line) when the request makes no game.
std::unique_ptr<OnlineServer> open_online_game(const OnlineConfig& config, const std::string& opening, OnlineEnv env);

// One event from the session threads.
void handle_server_event(OnlineServer& server, ServerEvent event);

// One received datagram.
void handle_datagram(OnlineServer& server, std::span<const std::uint8_t> bytes, const SocketAddress& from);

// One pass of the loop: events, datagrams until the deadline, at most one
// tick, the tick datagrams and session writes, the idle check, then whether
// the hooks ask the server to stop. Sets `stopped` after either stop.
void online_pass(OnlineServer& server, EventChannel& channel);

// Binds the ports, starts the services and the session threads, creates the
// game and runs the loop until the idle stop or a stop the hooks ask for; the
// exit status (0, or 1 when it cannot start, a thread it needs among the
// causes).
int run_online_server(const OnlineConfig& config, OnlineHooks& hooks, Disk& disk = real_disk(),
                      ThreadSpawner& threads = system_threads());

}  // namespace velmora
