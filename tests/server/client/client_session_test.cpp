// The online client's connection: the handshake against a scripted server on
// loopback (replies, refusals, broken welcomes and stages), requests and late
// replies, and reconnection, both on its clock and against the real online
// server run in-process.
#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <mutex>
#include <sstream>
#include <thread>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/replay/replay.h"
#include "core/world/state_hash.h"
#include "server/client/client_pump.h"
#include "server/client/client_session.h"
#include "server/online/online_server.h"
#include "server/service/protocol.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

ClientTimings quick_timings() {
  ClientTimings t;
  t.connect_timeout = 500ms;
  t.retry_pause = 10ms;
  t.answer_wait = 300ms;
  t.reply_poll = 10ms;
  return t;
}

// The "sync" line and record lines of a new two-player game, and the state
// hash of its world.
struct StageText {
  std::vector<std::string> lines;
  std::uint64_t hash = 0;
};

StageText stage_text(std::uint16_t epoch, std::optional<std::uint64_t> data_hash = std::nullopt) {
  testing::MemoryDisk disk;
  FakeClock clock;
  ServerState state = new_server_state(std::nullopt, disk, clock);
  (void)handle_request(state, "new 7 2");
  ReplayRecord record = *state.record;
  if (data_hash) record.data_hash = data_hash;
  StageText stage{{""}, state_hash(*state.game)};
  for_each_line(write_replay(record), [&](std::uint64_t, std::string_view l) { stage.lines.emplace_back(l); });
  stage.lines[0] = "sync " + std::to_string(epoch) + " " + std::to_string(stage.lines.size() - 1);
  return stage;
}

std::vector<std::string> stage_lines(std::uint16_t epoch, std::optional<std::uint64_t> data_hash = std::nullopt) {
  return stage_text(epoch, data_hash).lines;
}

std::vector<std::string> welcome_and_stage(std::uint64_t slot, std::uint64_t session) {
  std::vector<std::string> lines{"welcome " + std::to_string(slot) + " " + std::to_string(session) + " 4"};
  for (auto& l : stage_lines(3)) lines.push_back(l);
  return lines;
}

// A server on loopback that answers each connection from a script: once the
// client's "connect" line is in, the lines the script gives for that
// connection; after that, a request line is answered by `answer`.
class ScriptedServer {
 public:
  using Script = std::function<std::vector<std::string>(std::size_t connection)>;
  using Answer = std::function<std::string(const std::string& line)>;

  explicit ScriptedServer(Script script, Answer answer = {}) : script_(std::move(script)), answer_(std::move(answer)) {
    listener_ = std::move(listen_tcp("127.0.0.1", 0).value());
    thread_ = std::thread([this] { serve(); });
  }
  ~ScriptedServer() { stop(); }
  // Closes the listener and the open connection: later connections are refused.
  void stop() {
    if (!thread_.joinable()) return;
    listener_->interrupt();
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
      if (open_) open_->close();
    }
    thread_.join();
    listener_->close();
  }
  std::string address() const { return "127.0.0.1:" + std::to_string(listener_->port()); }
  std::vector<std::string> received() {
    std::lock_guard lock(mutex_);
    return received_;
  }

 private:
  void serve() {
    for (std::size_t n = 0;; ++n) {
      auto stream = listener_->accept();
      if (!stream) return;
      std::shared_ptr<Stream> s(std::move(*stream));
      {
        std::lock_guard lock(mutex_);
        if (stopping_) return;
        open_ = s;
      }
      serve_one(*s, n);
    }
  }
  void serve_one(Stream& stream, std::size_t n) {
    LineReader reader(stream, 1 << 20);
    std::string line;
    while (reader.next(line) == LineReader::Outcome::line) {
      {
        std::lock_guard lock(mutex_);
        received_.push_back(line);
      }
      if (line.starts_with("connect")) {
        for (const std::string& out : script_(n)) (void)stream.write(out + "\n");
      } else if (answer_ && !line.starts_with("game")) {
        (void)stream.write(answer_(line) + "\n");
      }
    }
  }

  Script script_;
  Answer answer_;
  std::unique_ptr<TcpListener> listener_;
  std::thread thread_;
  std::mutex mutex_;
  std::shared_ptr<Stream> open_;
  std::vector<std::string> received_;
  bool stopping_ = false;
};

ClientJoin at(std::string address) {
  return ClientJoin{std::move(address), std::nullopt, std::nullopt, std::nullopt};
}

struct Joining {
  std::ostringstream log;
  ClientEnv env{real_clock(), log, quick_timings()};
  Result<std::unique_ptr<ClientSession>> open(const ClientJoin& join) { return open_client(env, join); }
};

TEST(ClientHandshake, RepliesAndRefusalsBecomeTheirErrors) {
  const auto with = [](std::vector<std::string> first, std::vector<std::string> rest = {}) {
    for (auto& l : rest) first.push_back(l);
    return first;
  };
  auto sync = stage_lines(0);
  auto other_data = stage_lines(0, game_data().data_hash ^ 1);
  struct Row {
    std::vector<std::string> lines;
    std::string error;
  };
  const std::vector<Row> rows = {
      {{"refused the game is full"}, "refused: the game is full"},
      {{"refused   expected:  connect"}, "refused: expected: connect"},
      {{"welcome 1 99"}, "a malformed welcome"},
      {{"welcome 4 99 4"}, "a malformed welcome"},
      {{"welcome 1 99 0"}, "a malformed welcome"},
      {{"welcome 1 99 5"}, "a malformed welcome"},
      {{"welcome -1 99 4"}, "a malformed welcome"},
      {{"welcome 1 99 4"}, "the server did not answer"},
      {{"welcome 1 99 4", "sync 1"}, "expected a stage, got: sync 1"},
      {{"welcome 1 99 4", "sink 1 2"}, "expected a stage, got: sink 1 2"},
      {{"welcome 1 99 4", "sync 65536 0"}, "expected a stage, got: sync 65536 0"},
      {{"welcome 1 99 4", "sync 1 2", "velmora-replay 1"}, "the stage was cut short"},
      {{"welcome 1 99 4", "sync 1 1", "hello"}, "not a velmora replay"},
      {with({"welcome 1 99 4"}, other_data), "the stage was recorded with other game data"},
  };
  for (const Row& row : rows) {
    ScriptedServer server([&](std::size_t) { return row.lines; });
    Joining j;
    auto session = j.open(at(server.address()));
    ASSERT_FALSE(session) << row.lines[0];
    EXPECT_EQ(session.message(), row.error) << row.lines.back();
  }
  ScriptedServer good([&](std::size_t) { return with({"welcome +2 77 4"}, sync); });
  Joining j;
  auto session = j.open(at(good.address()));
  ASSERT_TRUE(session) << session.message();
  EXPECT_EQ((*session)->slot, 2u);
  EXPECT_EQ((*session)->session_id, 77u);
  EXPECT_EQ((*session)->rollback.epoch, 0u);
  EXPECT_EQ(state_hash((*session)->rollback.confirmed), stage_text(0).hash);
  EXPECT_EQ(state_hash((*session)->rollback.predicted), stage_text(0).hash);
  EXPECT_TRUE(j.log.str().starts_with("joined slot 2 in ")) << j.log.str();
}

TEST(ClientHandshake, ConnectLineCarriesCodeSlotAndSession) {
  const std::string hash = hex16(game_data().data_hash);
  struct Row {
    ClientJoin join;
    std::vector<std::string> sent;
  };
  const std::vector<Row> rows = {
      {{"", std::nullopt, std::nullopt, std::nullopt}, {"connect 2 " + hash}},
      {{"", std::nullopt, std::nullopt, 55}, {"connect 2 " + hash}},
      {{"", std::nullopt, 3, std::nullopt}, {"connect 2 " + hash + " 3"}},
      {{"", "abc", 3, 55}, {"game abc", "connect 2 " + hash + " 3 55"}},
  };
  for (const Row& row : rows) {
    ScriptedServer server([](std::size_t) { return welcome_and_stage(3, 55); });
    ClientJoin join = row.join;
    join.address = server.address();
    Joining j;
    auto session = j.open(join);
    ASSERT_TRUE(session) << session.message();
    close_client(**session);
    EXPECT_EQ(server.received(), row.sent);
  }
}

TEST(ClientHandshake, UnreachableAndUnresolvableServers) {
  auto closed = listen_tcp("127.0.0.1", 0).value();
  const std::uint16_t port = closed->port();
  closed->close();
  Joining j;
  const auto started = real_clock().monotonic();
  auto refused = j.open(at("127.0.0.1:" + std::to_string(port)));
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.message(), "cannot connect to 127.0.0.1:" + std::to_string(port) + ": Connection refused");
  EXPECT_GE(real_clock().monotonic() - started, 25 * 10ms);  // 26 attempts, a pause between each
  auto no_port = j.open(at("localhost"));
  ASSERT_FALSE(no_port);
  EXPECT_TRUE(no_port.message().starts_with("cannot resolve localhost: ")) << no_port.message();
}

TEST(ClientCommand, RepliesInOrderAndALateReplyIsDropped) {
  ScriptedServer server([](std::size_t) { return welcome_and_stage(0, 9); },
                        [](const std::string& line) {
                          if (line == "slow") std::this_thread::sleep_for(400ms);
                          return "{\"ok\":true,\"message\":\"" + line + "\"}";
                        });
  Joining j;
  auto session = j.open(at(server.address()));
  ASSERT_TRUE(session) << session.message();
  ClientSession& s = **session;
  EXPECT_EQ(client_command(s, "party"), "{\"ok\":true,\"message\":\"party\"}");
  EXPECT_EQ(client_command(s, "slow"), reply_error("the server did not answer"));
  EXPECT_EQ(s.abandoned, 1u);
  EXPECT_EQ(client_command(s, "map"), "{\"ok\":true,\"message\":\"map\"}");
  EXPECT_EQ(s.abandoned, 0u);
  EXPECT_EQ(client_command(s, "bye"), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_TRUE(s.said_bye);
  s.connection.shut_down();
  client_pump(s);
  EXPECT_FALSE(s.reconnecting);  // after an ok "bye" the client only ends
}

TEST(ClientReconnect, OneAttemptASecondUntilTheOwnSlotOrThirtySeconds) {
  // Welcomes slot 0 first, then slot 2 to the reconnection, then slot 0 again.
  ScriptedServer server([](std::size_t n) { return welcome_and_stage(n == 1 ? 2 : 0, 40 + n); });
  std::ostringstream log;
  FakeClock clock;
  ClientEnv env{clock, log, quick_timings()};
  auto opened = open_client(env, at(server.address()));
  ASSERT_TRUE(opened) << opened.message();
  ClientSession& s = **opened;
  start_reconnect(s);
  EXPECT_EQ(client_command(s, "party"), reply_error("reconnecting to the online game"));
  clock.advance(999ms);
  client_reconnect(s);
  EXPECT_EQ(server.received().size(), 1u);  // no attempt yet
  clock.advance(1ms);
  client_reconnect(s);  // welcomed into another slot: dropped
  EXPECT_TRUE(s.reconnecting);
  EXPECT_EQ(s.reconnects, 0u);
  clock.advance(1s);
  client_reconnect(s);
  ASSERT_FALSE(s.reconnecting);
  EXPECT_EQ(s.reconnects, 1u);
  EXPECT_EQ(s.slot, 0u);
  EXPECT_EQ(s.session_id, 42u);
  const std::string hash = hex16(game_data().data_hash);
  EXPECT_EQ(server.received().at(1), "connect 2 " + hash + " 0 40");
  EXPECT_EQ(server.received().at(2), "connect 2 " + hash + " 0 40");

  // A server that is gone: the game is lost 30 s after reconnection began.
  server.stop();
  start_reconnect(s);
  for (int i = 0; i < 29; ++i) {
    clock.advance(1s);
    client_reconnect(s);
    ASSERT_FALSE(s.lost) << i;
  }
  clock.advance(1s);
  client_reconnect(s);
  EXPECT_EQ(s.lost, "the online game cannot be reached");
  clock.advance(1s);
  client_reconnect(s);
  EXPECT_EQ(s.lost, "the online game cannot be reached");
}

}  // namespace
}  // namespace velmora
