// Stage transactions: sampling, tags from the world, measurements, the whole
// transaction text and what reaches the collector at the finish.
#include <gtest/gtest.h>

#include <mutex>

#include "core/data/game_data.h"
#include "core/rules/campaign.h"
#include "server/online/stage_transaction.h"

namespace velmora {
namespace {

TEST(StageTransaction, SamplingDrawsBelowOne) {
  struct Case {
    double rate;
    std::uint64_t word;
    bool sampled;
  };
  const Case cases[] = {
      {0.0, 0, false},          {-1.0, 0, false},          {2.0, UINT64_MAX, true},
      {1.0, UINT64_MAX, true},  // the draw never reaches 1
      {0.5, 1ULL << 63, false}, {0.5, (1ULL << 63) - 2048, true},
      {0.25, 0, true},          {1e-300, 0, true},
  };
  for (const Case& c : cases) EXPECT_EQ(sampled_at(c.rate, c.word), c.sampled) << c.rate << " " << c.word;
}

TEST(StageTransaction, OpensWithFreshIdsAndThePartysTags) {
  const auto& kinds = game_data().kinds;
  World w = new_game(0, 7, new_party({*kind_id(kinds, "wizard"), *kind_id(kinds, "fighter")}));
  const std::string stage = w.stage().name;
  GameTransaction t = open_stage_transaction(w, stage, 2.0);
  EXPECT_EQ(t.name, "stage " + stage);
  EXPECT_TRUE(t.sampled);
  EXPECT_EQ(t.trace_id.size() + t.span_id.size(), 48u);
  EXPECT_GT(t.start_ns, 0);
  EXPECT_FALSE(t.parent_span_id);
  EXPECT_EQ(json_to_string(Json(t.tags)), R"({"stage":")" + stage + R"(","classes":"wizard,fighter","players":"2"})");
  EXPECT_FALSE(open_stage_transaction(w, stage, 0.0).sampled);

  record_tick(t, 900, 16666);
  record_tick(t, 17000, 16666);
  record_tick(t, 16666, 16666);  // exactly the period is not slow
  EXPECT_EQ(t.ticks, 3);
  EXPECT_EQ(t.slow_ticks, 1);
  EXPECT_EQ(t.tick_us_max, 17000);
}

TEST(StageTransaction, TransactionTextHasItsKeysInOrder) {
  GameTransaction t;
  t.name = "stage road";
  t.trace_id = "0123456789abcdef0123456789abcdef";
  t.span_id = "fedcba9876543210";
  t.start_ns = 1714564800000000000;
  json_object_push_str(t.tags, "stage", "road");
  json_object_push_str(t.tags, "classes", "fighter,thief");
  json_object_push_str(t.tags, "players", "2");
  const std::string head =
      R"({"event_id":"ffffffffffffffff0000000000000000","timestamp":"2024-05-01T12:05:00.000000Z","platform":"native",)"
      R"("logger":"velmora-server","release":"some-velmora@0.3.0","environment":"production",)"
      R"("sdk":{"name":"velmora.web","version":"0.3.0"},)";
  const std::string body_start =
      R"("type":"transaction","transaction":"stage road","start_timestamp":"2024-05-01T12:00:00.000000Z",)"
      R"("tags":{"service":"velmora-server","stage":"road","classes":"fighter,thief","players":"2",)";
  struct Case {
    const char* name;
    std::string server_name;
    std::optional<std::string> parent;
    std::int64_t ticks, slow, max;
    const char* status;
    std::string expected;
  };
  const Case cases[] = {
      {"no ticks, left", "", std::nullopt, 0, 0, 0, "left",
       head + body_start +
           R"("result":"left"},"contexts":{"trace":{"trace_id":"0123456789abcdef0123456789abcdef",)"
           R"("span_id":"fedcba9876543210","op":"game.stage","status":"ok"}},"spans":[],)"
           R"("extra":{"ticks":0,"slow_ticks":0,"tick_us_max":0}})"},
      {"host and parent", "pod-2", "aaaaaaaaaaaaaaaa", 3600, 4, 21000, "cleared",
       head + R"("server_name":"pod-2",)" + body_start +
           R"("result":"cleared"},"contexts":{"trace":{"trace_id":"0123456789abcdef0123456789abcdef",)"
           R"("span_id":"fedcba9876543210","op":"game.stage","status":"ok","parent_span_id":"aaaaaaaaaaaaaaaa"}},)"
           R"("spans":[],"extra":{"ticks":3600,"slow_ticks":4,"tick_us_max":21000}})"},
  };
  for (const Case& c : cases) {
    ReporterConfig config;
    config.release = "some-velmora@0.3.0";
    config.environment = "production";
    config.server_name = c.server_name;
    GameTransaction u = t;
    u.parent_span_id = c.parent;
    u.ticks = c.ticks;
    u.slow_ticks = c.slow;
    u.tick_us_max = c.max;
    close_transaction(u, c.status);
    EXPECT_EQ(json_to_string(transaction_json(config, u, "ffffffffffffffff0000000000000000",
                                              "2024-05-01T12:05:00.000000Z")),
              c.expected)
        << c.name;
  }
}

TEST(StageTransaction, OnlySampledTransactionsReachTheCollector) {
  std::mutex mutex;
  std::vector<std::string> posts;
  ReporterConfig config;
  config.dsn = "http://k@gt:8000/9";
  Reporter reporter(config, [&](const std::string&, const std::string&, const std::string& envelope) {
    std::lock_guard<std::mutex> lock(mutex);
    posts.push_back(envelope);
    return Result<CollectorReply>(CollectorReply{200, ""});
  });
  GameTransaction sampled = game_transaction("stage road", 2.0);
  sampled.ticks = 5;
  finish_transaction(&reporter, sampled, "wiped");
  finish_transaction(&reporter, game_transaction("stage road", 0.0), "cleared");
  finish_transaction(nullptr, game_transaction("stage road", 2.0), "abandoned");  // reporter off
  reporter.flush();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_NE(posts[0].find(R"("result":"wiped"},"contexts":{"trace":{"trace_id":")" + sampled.trace_id),
            std::string::npos);
  EXPECT_NE(posts[0].find(R"("extra":{"ticks":5,"slow_ticks":0,"tick_us_max":0}})"), std::string::npos);
}

}  // namespace
}  // namespace velmora
