#include "server/online/agones.h"

#include <gtest/gtest.h>

#include <mutex>

#include "tests/support/http_peers.h"

namespace velmora {
namespace {

using testing::SidecarStandIn;

// Log lines gathered from any thread.
struct Lines {
  std::mutex mutex;
  std::vector<std::string> lines;
  LogLine sink() {
    return [this](std::string_view line) {
      std::lock_guard lock(mutex);
      lines.emplace_back(line);
    };
  }
  std::vector<std::string> taken() {
    std::lock_guard lock(mutex);
    return lines;
  }
};

TEST(Agones, BaseAddress) {
  const std::pair<const char*, const char*> cases[] = {
      {nullptr, "9358"}, {"", "9358"},   {"x", "9358"},      {"9400", "9400"},  {"+9400", "9400"},
      {"65535", "65535"}, {"65536", "9358"}, {"-1", "9358"}, {" 9400", "9358"}, {"0", "9358"},
  };
  for (const auto& [variable, port] : cases) {
    EXPECT_EQ(agones_base_address(variable), std::string("http://127.0.0.1:") + port) << (variable ? variable : "unset");
  }
}

TEST(Agones, OpeningLine) {
  const std::pair<AgonesAnnotations, const char*> cases[] = {
      {{}, "new 1 1"},
      {{{"velmora/seed", "x"}}, "new 1 1"},
      {{{"velmora/seed", "+42"}, {"velmora/classes", ",fighter,,wizard,"}}, "new 42 2 fighter wizard"},
      {{{"velmora/seed", "18446744073709551615"}, {"velmora/campaign", "north"}}, "new 18446744073709551615 1 campaign=north"},
      {{{"velmora/seed", "18446744073709551616"}, {"velmora/classes", ""}, {"velmora/campaign", ""}}, "new 1 1 campaign="},
      {{{"velmora/classes", ",cleric,"}}, "new 1 1 cleric"},
  };
  for (const auto& [annotations, line] : cases) EXPECT_EQ(opening_line_from_annotations(annotations), line);
}

TEST(Agones, ReadingTheGameServerRecord) {
  const std::string allocated =
      R"({"object_meta":{"annotations":{"velmora/seed":"7","velmora/seed":"8","n":3}},"status":{"state":"Allocated"}})";
  const auto read = read_allocation(HttpReply{200, allocated + " \n"});
  ASSERT_TRUE(read);
  EXPECT_EQ(*read, (AgonesAnnotations{{"velmora/seed", "7"}}));
  EXPECT_EQ(read_allocation(HttpReply{200, R"({"status":{"state":"Allocated"}})"}), AgonesAnnotations{});
  const HttpReply not_yet[] = {
      {201, allocated},
      {200, allocated + " x"},
      {200, "[]"},
      {200, "not json"},
      {200, R"({"status":{"state":"Ready"}})"},
      {200, R"({"status":"Allocated"})"},
      {200, R"({"state":"Allocated"})"},
  };
  for (const HttpReply& reply : not_yet) EXPECT_FALSE(read_allocation(reply)) << reply.body;
}

TEST(Agones, LogExcerpt) {
  EXPECT_EQ(log_excerpt("  fine\n"), "fine");
  EXPECT_EQ(log_excerpt("a\nb\tc\x1b[31m\x7f\xc2\x85\xff"), "a\\nb\\tc\\x1b[31m\\x7f\\u{85}\xef\xbf\xbd");
  const std::string cut = log_excerpt(std::string(100, 'x') + std::string(150, '\x01'));
  EXPECT_EQ(cut, std::string(100, 'x') + [] {
    std::string s;
    for (int i = 0; i < 100; ++i) s += "\\x01";
    return s;
  }() + "...");
}

TEST(Agones, FailuresAreMessages) {
  SidecarStandIn sidecar;
  sidecar.fail("/ready", 500, "  {\"error\":\"not now\"}\n");
  sidecar.fail("/health", 204, "");
  Lines log;
  AgonesHealth health;
  auto opening = agones_start(health, sidecar.base(), log.sink());
  EXPECT_EQ(opening.message(), "/ready answered 500: {\"error\":\"not now\"}");
  // The pings go on after a failure, each one logged.
  health.stop();
  health.start(sidecar.base(), log.sink(), std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(180));
  health.stop();
  const auto lines = log.taken();
  ASSERT_GE(lines.size(), 3u);
  for (const auto& line : lines) EXPECT_EQ(line, "agones health: /health answered 204: ");

  // A sidecar that is not there: the post fails with the transport's message,
  // and the poll is simply not allocated.
  std::uint16_t port;
  {
    auto probe = listen_tcp("127.0.0.1", 0);
    ASSERT_TRUE(probe);
    port = (*probe)->port();
  }
  const std::string gone = "http://127.0.0.1:" + std::to_string(port);
  EXPECT_EQ(agones_post(gone, "/shutdown").message(), "cannot reach 127.0.0.1:" + std::to_string(port) + ": Connection refused");
  EXPECT_FALSE(poll_gameserver(gone));
  std::stop_source stop;
  stop.request_stop();
  EXPECT_FALSE(wait_for_allocation(gone, stop.get_token()));
}

}  // namespace
}  // namespace velmora
