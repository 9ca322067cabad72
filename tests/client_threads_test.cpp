// The online client against the real online server, both in this process
// over loopback: scripted clients on threads of their own stay in step, and a
// dropped session comes back to its slot. ThreadSanitizer runs these.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "core/text.h"
#include "server/client_pump.h"
#include "server/client_script.h"
#include "server/client_session.h"
#include "server/online_server.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

struct QuietHooks : OnlineHooks {
  void log_info(std::string_view) override {}
  void log_error(std::string_view) override {}
  void listening(std::uint16_t port) override { bound.set_value(port); }
  std::promise<std::uint16_t> bound;
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
  ~ServerThread() { thread_.join(); }
  ClientJoin join() const {
    return ClientJoin{"127.0.0.1:" + std::to_string(port_), std::nullopt, std::nullopt, std::nullopt};
  }

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

ScriptResult play_script(const ClientJoin& join, std::uint64_t ticks) {
  ScriptResult result;
  std::ostringstream log;
  std::ostringstream out;
  auto session = open_client(ClientEnv{real_clock(), log, ClientTimings{}}, join);
  if (!session) {
    result.log = session.message();
    return result;
  }
  ScriptConfig config;
  config.ticks = ticks;
  result.status = client_script(**session, config, walk_and_strike, out);
  result.line = out.str();
  result.log = log.str();
  return result;
}

std::uint64_t counter(const std::string& line, std::string_view name) {
  const auto at = line.find(std::string(name) + " ");
  return at == std::string::npos ? UINT64_MAX : parse_unsigned(split_words(line.substr(at + name.size()))[0]).value();
}

TEST(ClientThreads, ScriptedClientsStayInStepWithTheServer) {
  ServerThread server(2);
  ScriptResult results[2];
  std::thread second([&] { results[1] = play_script(server.join(), 240); });
  results[0] = play_script(server.join(), 240);
  second.join();
  for (const ScriptResult& r : results) {
    EXPECT_EQ(r.status, 0) << r.line << r.log;
    EXPECT_EQ(counter(r.line, "desyncs"), 0u) << r.line;
    EXPECT_GE(counter(r.line, "compared"), 2u) << r.line;
    EXPECT_NE(r.log.find("first confirmed ticks after "), std::string::npos) << r.log;
  }
  EXPECT_NE(counter(results[0].line, "slot"), counter(results[1].line, "slot"));
}

TEST(ClientThreads, ADroppedSessionComesBackToItsSlot) {
  ServerThread server(1);
  std::ostringstream log;
  auto opened = open_client(ClientEnv{real_clock(), log, ClientTimings{}}, server.join());
  ASSERT_TRUE(opened) << opened.message();
  ClientSession& s = **opened;
  const std::uint64_t slot = s.slot;
  const std::uint64_t id = s.session_id;
  const auto play_until = [&](auto done) {
    const auto give_up = real_clock().monotonic() + 10s;
    while (!done() && real_clock().monotonic() < give_up) {
      client_pump(s);
      if (s.reconnecting) {
        client_reconnect(s);
      } else {
        client_tick_loop(s, walk_and_strike);
      }
      std::this_thread::sleep_for(2ms);
    }
  };
  play_until([&] { return s.ticks_played >= 60; });
  s.connection.shut_down();
  play_until([&] { return s.reconnects == 1; });
  ASSERT_EQ(s.reconnects, 1u) << log.str();
  EXPECT_EQ(s.slot, slot);
  EXPECT_EQ(s.session_id, id);
  const std::uint64_t played = s.ticks_played;
  play_until([&] { return s.ticks_played >= played + 150 && s.rollback.counters.hashes_compared >= 2; });
  EXPECT_GE(s.rollback.counters.hashes_compared, 2u);
  EXPECT_EQ(s.rollback.counters.desyncs, 0u);
  EXPECT_FALSE(s.lost);
  close_client(s);
}

}  // namespace
}  // namespace velmora
