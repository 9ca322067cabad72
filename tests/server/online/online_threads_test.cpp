// The online server's threads: the channel between them, and the whole
// server run over real loopback sockets with its accept and reader threads.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <thread>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/net/net_messages.h"
#include "server/online/online_server.h"
#include "tests/support/online_peers.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

TEST(OnlineThreads, ChannelIsBoundedAndClosingWakesSenders) {
  Channel<int> channel(2);
  EXPECT_TRUE(channel.send(1));
  EXPECT_TRUE(channel.send(2));
  std::promise<bool> third;
  std::thread sender([&] { third.set_value(channel.send(3)); });
  auto result = third.get_future();
  EXPECT_EQ(result.wait_for(50ms), std::future_status::timeout);  // full: the sender waits
  EXPECT_EQ(channel.try_recv(), 1);
  EXPECT_TRUE(result.get());
  sender.join();
  std::thread blocked([&] {
    EXPECT_TRUE(channel.send(4) || channel.closed());
    EXPECT_FALSE(channel.send(5));
  });
  std::this_thread::sleep_for(20ms);
  channel.close();
  blocked.join();
  EXPECT_EQ(channel.try_recv(), 2);
  EXPECT_EQ(channel.try_recv(), 3);
}

struct LoopbackHooks : OnlineHooks {
  void log_info(std::string_view line) override {
    std::lock_guard lock(mutex);
    logs.emplace_back(line);
  }
  void log_error(std::string_view line) override { log_info(line); }
  void listening(std::uint16_t port) override { bound.set_value(port); }
  std::vector<std::string> log_lines() {
    std::lock_guard lock(mutex);
    return logs;
  }
  std::mutex mutex;
  std::vector<std::string> logs;
  std::promise<std::uint16_t> bound;
};

using Client = testing::LoopbackPlayer;

TEST(OnlineThreads, ServesPlayersOverLoopbackAndStopsWhenIdle) {
  OnlineConfig config;
  config.bind = "127.0.0.1";
  config.port = 0;
  config.opening = "new 3 2";
  config.idle = 1s;
  LoopbackHooks hooks;
  auto bound = hooks.bound.get_future();
  std::promise<int> status;
  std::thread server([&] { status.set_value(run_online_server(config, hooks)); });
  const std::uint16_t port = bound.get();

  Client a(port), b(port);
  EXPECT_EQ(a.join(), 0u);
  EXPECT_EQ(b.join(), 1u);
  // About a second of play: both send a word a tick and hear the ticks back.
  std::uint64_t confirmed = 0, hash_tick = 0;
  for (int i = 0; i < 300 && hash_tick == 0; ++i) {
    (void)b.exchange(0, confirmed);
    for (const TickDatagram& d : a.exchange(18, confirmed)) {
      confirmed = std::max(confirmed, d.message.first + d.message.count - 1);
      hash_tick = std::max(hash_tick, d.message.hash_tick);
    }
  }
  EXPECT_EQ(hash_tick, 60u);
  EXPECT_GE(confirmed, 60u);
  a.send("ping");
  EXPECT_EQ(a.line(), "pong");
  // A request line past the cap is answered, then ends that connection only:
  // with an error reply when joined, with a refusal before the welcome. A
  // line that is not UTF-8 ends it without a word.
  const std::string too_long(70 * 1024, 'x');
  b.send(too_long);
  EXPECT_EQ(b.line(), R"({"ok":false,"message":"request line too long"})");
  EXPECT_EQ(b.line(), "<end>");
  Client newcomer(port), garbled(port), wordy(port);
  newcomer.send(too_long);
  EXPECT_EQ(newcomer.line(), "refused request line too long");
  EXPECT_EQ(newcomer.line(), "<end>");
  std::string words;  // a line at the cap, read by its reader as far as "a"
  while (words.size() + 2 < 64 * 1024) words += "a ";
  wordy.send(words);
  EXPECT_EQ(wordy.line(), "refused expected: connect PROTOCOL DATA_HASH [SLOT]");
  garbled.send("connect \xff");
  EXPECT_EQ(garbled.line(), "<end>");
  a.send("bye");
  EXPECT_EQ(a.line(), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_EQ(a.line(), "<end>");
  // A connection that never joins keeps the server up until it is closed.
  Client idle(port);
  auto done = status.get_future();
  EXPECT_EQ(done.wait_for(1500ms), std::future_status::timeout);
  idle.close();
  ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
  EXPECT_EQ(done.get(), 0);
  server.join();
  const auto logs = hooks.log_lines();
  EXPECT_EQ(logs.front(), "online game: a party of 2, data " + hex16(game_data().data_hash));
  EXPECT_EQ(logs.back(), "nobody connected for 1 s: stopping");
}

TEST(OnlineThreads, APortInUseEndsWithStatusOne) {
  auto taken = listen_tcp("127.0.0.1", 0);
  ASSERT_TRUE(taken.ok());
  OnlineConfig config;
  config.bind = "127.0.0.1";
  config.port = (*taken)->port();
  LoopbackHooks hooks;
  EXPECT_EQ(run_online_server(config, hooks), 1);
  EXPECT_TRUE(hooks.log_lines().at(0).starts_with("cannot bind 127.0.0.1:" + std::to_string(config.port) + ": "));
  config.port = 0;
  config.opening = "new 1 1 nobody";
  EXPECT_EQ(run_online_server(config, hooks), 1);
  EXPECT_TRUE(hooks.log_lines().back().starts_with("cannot start the game: {\"ok\":false")) << hooks.log_lines().back();
}

}  // namespace
}  // namespace velmora
