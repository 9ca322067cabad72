#include "web/metrics.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "tests/support/online_peers.h"
#include "tests/support/peers.h"

namespace velmora {
namespace {

MetricsStats sample_stats() { return MetricsStats{3, 125, 7500, 412, 9, 8000, 256000, 7500, 480000}; }

StageResults sample_results() {
  StageResults results;
  // A party of three clears a stage: two fighters of one class add 2 to one sample.
  for (const char* fighter : {"fighter", "wizard", "fighter"}) count_stage_result(results, "The King's Road", "cleared", fighter);
  count_stage_result(results, "Say \"hi\"\\\n", "wiped", "thief");
  return results;
}

TEST(Metrics, TheWholeText) {
  EXPECT_EQ(rebuild_metrics(sample_stats(), sample_results()),
            "# HELP velmora_game_players Players connected.\n"
            "# TYPE velmora_game_players gauge\n"
            "velmora_game_players 3\n"
            "# HELP velmora_game_seconds Seconds since the game started.\n"
            "# TYPE velmora_game_seconds gauge\n"
            "velmora_game_seconds 125\n"
            "# HELP velmora_game_ticks_total Ticks simulated.\n"
            "# TYPE velmora_game_ticks_total counter\n"
            "velmora_game_ticks_total 7500\n"
            "# HELP velmora_game_tick_microseconds_max Slowest tick of the last second.\n"
            "# TYPE velmora_game_tick_microseconds_max gauge\n"
            "velmora_game_tick_microseconds_max 412\n"
            "# HELP velmora_game_inputs_guessed_total Player inputs that came too late and were guessed.\n"
            "# TYPE velmora_game_inputs_guessed_total counter\n"
            "velmora_game_inputs_guessed_total 9\n"
            "# HELP velmora_game_packets_received_total UDP packets received.\n"
            "# TYPE velmora_game_packets_received_total counter\n"
            "velmora_game_packets_received_total 8000\n"
            "# HELP velmora_game_bytes_received_total UDP bytes received.\n"
            "# TYPE velmora_game_bytes_received_total counter\n"
            "velmora_game_bytes_received_total 256000\n"
            "# HELP velmora_game_packets_sent_total UDP packets sent.\n"
            "# TYPE velmora_game_packets_sent_total counter\n"
            "velmora_game_packets_sent_total 7500\n"
            "# HELP velmora_game_bytes_sent_total UDP bytes sent.\n"
            "# TYPE velmora_game_bytes_sent_total counter\n"
            "velmora_game_bytes_sent_total 480000\n"
            "# HELP velmora_stage_results_total Players at the end of a stage, by stage, result and class.\n"
            "# TYPE velmora_stage_results_total counter\n"
            "velmora_stage_results_total{stage=\"Say \\\"hi\\\"\\\\\\n\",result=\"wiped\",class=\"thief\"} 1\n"
            "velmora_stage_results_total{stage=\"The King's Road\",result=\"cleared\",class=\"fighter\"} 2\n"
            "velmora_stage_results_total{stage=\"The King's Road\",result=\"cleared\",class=\"wizard\"} 1\n");
  // With no finished stage the family is still declared, without samples.
  const std::string empty = rebuild_metrics(MetricsStats{}, {});
  const std::string tail = "# TYPE velmora_stage_results_total counter\n";
  EXPECT_EQ(empty.substr(empty.size() - tail.size()), tail);
}

TEST(Metrics, Handler) {
  auto text = std::make_shared<MetricsText>();
  const HttpHandler handler = metrics_handler(text);
  // {method, path, status, body}; the text is replaced after the first row.
  const std::tuple<const char*, const char*, std::uint16_t, const char*> rows[] = {
      {"GET", "/metrics", 200, ""},  // before the first rebuild
      {"POST", "/metrics", 200, "velmora_game_players 1\n"}, {"GET", "/metrics/", 404, "not found\n"},
      {"GET", "/", 404, "not found\n"},                     {"GET", "/Metrics", 404, "not found\n"},
  };
  for (const auto& [method, path, status, body] : rows) {
    const HttpResponse r = handler(HttpRequest{method, path, {}, {}, {}});
    EXPECT_EQ(r.status, status) << path;
    EXPECT_EQ(r.body, body) << path;
    EXPECT_EQ(r.content_type, "text/plain; version=0.0.4; charset=utf-8");
    text->replace("velmora_game_players 1\n");
  }
}

TEST(Metrics, PromtoolAcceptsTheText) {
  if (!testing::have_program("promtool")) VELMORA_WITHOUT_PEER("promtool", "prometheus");
  const testing::PromtoolVerdict verdict = testing::promtool_check_metrics(rebuild_metrics(sample_stats(), sample_results()));
  EXPECT_EQ(verdict.complaints, "");
  EXPECT_TRUE(verdict.status == 0 || verdict.status == 3) << verdict.output;
}

// The same check run again as its own program with promtool off the PATH:
// it skips with the package's name, and fails when peers are required.
TEST(Metrics, AMissingPromtoolSkipsUnlessPeersAreRequired) {
  char empty[] = "/tmp/velmora-path-XXXXXX";
  ASSERT_NE(::mkdtemp(empty), nullptr);
  std::vector<std::string> environment{std::string("PATH=") + empty};
  for (char** e = environ; *e != nullptr; ++e) {
    const std::string_view entry(*e);
    if (!entry.starts_with("PATH=") && !entry.starts_with("VELMORA_REQUIRE_PEERS=")) environment.emplace_back(entry);
  }
  const std::vector<std::string> argv{"/proc/self/exe", "--gtest_filter=Metrics.PromtoolAcceptsTheText"};
  const testing::Finished skipped = testing::run_to_end(argv, environment);
  environment.push_back("VELMORA_REQUIRE_PEERS=1");
  const testing::Finished failed = testing::run_to_end(argv, environment);
  ::rmdir(empty);

  const std::string why = "promtool is missing: install the Debian package prometheus";
  EXPECT_EQ(skipped.status, 0) << skipped.output;
  EXPECT_NE(skipped.output.find("[  SKIPPED ] Metrics.PromtoolAcceptsTheText"), std::string::npos) << skipped.output;
  EXPECT_NE(skipped.output.find(why + "\n"), std::string::npos) << skipped.output;
  EXPECT_EQ(failed.status, 1) << failed.output;
  EXPECT_NE(failed.output.find("[  FAILED  ] Metrics.PromtoolAcceptsTheText"), std::string::npos) << failed.output;
  EXPECT_NE(failed.output.find(why + " (VELMORA_REQUIRE_PEERS is set)\n"), std::string::npos) << failed.output;
}

}  // namespace
}  // namespace velmora
