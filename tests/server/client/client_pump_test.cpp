// The client pump, the client tick loop and the scripted client on a session
// whose stream is one end of a socket pair, whose datagrams stay in memory and
// whose clock stands still until a test moves it.
#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <sys/socket.h>

#include "core/base/text.h"
#include "core/net/net_messages.h"
#include "core/replay/replay.h"
#include "core/world/state_hash.h"
#include "server/client/client_pump.h"
#include "server/client/client_script.h"
#include "server/client/client_session.h"
#include "server/service/protocol.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

class MemoryDatagrams : public Datagrams {
 public:
  Result<std::size_t> receive(std::span<char> buffer, SocketAddress&, std::chrono::nanoseconds) override {
    if (incoming.empty()) return error("timed out");
    const std::vector<std::uint8_t> d = std::move(incoming.front());
    incoming.pop_front();
    const std::size_t n = std::min(d.size(), buffer.size());
    std::copy_n(d.begin(), n, buffer.begin());
    return n;
  }
  Status send_to(std::string_view bytes, const SocketAddress&) override {
    sent.emplace_back(bytes);
    return done();
  }
  std::deque<std::vector<std::uint8_t>> incoming;
  std::vector<std::string> sent;
};

// A joined session on a new two-player game, slot 1, session id 5.
struct Rig {
  Rig() {
    testing::MemoryDisk disk;
    ServerState state = new_server_state(std::nullopt, disk, clock);
    (void)handle_request(state, "new 7 2");
    world = *state.game;
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0) panic("socketpair");
    s.connection = std::move(Connection::start(std::make_unique<SocketStream>(Fd(fds[0]))).value());
    peer = std::make_unique<SocketStream>(Fd(fds[1]));
    set_socket_timeouts(peer->fd(), 2000ms, 2000ms);
    reader = std::make_unique<LineReader>(*peer, 1 << 20);
    auto memory = std::make_unique<MemoryDatagrams>();
    udp = memory.get();
    s.udp = std::move(memory);
    s.session_id = 5;
    s.slot = 1;
    s.players = 4;
    s.rollback = new_rollback_session(world, 1, 4, default_input_delay, 0);
  }
  // A line from the server, for the pump to take in once it has arrived.
  void server_line(const std::string& line) { ASSERT_TRUE(peer->write(line + "\n")); }
  std::string client_line() {
    std::string line;
    return reader->next(line) == LineReader::Outcome::line ? line : "<end>";
  }
  // A tick message confirming `count` ticks of all-zero words after `first`.
  void confirm(std::uint64_t first, std::uint8_t count, std::uint64_t id = 5, std::uint64_t hash_tick = 0,
               std::uint64_t hash = 0) {
    TickMessage m;
    m.first = first;
    m.count = count;
    m.hash_tick = hash_tick;
    m.hash = hash;
    std::vector<std::uint8_t> bytes;
    encode_tick_datagram(id, m, bytes);
    udp->incoming.push_back(bytes);
  }

  FakeClock clock;
  std::ostringstream log;
  ClientSession s{ClientEnv{clock, log, ClientTimings{}}};
  World world;
  std::unique_ptr<SocketStream> peer;
  std::unique_ptr<LineReader> reader;
  MemoryDatagrams* udp = nullptr;
};

Buttons idle(const World&) { return 0; }

// Pumps until the channel has handed over what the peer wrote.
void pump_lines(Rig& r) {
  for (int i = 0; i < 200; ++i) {
    client_pump(r.s);
    std::this_thread::sleep_for(1ms);
  }
}

TEST(ClientTickLoop, PacesTicksCatchesUpAtMostEightAndStopsThirtyAhead) {
  Rig r;
  EXPECT_EQ(client_tick_loop(r.s, idle), 1u);  // the first deadline is now
  r.clock.advance(1s);
  EXPECT_EQ(client_tick_loop(r.s, idle), 8u);  // at most 8 a pass
  EXPECT_EQ(r.s.deadline, r.clock.mono);       // then far behind: from now on
  EXPECT_EQ(client_tick_loop(r.s, idle), 1u);
  EXPECT_EQ(client_tick_loop(r.s, idle), 0u);
  r.clock.advance(16666us);
  EXPECT_EQ(client_tick_loop(r.s, idle), 1u);
  EXPECT_EQ(r.udp->sent.size(), 11u);  // one input datagram per tick
  EXPECT_EQ(r.s.ticks_played, 11u);
  for (int i = 0; i < 10; ++i) {
    r.clock.advance(1s);
    client_tick_loop(r.s, idle);
  }
  EXPECT_EQ(r.s.rollback.predicted.tick, 30u);  // never 30 past the confirmed tick
  const std::size_t sent = r.udp->sent.size();
  r.clock.advance(1s);
  EXPECT_EQ(client_tick_loop(r.s, idle), 0u);
  EXPECT_EQ(r.udp->sent.size(), sent + 8);  // still an input datagram every tick
  const auto d = decode_input_datagram(std::span(reinterpret_cast<const std::uint8_t*>(r.udp->sent.back().data()),
                                                 r.udp->sent.back().size()),
                                       0);
  ASSERT_TRUE(d);
  EXPECT_EQ(d->session_id, 5u);
  EXPECT_EQ(d->message.first, 1u);
  EXPECT_EQ(d->message.count, 32u);
}

TEST(ClientTickLoop, KeepAlivePingAfterTenQuietSeconds) {
  Rig r;
  r.clock.advance(9999ms);
  client_tick_loop(r.s, idle);
  r.clock.advance(1ms);
  client_tick_loop(r.s, idle);
  EXPECT_EQ(r.client_line(), "ping");
  EXPECT_EQ(r.s.last_sent, r.clock.mono);
  r.peer->close();
  r.clock.advance(10s);
  EXPECT_EQ(client_tick_loop(r.s, idle), 0u);  // a failed ping runs no tick
  EXPECT_TRUE(r.s.reconnecting);
}

TEST(ClientPump, TakesDatagramsOfItsOwnSessionAndKeepsTheNewestHash) {
  Rig r;
  r.confirm(1, 3, 6);  // another session's
  client_pump(r.s);
  EXPECT_EQ(r.s.rollback.confirmed.tick, 0u);
  EXPECT_FALSE(r.s.confirmed_any);
  r.udp->incoming.push_back({1, 2, 3});  // too short
  r.clock.advance(5s);
  r.confirm(1, 60);
  client_pump(r.s);
  EXPECT_EQ(r.s.rollback.confirmed.tick, 60u);
  EXPECT_TRUE(r.s.confirmed_any);
  EXPECT_EQ(r.s.last_confirmed, r.clock.mono);
  const std::uint64_t own = state_hash(r.s.rollback.confirmed);
  EXPECT_EQ(r.s.newest_hash, own);
  r.confirm(61, 0, 5, 60, own);
  client_pump(r.s);
  EXPECT_EQ(r.s.rollback.counters.hashes_compared, 1u);
  EXPECT_EQ(r.s.rollback.counters.desyncs, 0u);
  EXPECT_EQ(r.s.newest_hash, own);  // compared, still the newest
}

TEST(ClientPump, ServerLinesRepliesLooksCommandsAndStages) {
  Rig r;
  r.s.abandoned = 1;
  r.server_line("{\"ok\":true,\"message\":\"late\"}");
  r.server_line("{\"ok\":true,\"message\":\"now\"}");
  r.server_line("looks 1 -5 x -9223372036854775808 7");
  r.server_line("pong");
  r.server_line("cmd 0 5 leave 0");
  r.server_line("cmd 1 5 leave 1");  // another epoch
  pump_lines(r);
  EXPECT_EQ(r.s.replies, std::deque<std::string>{"{\"ok\":true,\"message\":\"now\"}"});
  EXPECT_EQ(r.s.abandoned, 0u);
  EXPECT_EQ(r.s.looks, (std::array<std::int64_t, 4>{1, -5, 0, INT64_MIN}));
  ASSERT_EQ(r.s.rollback.commands.size(), 1u);
  EXPECT_EQ(r.s.rollback.commands.at(5).size(), 1u);
  for (int i = 0; i < 30; ++i) r.server_line("{\"ok\":true}");
  pump_lines(r);
  EXPECT_EQ(r.s.replies.size(), max_waiting_replies);

  // A new stage: the session is rebuilt on it, its counters kept.
  r.s.rollback.counters.rollbacks = 3;
  ReplayRecord record = new_replay_record(0, 9, {r.world.actors[0].sheet.value()});
  std::string text = write_replay(record);
  std::vector<std::string> lines;
  for_each_line(text, [&](std::uint64_t, std::string_view l) { lines.emplace_back(l); });
  r.server_line("sync 4 " + std::to_string(lines.size()));
  for (const std::string& l : lines) r.server_line(l);
  pump_lines(r);
  EXPECT_EQ(r.s.rollback.epoch, 4u);
  EXPECT_EQ(r.s.rollback.counters.rollbacks, 3u);
  EXPECT_TRUE(r.s.rollback.commands.empty());
  EXPECT_EQ(state_hash(r.s.rollback.confirmed), state_hash(play_back(record)));
  EXPECT_FALSE(r.s.reconnecting);

  r.server_line("sync 5 1");
  r.server_line("not a replay");
  pump_lines(r);
  EXPECT_TRUE(r.s.reconnecting);  // an unreadable stage: reconnect for a whole one
  EXPECT_NE(r.log.str().find("cannot take the new stage: not a velmora replay"), std::string::npos) << r.log.str();
}

TEST(ClientScript, StatusLineAndWhatMakesARunFail) {
  struct Row {
    std::uint64_t desyncs;
    bool confirmed;
    std::uint64_t compared;
    std::uint64_t played;
    int status;
    std::string log;
  };
  const std::vector<Row> rows = {
      {0, true, 1, 500, 0, ""},
      {1, true, 1, 500, 1, ""},
      {0, false, 0, 1, 1, "no tick was confirmed\n"},
      {0, true, 0, 119, 0, ""},
      {0, true, 0, 120, 1, "no state hash was compared\n"},
      // A run of no ticks only pumps: only a desync fails it.
      {0, false, 0, 0, 0, ""},
      {1, false, 0, 0, 1, ""},
  };
  for (const Row& row : rows) {
    Rig r;
    r.s.rollback.counters.desyncs = row.desyncs;
    r.s.rollback.counters.hashes_compared = row.compared;
    r.s.confirmed_any = row.confirmed;
    r.s.ticks_played = row.played;
    r.s.newest_hash = 0xab;
    ScriptConfig config;
    config.ticks = row.played;  // played already: the script only ends
    std::ostringstream out;
    const auto started = r.clock.mono;
    EXPECT_EQ(client_script(r.s, config, idle, out), row.status) << row.played;
    EXPECT_EQ(r.clock.mono - started, 500ms);  // it pumps for half a second before it ends
    EXPECT_EQ(out.str(), "slot 1 session 5 fighters 2 epoch 0 predicted 0 confirmed 0 status playing hash "
                         "00000000000000ab: rollbacks 0 deepest 0 jumped 0 commands 0 reconnects 0 hashes "
                         "compared " + std::to_string(row.compared) + " desyncs " + std::to_string(row.desyncs) + "\n");
    EXPECT_TRUE(r.log.str().ends_with("command waits\n" + row.log)) << r.log.str();
    EXPECT_FALSE(r.s.connection.open());
  }
}

TEST(ClientScript, EndsWhenTheStageEndsOrNoTickComesForThirtySeconds) {
  Rig over;
  over.s.rollback.confirmed.over = GameStatus::wiped;
  over.s.confirmed_any = true;
  ScriptConfig config;  // 1200 ticks that the server will never run
  std::ostringstream out;
  EXPECT_EQ(client_script(over.s, config, idle, out), 0);
  EXPECT_NE(out.str().find(" status wiped hash "), std::string::npos) << out.str();

  Rig silent;
  const auto started = silent.clock.mono;
  EXPECT_EQ(client_script(silent.s, config, idle, out), 1);
  EXPECT_GE(silent.clock.mono - started, 30s);
  EXPECT_LT(silent.clock.mono - started, 31s);
  EXPECT_TRUE(silent.log.str().ends_with("the online game cannot be reached\n")) << silent.log.str();
}

TEST(ClientScript, SwapsTheWornWeaponThenTheBagsLastWeapon) {
  Rig r;
  World& w = r.world;
  Actor& own = w.actors[1];
  ASSERT_EQ(own.slot, 1u);
  ASSERT_TRUE(own.gear[0]);
  EXPECT_EQ(format_command(swap_command(w, 1).value()), "unequip 1 0");
  const std::uint16_t weapon = *own.gear[0];
  own.gear[0].reset();
  EXPECT_FALSE(swap_command(w, 1));  // empty-handed, no weapon in the bag
  own.bag.push_back(weapon);
  own.bag.push_back(*own.gear[1]);
  own.bag.push_back(weapon);
  own.bag.push_back(*own.gear[2]);
  EXPECT_EQ(format_command(swap_command(w, 1).value()), "equip 1 2");
  own.state = ActorState::ko;
  EXPECT_FALSE(swap_command(w, 1));
  EXPECT_FALSE(swap_command(w, 3));  // nobody on the slot
}

}  // namespace
}  // namespace velmora
