// The online client against the real online server, both in this process
// over loopback: scripted clients on threads of their own stay in step, and a
// dropped session comes back to its slot. ThreadSanitizer runs this.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "core/base/text.h"
#include "server/client/client_pump.h"
#include "server/client/client_script.h"
#include "server/client/client_session.h"
#include "server/online/online_server.h"

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

}  // namespace
}  // namespace velmora
