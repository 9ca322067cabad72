// The online server in-process: scripted session streams and datagrams on a
// fake clock, through the same loop pass the real server runs.
#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <numeric>
#include <stdlib.h>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/net/net_messages.h"
#include "core/replay/replay.h"
#include "core/world/state_hash.h"
#include "server/online/online_protocol.h"
#include "server/online/online_sessions.h"
#include "web/json_parser.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// Datagrams queued by the test; a wait with nothing queued moves the clock on.
struct FakeDatagrams : Datagrams {
  explicit FakeDatagrams(FakeClock& clock) : clock(clock) {}
  Result<std::size_t> receive(std::span<char> buffer, SocketAddress& from, std::chrono::nanoseconds wait) override {
    if (inbox.empty()) {
      clock.advance(wait);
      return error("timed out");
    }
    const auto [bytes, source] = inbox.front();
    inbox.pop_front();
    const std::size_t n = std::min(bytes.size(), buffer.size());
    std::copy_n(bytes.begin(), n, reinterpret_cast<std::uint8_t*>(buffer.data()));
    from = source;
    return n;
  }
  Status send_to(std::string_view bytes, const SocketAddress& to) override {
    sent.emplace_back(Bytes(bytes.begin(), bytes.end()), to);
    return done();
  }
  std::size_t sent_to(const SocketAddress& to) const {
    return static_cast<std::size_t>(std::count_if(sent.begin(), sent.end(), [&](const auto& d) { return d.second == to; }));
  }
  FakeClock& clock;
  std::deque<std::pair<Bytes, SocketAddress>> inbox;
  std::vector<std::pair<Bytes, SocketAddress>> sent;
};

// What the server wrote to one client, and how its stream behaves.
struct Peer {
  std::string output;
  std::size_t read = 0;
  bool closed = false;
  bool stalled = false;  // takes nothing (a client that stopped reading)
  std::optional<SocketAddress> from;
};

// A peer address from its text ("10.0.0.1", "[2001:db8::1]").
SocketAddress ip(const std::string& text) { return socket_address(resolve_stream_address(text + ":0").value().front()); }

struct PeerStream : Stream {
  explicit PeerStream(std::shared_ptr<Peer> peer) : peer(std::move(peer)) {}
  Result<std::size_t> read(char*, std::size_t) override { return std::size_t{0}; }
  Status write(std::string_view bytes) override {
    peer->output += bytes;
    return done();
  }
  Result<std::size_t> write_some(std::string_view bytes) override {
    if (peer->closed) return error("Broken pipe");
    if (peer->stalled) return std::size_t{0};
    peer->output += bytes;
    return bytes.size();
  }
  void close() override { peer->closed = true; }
  std::optional<SocketAddress> peer_address() const override { return peer->from; }
  std::shared_ptr<Peer> peer;
};

struct TestHooks : OnlineHooks {
  void log_info(std::string_view line) override { logs.emplace_back(line); }
  void log_error(std::string_view line) override { logs.emplace_back(line); }
  std::uint64_t new_session_id() override { return ++last_id; }
  void stage_begin(const StageTransaction& t) override { stages.push_back("begin " + t.name); }
  void stage_end(const StageTransaction& t, std::string_view status) override {
    stages.push_back("end " + t.name + " " + std::string(status) + " " + std::to_string(t.ticks));
  }
  void metrics(const MetricsStats& stats, const StageResults& results) override {
    published.push_back(stats);
    last_results = results;
  }
  std::vector<std::string> logs, stages;
  std::uint64_t last_id = 1000;
  std::vector<MetricsStats> published;
  StageResults last_results;
};

const std::string data_hash = hex16(game_data().data_hash);

std::string connect_line(std::string tail = "") { return "connect 2 " + data_hash + tail; }

class Online {
 public:
  explicit Online(std::string opening = "new 7 1", std::optional<std::string> replays = std::nullopt,
                  bool dev = false) {
    config.opening = std::move(opening);
    config.replays = std::move(replays);
    config.idle = 5s;
    config.away = 3s;
    config.dev = dev;
    server = open_online_game(config, config.opening, OnlineEnv{clock, udp, real_disk(), hooks});
    if (!server) ADD_FAILURE() << "no game";
  }

  std::uint64_t open(std::optional<SocketAddress> from = std::nullopt) {
    const std::uint64_t key = next_key++;
    peers[key] = std::make_shared<Peer>();
    peers[key]->from = from;
    handle_server_event(*server, NewConnection{key, std::make_unique<PeerStream>(peers[key])});
    return key;
  }
  void say(std::uint64_t key, std::string_view line) {
    handle_server_event(*server, ConnectionLine{key, std::string(line)});
    flush_sessions(*server);
  }
  void end(std::uint64_t key) { handle_server_event(*server, ConnectionEnd{key}); }
  // A client that joined; its lines so far are read.
  std::uint64_t join(std::string tail = "") {
    const std::uint64_t key = open();
    say(key, connect_line(tail));
    EXPECT_TRUE(lines(key).at(0).starts_with("welcome ")) << peers[key]->output;
    return key;
  }
  // The lines written to the client since the last call.
  std::vector<std::string> lines(std::uint64_t key) {
    Peer& p = *peers[key];
    std::vector<std::string> out;
    for_each_line(std::string_view(p.output).substr(p.read), [&](std::uint64_t, std::string_view l) { out.emplace_back(l); });
    p.read = p.output.size();
    return out;
  }
  std::string reply(std::uint64_t key, std::string_view line) {
    say(key, line);
    auto l = lines(key);
    return l.empty() ? "" : l.back();
  }
  void pass(int n = 1) {
    for (int i = 0; i < n && !server->stopped; ++i) online_pass(*server, channel);
  }
  std::uint64_t id_of(std::size_t slot) const { return server->slots.slots[slot].occupant; }
  // One input datagram from the slot's client, with its own address.
  void input(std::size_t slot, std::vector<Buttons> words, std::optional<std::uint64_t> first = std::nullopt,
             std::optional<std::uint16_t> epoch = std::nullopt) {
    InputMessage m;
    m.epoch = epoch.value_or(server->host.epoch);
    m.acked = server->host.tick;
    m.first = first.value_or(server->host.tick + 1);
    m.count = static_cast<std::uint8_t>(words.size());
    std::copy(words.begin(), words.end(), m.inputs.begin());
    Bytes bytes;
    encode_input_datagram(id_of(slot), m, bytes);
    udp.inbox.emplace_back(bytes, address(slot));
  }
  static SocketAddress address(std::size_t slot) { return loopback_address(static_cast<std::uint16_t>(40000 + slot)); }
  std::uint64_t tick() const { return server->state.game->tick; }

  FakeClock clock;
  FakeDatagrams udp{clock};
  TestHooks hooks;
  OnlineConfig config;
  EventChannel channel{event_channel_capacity};
  std::unique_ptr<OnlineServer> server;
  std::map<std::uint64_t, std::shared_ptr<Peer>> peers;
  std::uint64_t next_key = 0;
};

TEST(OnlineServer, ConnectRefusals) {
  const std::string A = "refused expected: connect PROTOCOL DATA_HASH [SLOT]";
  const std::string B = "refused the game data differs from the server's";
  std::string one_letter_words;
  while (one_letter_words.size() < 64 * 1024) one_letter_words += "a ";
  std::string upper = data_hash;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  const std::pair<std::string, std::string> cases[] = {
      {"connect 2", A},
      {"connect x " + data_hash, A},
      {"connect -1 " + data_hash, A},
      {"connect + " + data_hash, A},
      {"connect 4294967296 " + data_hash, A},  // beyond 32 bits
      {"join 0 fighter", A},
      {"game ABCD", A},
      {"", A},
      {"Connect 2 " + data_hash, A},
      {"connect 3 " + data_hash, "refused this server speaks protocol 2, the client 3"},
      {"connect +3", "refused this server speaks protocol 2, the client 3"},
      {"connect 2 " + upper, B},
      {"connect 2 " + data_hash + "0", B},
      // Lines at the length cap: read as far as the rules look.
      {one_letter_words, A},
      {std::string(64 * 1024, 'a'), A},
      {"connect 2 " + data_hash + std::string(64 * 1024 - 26, '0'), B},
  };
  Online online;
  for (const auto& [line, refusal] : cases) {
    const std::uint64_t key = online.open();
    online.say(key, line);
    EXPECT_EQ(online.lines(key), std::vector<std::string>{refusal}) << line;
    EXPECT_TRUE(online.peers[key]->closed) << line;
    EXPECT_EQ(online.server->sessions.count(key), 0u) << line;
  }
  for (const SlotEntry& e : online.server->slots.slots) EXPECT_FALSE(e.occupied);
}

TEST(OnlineServer, WelcomeRecordAndLooks) {
  Online online;
  const std::uint64_t key = online.open();
  online.say(key, connect_line(" 7"));  // a slot beyond the count is no wish
  const auto lines = online.lines(key);
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(lines[0], "welcome 0 1001 4");
  EXPECT_EQ(lines[1], "sync 0 " + std::to_string(lines.size() - 3));
  EXPECT_EQ(lines[2], "velmora-replay 1");
  EXPECT_EQ(lines.back(), "looks 0 0 0 0");
  EXPECT_EQ(online.hooks.logs.back(), "slot 0 joined");
  EXPECT_EQ(online.server->host.active[0], 1);

  const std::uint64_t second = online.join();
  EXPECT_EQ(online.server->sessions.at(second).slot, 1u);
  online.lines(key);
  // A look is broadcast before its own reply.
  online.say(second, "look 1 -5");
  EXPECT_EQ(online.lines(second), (std::vector<std::string>{"looks 0 -5 0 0", "{\"ok\":true,\"message\":\"look\"}"}));
  EXPECT_EQ(online.lines(key), std::vector<std::string>{"looks 0 -5 0 0"});
  const std::string look_usage = "{\"ok\":false,\"message\":\"look OWN_SLOT N\"}";
  for (const char* bad : {"look 0 3", "look 1", "look 1 x", "look 1 9223372036854775808"}) {
    EXPECT_EQ(online.reply(second, bad), look_usage) << bad;
  }
  EXPECT_EQ(online.reply(second, "look 1 -9223372036854775808"), "{\"ok\":true,\"message\":\"look\"}");
  EXPECT_EQ(looks_line(*online.server), "looks 0 -9223372036854775808 0 0");
}

TEST(OnlineServer, JoinedLines) {
  Online online("new 7 2");
  const std::uint64_t key = online.join(" 1");
  const std::string own = "{\"ok\":false,\"message\":\"a player may only act for their own slot\"}";
  const std::pair<std::string, std::string> cases[] = {
      {"ping", "pong"},
      {"buy 2 broadsword", own},
      {"buy", own},
      {"hand x 0 5", own},
      {"leave 0", own},
      {"new 5 1", "{\"ok\":false,\"message\":\"new is not available online\"}"},
      {"goto millbrook", "{\"ok\":false,\"message\":\"goto is not available online\"}"},
      {"debug on", "{\"ok\":false,\"message\":\"debug is not available online\"}"},
      {"tick 1 2 3 4", "{\"ok\":false,\"message\":\"tick is not available online\"}"},
      {"save_replay", "{\"ok\":false,\"message\":\"save_replay is not available online\"}"},
      {"hash", "{\"ok\":true,\"tick\":0,\"hash\":\"" + hex16(state_hash(*online.server->state.game)) + "\"}"},
  };
  for (const auto& [line, expected] : cases) EXPECT_EQ(online.reply(key, line), expected) << line;
  online.say(key, "   ");
  EXPECT_TRUE(online.lines(key).empty());
  EXPECT_TRUE(online.reply(key, "hello").starts_with("{\"ok\":true,\"protocol\":1,")) << online.reply(key, "hello");
}

TEST(OnlineServer, SlotRulesReconnectAndGivenAway) {
  Online online;
  const std::uint64_t a = online.join();
  const std::uint64_t b = online.join();
  EXPECT_EQ(online.server->sessions.at(b).slot, 1u);
  const std::uint64_t a_id = online.id_of(0);
  online.end(a);  // slot 0 stays reserved
  EXPECT_EQ(online.hooks.logs.back(), "slot 0 left");
  EXPECT_TRUE(online.server->slots.slots[0].away_since.has_value());
  const std::uint64_t c = online.join();
  EXPECT_EQ(online.server->sessions.at(c).slot, 2u);  // not the reserved slot 0

  // A wrong id for a reserved slot is refused, never another slot.
  const std::uint64_t wrong = online.open();
  online.say(wrong, connect_line(" 0 " + std::to_string(a_id + 1)));
  EXPECT_EQ(online.lines(wrong), std::vector<std::string>{"refused your slot was given away"});

  // The right id gets the slot and the id back, whatever white space and
  // leading zeros the words come with.
  const std::uint64_t back = online.open();
  online.say(back, "\xC2\xA0" "connect\xE3\x80\x80+0002 " + data_hash + "\t00 +0" + std::to_string(a_id) + " extra");
  EXPECT_EQ(online.lines(back).at(0), "welcome 0 " + std::to_string(a_id) + " 4");
  // Reconnecting again while the first is still joined replaces that session.
  const std::uint64_t again = online.open();
  online.say(again, connect_line(" 0 " + std::to_string(a_id)));
  EXPECT_TRUE(online.peers[back]->closed);
  EXPECT_EQ(online.server->sessions.at(again).slot, 0u);
  EXPECT_TRUE(online.server->slots.slots[0].occupied);

  // "bye" frees a slot with its mark: offered last to newcomers.
  online.say(b, "bye");
  EXPECT_EQ(online.lines(b), std::vector<std::string>{"{\"ok\":true,\"message\":\"bye\"}"});
  EXPECT_TRUE(online.peers[b]->closed);
  EXPECT_EQ(online.server->sessions.at(online.join()).slot, 3u);
  EXPECT_EQ(online.server->sessions.at(online.join()).slot, 1u);
  const std::uint64_t full = online.open();
  online.say(full, connect_line());
  EXPECT_EQ(online.lines(full), std::vector<std::string>{"refused the game is full"});
}

TEST(OnlineServer, TicksRunOnlyWhileSomeoneIsJoined) {
  Online online;
  online.pass(30);
  EXPECT_EQ(online.tick(), 0u);
  EXPECT_TRUE(online.udp.sent.empty());
  const std::uint64_t key = online.join();
  online.pass();
  EXPECT_EQ(online.tick(), 1u);
  online.input(0, {2, 2, 18});
  online.pass(3);
  EXPECT_EQ(online.tick(), 4u);
  EXPECT_EQ(online.udp.sent_to(Online::address(0)), 3u);  // one per pass once the address is known
  // Sixty passes of fake time make sixty ticks, near one second.
  const auto start = online.clock.mono;
  online.pass(60);
  EXPECT_EQ(online.tick(), 64u);
  EXPECT_NEAR(std::chrono::duration_cast<std::chrono::milliseconds>(online.clock.mono - start).count(), 1000, 25);
  online.end(key);
  online.pass(10);
  EXPECT_EQ(online.tick(), 64u);
  EXPECT_EQ(online.hooks.stages.front(), "begin stage first_road");
}

TEST(OnlineServer, MalformedAndForeignDatagramsAreDropped) {
  Online online;
  online.join();
  online.pass();
  const std::uint64_t id = online.id_of(0);
  InputMessage m;
  m.first = 2;
  m.count = 3;
  Bytes good;
  encode_input_datagram(id, m, good);
  Bytes foreign;
  encode_input_datagram(id + 1, m, foreign);
  // Empty, truncated, another session's (the layouts themselves are the codec's tests).
  const Bytes cases[] = {{}, Bytes(good.begin(), good.begin() + 24), foreign};
  for (const Bytes& bytes : cases) online.udp.inbox.emplace_back(bytes, Online::address(0));
  online.pass();
  EXPECT_FALSE(online.server->slots.slots[0].source.has_value());
  EXPECT_EQ(online.server->stats.packets_received, std::size(cases));
  // An old epoch only tells where the client is.
  online.input(0, {5}, std::nullopt, 9);
  online.pass();
  EXPECT_TRUE(online.server->slots.slots[0].source.has_value());
  EXPECT_EQ(online.server->host.last_received[0], 0u);
  online.input(0, {5});
  online.pass();
  EXPECT_EQ(online.server->host.history.back().inputs[0], 5);
}

TEST(OnlineServer, AClientThatStopsReadingIsClosedAndOthersGoOn) {
  Online online("new 7 2");
  const std::uint64_t slow = online.join();
  const std::uint64_t fast = online.join();
  online.peers[slow]->stalled = true;
  for (int i = 0; i < 150; ++i) {  // 2.5 s of passes, a broadcast each
    online.input(1, {0});
    online.say(fast, "look 1 " + std::to_string(i));
    online.pass();
  }
  EXPECT_TRUE(online.peers[slow]->closed);
  EXPECT_EQ(online.server->sessions.count(slow), 0u);
  EXPECT_EQ(online.lines(fast).size(), 300u);
  EXPECT_EQ(online.udp.sent_to(Online::address(1)), 150u);
  EXPECT_EQ(online.tick(), 150u);
}

TEST(OnlineServer, SessionLimits) {
  Online online;
  // Not joined within the join time.
  const std::uint64_t silent = online.open();
  online.join();
  online.pass(9 * 60);
  EXPECT_FALSE(online.peers[silent]->closed);
  online.pass(61);
  EXPECT_TRUE(online.peers[silent]->closed);
  // A backlog past the cap closes the session.
  const std::uint64_t joined = online.server->sessions.begin()->first;
  online.peers[joined]->stalled = true;
  const std::string big(1 << 20, 'x');
  for (int i = 0; i < 17; ++i) send_to_session(*online.server, joined, big);
  EXPECT_EQ(online.server->sessions.count(joined), 0u);
}

// Connections that have not joined are charged to their address: past an
// address's share its own oldest goes, past the cap of all the oldest of the
// address holding the most. Those closed get no line; the joined one stays.
TEST(OnlineServer, UnjoinedConnectionsAreChargedToTheirAddress) {
  // The cap of all: 3 from one address, then 4 each from 15 others, then one.
  std::vector<std::string> crowd(3, "10.9.9.9");
  for (int a = 1; a <= 15; ++a) crowd.insert(crowd.end(), 4, "10.0.1." + std::to_string(a));
  crowd.push_back("10.0.2.1");
  std::vector<std::string> crowd_and_one = crowd;
  crowd_and_one.push_back("10.0.2.2");
  struct Row {
    const char* name;
    std::vector<std::string> from;  // in the order they connect
    std::vector<std::size_t> closed;
  };
  const Row rows[] = {
      {"a fifth from one address", {"10.0.0.1", "10.0.0.1", "10.0.0.1", "10.0.0.1", "10.0.0.1"}, {0}},
      {"others are not charged", {"10.0.0.1", "10.0.0.2", "10.0.0.1", "10.0.0.1", "10.0.0.3", "10.0.0.1"}, {}},
      {"IPv4-mapped is IPv4", {"10.0.0.1", "[::ffff:10.0.0.1]", "10.0.0.1", "[::ffff:10.0.0.1]", "10.0.0.1"}, {0}},
      {"an IPv6 /64 is one address",
       {"[2001:db8::1]", "[2001:db8::2]", "[2001:db8:0:1::1]", "[2001:db8::ffff:3]", "[2001:db8::4:5]", "[2001:db8::6]"},
       {0}},
      {"the cap of all", crowd, {}},
      {"past the cap, the oldest of those holding most", crowd_and_one, {3}},
  };
  for (const Row& row : rows) {
    Online online;
    const std::uint64_t joined = online.join();
    std::vector<std::uint64_t> keys;
    for (const std::string& from : row.from) keys.push_back(online.open(ip(from)));
    std::vector<std::size_t> closed;
    for (std::size_t i = 0; i < keys.size(); ++i) {
      if (!online.peers[keys[i]]->closed) continue;
      closed.push_back(i);
      EXPECT_EQ(online.peers[keys[i]]->output, "") << row.name;
    }
    EXPECT_EQ(closed, row.closed) << row.name;
    EXPECT_FALSE(online.peers[joined]->closed) << row.name;
  }
}

TEST(OnlineServer, IdleStopAfterTheIdleTime) {
  Online online;
  online.pass(5 * 60 - 2);
  EXPECT_FALSE(online.server->stopped);
  const std::uint64_t key = online.join();
  online.pass(10);
  online.end(key);
  online.pass(5 * 60 - 2);
  EXPECT_FALSE(online.server->stopped);
  online.pass(4);
  EXPECT_TRUE(online.server->stopped);
  EXPECT_EQ(online.hooks.logs.back(), "nobody connected for 5 s: stopping");
  EXPECT_EQ(online.hooks.stages.back(), "end stage first_road abandoned 10");
}

TEST(OnlineServer, TickPeriod) {
  EXPECT_EQ(tick_period(0), 16666us);
  EXPECT_EQ(tick_period(1), 16666us);
  EXPECT_EQ(tick_period(2), 8333us);
  EXPECT_EQ(tick_period(UINT32_MAX), 1us);
}

// The record lines between "sync" and "looks", played back.
World played_back(const std::vector<std::string>& lines) {
  std::string text;
  std::size_t i = 1;
  for (; i < lines.size() && !lines[i].starts_with("looks") && !lines[i].starts_with("cmd "); ++i) text += lines[i] + "\n";
  auto record = read_replay(text);
  EXPECT_TRUE(record.ok()) << text;
  return play_back(*record);
}

TEST(OnlineServer, AJoinerMidStageGetsARecordThatReplaysToTheServersHash) {
  Online online("new 11 2");
  online.join();
  for (Buttons w : {2, 18, 18, 0, 64, 2}) {
    for (int i = 0; i < 20; ++i) {
      online.input(0, {w});
      online.pass();
    }
  }
  ASSERT_EQ(online.tick(), 120u);
  const std::uint64_t joiner = online.open();
  online.say(joiner, connect_line());
  const auto lines = online.lines(joiner);
  ASSERT_TRUE(lines.at(1).starts_with("sync 0 "));
  const World world = played_back(std::vector<std::string>(lines.begin() + 1, lines.end()));
  EXPECT_EQ(world.tick, 120u);
  EXPECT_EQ(state_hash(world), state_hash(*online.server->state.game));

  // Commands of the coming tick follow the record as "cmd" lines; without a
  // ticks command every command is such a one.
  online.server->state.record->commands = {JoinCommand{2, 0}, LeaveCommand{1}};
  const auto with_cmd = stage_record_lines(*online.server);
  EXPECT_EQ(with_cmd.front(), "sync 0 " + std::to_string(with_cmd.size() - 3));
  EXPECT_EQ(with_cmd.end()[-2], "cmd 0 121 join 2 " + game_data().kinds[0].name);
  EXPECT_EQ(with_cmd.end()[-1], "cmd 0 121 leave 1");
  online.server->state.record.reset();
  EXPECT_EQ(stage_record_lines(*online.server),
            std::vector<std::string>{"{\"ok\":false,\"message\":\"this game is not recorded\"}"});
}

TEST(OnlineServer, AStageChangeSyncsEveryoneWithTheNextEpoch) {
  Online online("new 7 1", std::nullopt, true);
  const std::uint64_t a = online.join();
  const std::uint64_t b = online.join();
  online.pass(5);
  EXPECT_EQ(online.reply(a, "debug on"), "{\"ok\":true,\"message\":\"debug on\"}");
  online.lines(b);
  online.say(a, "goto millbrook");
  const auto seen = online.lines(b);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen[0], "sync 1 " + std::to_string(seen.size() - 1));
  EXPECT_EQ(online.server->host.epoch, 1);
  EXPECT_EQ(online.server->host.tick, online.tick());
  EXPECT_EQ(online.server->host.active[0], 1);
  const auto mine = online.lines(a);
  EXPECT_TRUE(mine.back().starts_with("{\"ok\":true,\"message\":\"moved\"")) << mine.back();
  EXPECT_EQ(state_hash(played_back(seen)), state_hash(*online.server->state.game));
  online.pass();
  EXPECT_EQ(online.hooks.stages.at(1), "end stage first_road left 5");
  EXPECT_EQ(online.hooks.stages.at(2), "begin stage millbrook");
}

// The figures of a metrics second: occupied slots, whole seconds of the game,
// the UDP counters, and the guessed inputs summed over the slots and carried
// across a stage change.
TEST(OnlineServer, MetricsFiguresOnceASecond) {
  Online online("new 7 1", std::nullopt, true);
  online.server->metrics = true;
  const std::uint64_t a = online.join();
  const std::uint64_t b = online.join();
  // Slot 0 sends the word of every tick in time; slot 1 sends nothing.
  while (online.hooks.published.empty()) {
    online.input(0, {0});
    online.pass();
  }
  const MetricsStats first = online.hooks.published.at(0);
  EXPECT_EQ(first.players, 2u);
  EXPECT_EQ(first.game_seconds, 1u);
  EXPECT_GE(first.ticks, 58u);
  EXPECT_EQ(first.inputs_guessed, first.ticks);
  EXPECT_EQ(first.packets_received, first.ticks);
  EXPECT_EQ(first.packets_sent, first.ticks);  // slot 1's address is never known
  EXPECT_EQ(first.bytes_sent, std::accumulate(online.udp.sent.begin(), online.udp.sent.end(), std::uint64_t{0},
                                              [](std::uint64_t n, const auto& d) { return n + d.first.size(); }));
  // A new stage's host keeps counting from the old one's guesses.
  online.say(a, "debug on");
  online.say(a, "goto millbrook");
  ASSERT_EQ(online.server->host.epoch, 1);
  for (int i = 0; i < 70; ++i) {
    if (i == 30) online.end(b);
    online.input(0, {0});
    online.pass();
  }
  ASSERT_EQ(online.hooks.published.size(), 2u);
  const MetricsStats second = online.hooks.published.at(1);
  EXPECT_EQ(second.players, 1u);
  EXPECT_EQ(second.game_seconds, 2u);
  EXPECT_GT(second.ticks, first.ticks + 55);
  EXPECT_GT(second.inputs_guessed, first.inputs_guessed);
  EXPECT_LT(second.inputs_guessed, second.ticks);
  EXPECT_TRUE(online.hooks.last_results.empty());
}

TEST(OnlineServer, AwayAndByeTakeTheFighterOffTheStage) {
  Online online("new 7 3");
  const std::uint64_t a = online.join();
  const std::uint64_t b = online.join();
  online.join();
  auto on_stage = [&](std::uint8_t slot) {
    for (const Actor& actor : online.server->state.game->actors) {
      if (actor.team == 0 && actor.slot == slot) return actor.gone == 0;
    }
    return false;
  };
  // A tick that carries 255 commands takes no more: a request is refused, and
  // the leave of a player who says bye waits for the next tick.
  online.server->host.commands = max_tick_commands;
  EXPECT_EQ(online.reply(b, "leave 1"), "{\"ok\":false,\"message\":\"too many commands in this tick, try again\"}");
  online.say(b, "bye");
  EXPECT_TRUE(on_stage(1));
  online.pass();
  EXPECT_EQ(online.server->host.history.back().commands, max_tick_commands);
  // Then slot 1 is gone. Slot 0 keeps sending; slot 2 goes silent.
  online.pass();
  EXPECT_FALSE(on_stage(1));
  EXPECT_EQ(online.server->host.history.back().commands, 1);
  for (int i = 0; i < 3 * 60 + 5; ++i) {
    online.input(0, {0});
    online.pass();
  }
  EXPECT_TRUE(on_stage(0));
  EXPECT_FALSE(on_stage(2));
  EXPECT_TRUE(std::find(online.hooks.logs.begin(), online.hooks.logs.end(), "slot 2 left the stage") !=
              online.hooks.logs.end());
  // The last fighter stays, whatever happens to its player.
  online.end(a);
  online.pass(4 * 60);
  EXPECT_TRUE(on_stage(0));
}

TEST(OnlineServer, PartyCommandsGoOutAsCmdLinesForTheComingTick) {
  Online online("new 7 2");
  const std::uint64_t a = online.join();
  const std::uint64_t b = online.join();
  online.pass(3);
  online.lines(a);
  EXPECT_TRUE(online.reply(b, "leave 1").starts_with("{\"ok\":true")) << online.reply(b, "state");
  EXPECT_EQ(online.lines(a), std::vector<std::string>{"cmd 0 4 leave 1"});
  // A joiner before the next tick gets the record without it, then the line.
  const std::uint64_t c = online.open();
  online.say(c, connect_line());
  const auto lines = online.lines(c);
  EXPECT_EQ(lines.end()[-2], "cmd 0 4 leave 1");
  EXPECT_EQ(lines[1], "sync 0 " + std::to_string(lines.size() - 4));
  online.pass();
  EXPECT_EQ(online.server->host.history.back().commands, 1);
  online.reply(a, "hash");  // adds no command
  online.pass();
  EXPECT_EQ(online.server->host.history.back().commands, 0);
  EXPECT_TRUE(online.lines(c).empty());
}

TEST(OnlineServer, TheStagesReplayVerifiesInWatch) {
  char name[] = "/tmp/velmora-online-XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  const std::string folder = name;
  {
    Online online("new 5 1", folder);
    const std::uint64_t key = online.join();
    for (int i = 0; i < 200; ++i) {
      online.input(0, {static_cast<Buttons>(i % 40 < 30 ? 18 : 64)});
      online.pass();
    }
    online.end(key);
    online.pass(6 * 60);
    ASSERT_TRUE(online.server->stopped);
  }
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(folder)) files.push_back(e.path().string());
  ASSERT_EQ(files.size(), 1u);
  ServerState local = new_server_state(std::nullopt, real_disk(), real_clock());
  EXPECT_NE(handle_request(local, "watch " + files[0]).find("\"message\":\"watching\""), std::string::npos);
  const std::string reply = handle_request(local, "run 600");
  EXPECT_NE(reply.find("\"verified\":true"), std::string::npos) << reply.substr(0, 200);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace velmora
