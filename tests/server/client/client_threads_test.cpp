// The online client against the real online server, both in this process
// over loopback: scripted clients on threads of their own stay in step, and a
// dropped session comes back to its slot. ThreadSanitizer runs this.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <future>
#include <iostream>
#include <mutex>
#include <optional>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <thread>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "server/client/client_pump.h"
#include "server/client/client_script.h"
#include "server/client/client_session.h"
#include "server/online/online_server.h"
#include "tests/support/online_peers.h"
#include "tools/relay.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

struct QuietHooks : OnlineHooks {
  void log_info(std::string_view) override {}
  void log_error(std::string_view) override {}
  void listening(std::uint16_t port) override { bound.set_value(port); }
  void stage_end(const StageTransaction& t, std::string_view) override {
    latest_tick_us = std::max<std::uint64_t>(latest_tick_us, t.latest_tick_us);
  }
  std::promise<std::uint16_t> bound;
  std::atomic<std::uint64_t> latest_tick_us{0};  // the latest a tick began, over the stages ended
};

// The online server on a thread of its own; it stops once nobody has been
// connected for a second.
class ServerThread {
 public:
  explicit ServerThread(std::uint64_t players) {
    OnlineConfig config;
    config.bind = "127.0.0.1";
    config.port = 0;
    config.opening = "new 11 " + std::to_string(players);
    config.idle = 1s;
    config.away = 30s;
    thread_ = std::thread([this, config] { status_ = run_online_server(config, hooks_); });
    port_ = hooks_.bound.get_future().get();
  }
  ~ServerThread() {
    if (thread_.joinable()) thread_.join();
  }
  // Waits for the server's end (once nobody has been connected for a second).
  const QuietHooks& ended() {
    thread_.join();
    return hooks_;
  }
  ClientJoin join(std::optional<std::uint64_t> slot = std::nullopt,
                  std::optional<std::uint64_t> session = std::nullopt) const {
    return ClientJoin{"127.0.0.1:" + std::to_string(port_), std::nullopt, slot, session};
  }
  std::uint16_t port() const { return port_; }

 private:
  QuietHooks hooks_;
  std::thread thread_;
  std::uint16_t port_ = 0;
  int status_ = -1;
};

Buttons walk_and_strike(const World& predicted) { return predicted.tick % 90 < 45 ? 2 | 16 : 1; }

struct ScriptResult {
  int status = -1;
  std::string line;
  std::string log;
};

ScriptResult play_script(const ClientJoin& join, const ScriptConfig& config) {
  ScriptResult result;
  std::ostringstream log;
  std::ostringstream out;
  auto session = open_client(ClientEnv{real_clock(), log, ClientTimings{}}, join);
  if (!session) {
    result.log = session.message();
    return result;
  }
  result.status = client_script(**session, config, walk_and_strike, out);
  result.line = out.str();
  result.log = log.str();
  return result;
}

std::uint64_t counter(const std::string& line, std::string_view name) {
  const auto at = line.find(std::string(name) + " ");
  return at == std::string::npos ? UINT64_MAX : parse_unsigned(split_words(line.substr(at + name.size()))[0]).value();
}

// Two scripted clients on threads of their own; the second drops its session
// on the way and comes back to its slot.
TEST(ClientThreads, ScriptedClientsStayInStepAndADroppedOneComesBack) {
  ServerThread server(2);
  ScriptConfig config;
  config.ticks = 240;
  ScriptConfig dropping = config;
  dropping.drop_at = 60;
  ScriptResult results[2];
  std::thread second([&] { results[1] = play_script(server.join(), dropping); });
  results[0] = play_script(server.join(), config);
  second.join();
  for (const ScriptResult& r : results) {
    EXPECT_EQ(r.status, 0) << r.line << r.log;
    EXPECT_EQ(counter(r.line, "desyncs"), 0u) << r.line;
    EXPECT_GE(counter(r.line, "compared"), 2u) << r.line;
    EXPECT_NE(r.log.find("first confirmed ticks after "), std::string::npos) << r.log;
  }
  EXPECT_NE(counter(results[0].line, "slot"), counter(results[1].line, "slot"));
  EXPECT_EQ(counter(results[0].line, "reconnects"), 0u) << results[0].line;
  EXPECT_EQ(counter(results[1].line, "reconnects"), 1u) << results[1].line;
  const std::string joined = "joined slot " + std::to_string(counter(results[1].line, "slot")) + " in ";
  const auto first = results[1].log.find(joined);
  ASSERT_NE(first, std::string::npos) << results[1].log;
  EXPECT_NE(results[1].log.find(joined, first + 1), std::string::npos) << results[1].log;
}

// A script of no ticks only pumps and reports; one that says "bye" at the
// end leaves its slot with no reservation. Both end with status 0. Then a
// "connect" offering the old id of the slot left with "bye" gets that slot
// with a new id, and one offering another id for a slot still reserved is
// refused.
TEST(ClientThreads, ScriptsOfNoTicksAndByeEndWellAndTheirSlotsAfterwards) {
  ServerThread server(2);
  ScriptConfig none;
  none.ticks = 0;
  ScriptConfig leaving = none;
  leaving.bye = true;
  const ScriptResult kept = play_script(server.join(), none);
  const ScriptResult left = play_script(server.join(), leaving);
  for (const ScriptResult& r : {kept, left}) {
    EXPECT_EQ(r.status, 0) << r.line << r.log;
    EXPECT_TRUE(r.line.starts_with("slot ")) << r.line << r.log;
  }
  ASSERT_EQ(counter(kept.line, "slot"), 0u) << kept.line;
  ASSERT_EQ(counter(left.line, "slot"), 1u) << left.line;  // slot 0 is kept for its player
  const std::uint64_t old_id = counter(left.line, "session");

  std::ostringstream log;
  auto back = open_client(ClientEnv{real_clock(), log, ClientTimings{}}, server.join(1, old_id));
  ASSERT_TRUE(back) << back.message();
  EXPECT_EQ((*back)->slot, 1u);
  EXPECT_NE((*back)->session_id, old_id);
  auto intruder = open_client(ClientEnv{real_clock(), log, ClientTimings{}}, server.join(0, old_id));
  ASSERT_FALSE(intruder);
  EXPECT_EQ(intruder.message(), "refused: your slot was given away");
  close_client(**back);
}

// A connection under way to the port on 127.0.0.1 from the given local
// address, without waiting for it: invalid when it cannot even begin.
Fd begin_connect(const std::string& source, std::uint16_t port) {
  Fd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  SocketAddress local = loopback_address(0);
  ::inet_pton(AF_INET, source.c_str(), &reinterpret_cast<sockaddr_in*>(&local.storage)->sin_addr);
  const SocketAddress server = loopback_address(port);
  if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&local.storage), local.size) != 0) return Fd();
  const int rc = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&server.storage), server.size);
  if (rc != 0 && errno != EINPROGRESS) return Fd();
  return fd;
}

// A peer that holds `per_address` idle connections from each of its
// addresses and opens another for each one the server closes, until told to
// stop; the connections it opened. Connects never wait on one another, so
// one whose SYN is lost does not hold up the rest.
std::uint64_t churn_idle(std::uint16_t port, const std::vector<std::string>& from, std::size_t per_address,
                         const std::atomic<bool>& stop) {
  const std::size_t held = from.size() * per_address;
  std::vector<Fd> sockets(held);
  std::vector<bool> connected(held);
  std::vector<pollfd> polled(held);
  std::uint64_t opened = 0;
  while (!stop) {
    for (std::size_t i = 0; i < held; ++i) {
      if (!sockets[i].valid()) sockets[i] = begin_connect(from[i % from.size()], port), connected[i] = false;
      polled[i] = pollfd{sockets[i].get(), static_cast<short>(connected[i] ? POLLIN : POLLOUT), 0};
    }
    (void)::poll(polled.data(), polled.size(), 10);
    for (std::size_t i = 0; i < held; ++i) {
      const short events = polled[i].revents;
      if (events == 0) continue;
      if (!connected[i] && (events & POLLOUT) != 0) {
        int failed = 0;
        socklen_t size = sizeof failed;
        ::getsockopt(sockets[i].get(), SOL_SOCKET, SO_ERROR, &failed, &size);
        if (failed == 0) connected[i] = true, ++opened;
        if (failed == 0 && (events & (POLLIN | POLLHUP)) == 0) continue;
      }
      sockets[i].reset();  // failed, or closed by the server
    }
  }
  return opened;
}

// Over real sockets: a fifth idle connection from one address closes that
// address's oldest, and only it.
TEST(ClientThreads, AFifthIdleConnectionFromOneAddressClosesItsOldest) {
  ServerThread server(1);
  std::vector<Fd> idle;
  for (int i = 0; i < 5; ++i) {
    idle.push_back(begin_connect("127.0.0.3", server.port()));
    std::this_thread::sleep_for(50ms);  // accepted in this order
  }
  std::vector<pollfd> polled;
  for (const Fd& fd : idle) polled.push_back(pollfd{fd.get(), POLLIN, 0});
  std::this_thread::sleep_for(200ms);
  (void)::poll(polled.data(), polled.size(), 0);
  std::vector<bool> closed;
  for (const pollfd& p : polled) closed.push_back(p.revents != 0);
  EXPECT_EQ(closed, (std::vector<bool>{true, false, false, false, false}));
}

// The impairment relay in front of the server with the same delay each way,
// on a thread of its own.
class RelayThread {
 public:
  RelayThread(std::uint16_t server_port, std::chrono::milliseconds delay) {
    RelayConfig config;
    config.server_port = server_port;
    config.impairment.up.delay = config.impairment.down.delay = delay;
    relay_ = std::move(Relay::open(config, real_clock()).value());
    port_ = relay_->port();
    thread_ = std::thread([this] {
      while (!stop_) relay_->pass(1ms);
    });
  }
  ~RelayThread() {
    stop_ = true;
    thread_.join();
  }
  std::uint16_t port() const { return port_; }

 private:
  std::unique_ptr<Relay> relay_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

std::uint64_t millis(Instant span) { return static_cast<std::uint64_t>(span / 1ms); }

// Idle connections churned from other addresses as fast as the server closes
// them neither keep a newcomer waiting nor a dropped client from its slot,
// even when each player's lines reach the server long after its connection
// does. (A churn from the players' own address only leaves them their
// address's share, a race they may lose.)
TEST(ClientThreads, IdleConnectionChurnLocksNobodyOut) {
  std::vector<std::string> many;
  for (int host = 2; host <= 20; ++host) many.push_back("127.0.0." + std::to_string(host));
  struct Row {
    const char* name;
    std::vector<std::string> churn_from;
    std::size_t per_address;
    std::chrono::milliseconds delay;  // each way between the players and the server
  };
  const Row rows[] = {
      {"from one address, players next door", {"127.0.0.2"}, 24, 0ms},
      {"from one address, players 150 ms away", {"127.0.0.2"}, 24, 150ms},
      {"from many addresses, players 150 ms away", many, max_unjoined_per_address, 150ms},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ServerThread server(2);
    std::optional<RelayThread> relay;
    if (row.delay > 0ms) relay.emplace(server.port(), row.delay);
    const std::uint16_t port = relay ? relay->port() : server.port();
    ClientTimings timings;
    timings.reconnect_every = 100ms;
    std::ostringstream log;
    auto dropped = open_client(ClientEnv{real_clock(), log, timings},
                               ClientJoin{"127.0.0.1:" + std::to_string(port), std::nullopt, std::nullopt, std::nullopt});
    ASSERT_TRUE(dropped) << dropped.message();
    ClientSession& s = **dropped;

    std::atomic<bool> stop{false};
    const Instant churn_began = real_clock().monotonic();
    auto churn = std::async(std::launch::async, churn_idle, server.port(), std::cref(row.churn_from), row.per_address,
                            std::cref(stop));
    std::this_thread::sleep_for(300ms);
    // Newcomers while the churn goes on: each answered within a second of its line.
    std::uint64_t slowest_ms = 0;
    for (int i = 0; i < 3; ++i) {
      testing::LoopbackPlayer newcomer(port);
      const Instant asked = real_clock().monotonic();
      newcomer.send("connect 2 " + hex16(game_data().data_hash));
      const std::string answer = newcomer.line();
      slowest_ms = std::max(slowest_ms, millis(real_clock().monotonic() - asked));
      EXPECT_TRUE(answer.starts_with("welcome ")) << answer;
    }
    EXPECT_LT(slowest_ms, 1000u);
    // The dropped client's first attempt takes its slot back.
    start_reconnect(s);
    const Instant dropped_at = real_clock().monotonic();
    while (s.reconnecting && real_clock().monotonic() - dropped_at < 5s) {
      client_pump(s);
      client_reconnect(s);
      std::this_thread::sleep_for(2ms);
    }
    const std::uint64_t back_ms = millis(real_clock().monotonic() - dropped_at - timings.reconnect_every);
    stop = true;
    const double rate = static_cast<double>(churn.get()) /
                        std::chrono::duration<double>(real_clock().monotonic() - churn_began).count();
    EXPECT_EQ(s.reconnects, 1u) << log.str();
    EXPECT_EQ(log.str().find("reconnection failed"), std::string::npos) << log.str();
    EXPECT_GT(rate, 100.0);
    std::cout << "idle churn " << row.name << ": " << static_cast<int>(rate)
              << " connections/s; newcomer answered within " << slowest_ms << " ms, reconnection " << back_ms
              << " ms after its attempt began\n";
    close_client(s);
  }
}

// A peer at 127.0.0.2 that opens connection after connection, each sending
// one of the lines before it joins and closed at once (the refusal left
// unread), as fast as it can until told to stop; the lines it sent.
std::uint64_t send_lines_before_joining(std::uint16_t port, const std::vector<std::string>& lines,
                                        const std::atomic<bool>& stop) {
  std::uint64_t sent = 0;
  while (!stop) {
    Fd fd = begin_connect("127.0.0.2", port);
    pollfd p{fd.get(), POLLOUT, 0};
    if (!fd.valid() || ::poll(&p, 1, 1000) != 1) continue;
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    set_socket_timeouts(fd.get(), 2s, 2s);
    SocketStream stream(std::move(fd));
    if (stream.write(lines[sent % lines.size()] + "\n")) ++sent;
  }
  return sent;
}

// Four bots play 900 ticks with their lines 150 ms from the server; the
// time until the last of them is done.
std::chrono::milliseconds four_bots_play(std::uint16_t port) {
  ScriptConfig config;
  config.ticks = 900;
  config.bye = true;
  const Instant began = real_clock().monotonic();
  std::vector<std::future<ScriptResult>> bots;
  for (int i = 0; i < 4; ++i) {
    bots.push_back(std::async(std::launch::async, play_script,
                              ClientJoin{"127.0.0.1:" + std::to_string(port), std::nullopt, std::nullopt, std::nullopt},
                              config));
  }
  for (auto& bot : bots) {
    const ScriptResult r = bot.get();
    EXPECT_EQ(r.status, 0) << r.line << r.log;
    EXPECT_EQ(counter(r.line, "desyncs"), 0u) << r.line;
  }
  return std::chrono::duration_cast<std::chrono::milliseconds>(real_clock().monotonic() - began);
}

// A peer that floods the session port with long lines before joining, one-
// letter words and single words of 60 KB, costs a game in play nothing: four
// bots take no longer than without it (both measured here), and a newcomer
// is answered within a second of its line.
TEST(HostilePeers, LongLinesBeforeJoiningCostTheGameNothing) {
  std::string words;
  while (words.size() < 60'000) words += "a ";
  const std::vector<std::string> lines{words, std::string(60'000, 'a')};
  std::chrono::milliseconds quiet{0}, flooded{0};
  std::uint64_t sent = 0, newcomer_ms = 0;
  std::uint64_t latest_us[2] = {};  // quiet, flooded
  for (const bool flood : {false, true}) {
    ServerThread server(4);
    RelayThread relay(server.port(), 150ms);
    std::atomic<bool> stop{false};
    auto sender = std::async(std::launch::async, [&] {
      return flood ? send_lines_before_joining(server.port(), lines, stop) : 0;
    });
    (flood ? flooded : quiet) = four_bots_play(relay.port());
    if (flood) {
      testing::LoopbackPlayer newcomer(relay.port());
      const Instant asked = real_clock().monotonic();
      newcomer.send("connect 2 " + hex16(game_data().data_hash));
      EXPECT_TRUE(newcomer.line().starts_with("welcome ")) << "the newcomer was not welcomed";
      newcomer_ms = millis(real_clock().monotonic() - asked);
    }
    stop = true;
    sent = std::max(sent, sender.get());
    latest_us[flood] = server.ended().latest_tick_us;
  }
  EXPECT_GT(sent, 100u);
  EXPECT_LE(flooded.count() * 10, quiet.count() * 13) << quiet.count() << " ms quiet, " << flooded.count();
  EXPECT_LT(newcomer_ms, 1000u);
  std::cout << "four bots, 900 ticks: " << quiet.count() << " ms quiet, " << flooded.count() << " ms under " << sent
            << " lines of 60 KB before joining (" << sent * 1000 / static_cast<std::uint64_t>(flooded.count())
            << " a second); newcomer answered in " << newcomer_ms << " ms; the latest tick began " << latest_us[0]
            << " us (quiet) and " << latest_us[1] << " us (flooded) after it was due\n";
}

}  // namespace
}  // namespace velmora
