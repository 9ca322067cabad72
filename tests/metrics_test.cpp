#include "web/metrics.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/http_peers.h"
#include "web/http_client.h"

namespace velmora {
namespace {

using testing::LoopbackHttpServer;

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
  EXPECT_EQ(escape_label_value("a\\\"\n"), "a\\\\\\\"\\n");
}

TEST(Metrics, Handler) {
  auto text = std::make_shared<MetricsText>();
  const HttpHandler handler = metrics_handler(text);
  const auto answer = [&](const char* method, const char* path) { return handler(HttpRequest{method, path, {}, {}, {}}); };
  const HttpResponse before = answer("GET", "/metrics");
  EXPECT_EQ(before.status, 200);
  EXPECT_EQ(before.body, "");
  text->replace("velmora_game_players 1\n");
  for (const char* method : {"GET", "POST", "HEAD"}) {
    const HttpResponse after = answer(method, "/metrics");
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(after.body, "velmora_game_players 1\n");
    EXPECT_EQ(after.content_type, "text/plain; version=0.0.4; charset=utf-8");
  }
  for (const char* path : {"/metrics/", "/", "/Metrics", ""}) {
    const HttpResponse other = answer("GET", path);
    EXPECT_EQ(other.status, 404) << path;
    EXPECT_EQ(other.body, "not found\n");
    EXPECT_EQ(other.content_type, "text/plain; version=0.0.4; charset=utf-8");
  }
}

// Runs a command with its standard output and error in one text.
int run_command(const std::string& command, std::string& output) {
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have(const char* program) { return std::system((std::string("command -v ") + program + " >/dev/null").c_str()) == 0; }

TEST(Metrics, PromtoolAcceptsTheText) {
  if (!have("promtool")) GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
  const auto file = std::filesystem::temp_directory_path() / ("velmora-metrics-" + std::to_string(::getpid()));
  std::ofstream(file) << rebuild_metrics(sample_stats(), sample_results());
  std::string output;
  const int status = run_command("promtool check metrics < " + file.string(), output);
  std::filesystem::remove(file);
  // The one lint allowed is the unit in the slowest-tick gauge's name.
  const std::string allowed =
      "velmora_game_tick_microseconds_max use base unit \"seconds\" instead of \"microseconds\"";
  std::string rest;
  std::size_t start = 0;
  while (start < output.size()) {
    std::size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::string line = output.substr(start, end - start);
    if (!line.empty() && line != allowed) rest += line + "\n";
    start = end + 1;
  }
  EXPECT_EQ(rest, "");
  EXPECT_TRUE(status == 0 || status == 3) << output;
}

// A real Prometheus scraping the metrics port every second sees the target up
// and the game's counters.
TEST(Metrics, ARealPrometheusScrapes) {
  if (!have("prometheus")) GTEST_SKIP() << "prometheus is not installed (Debian package prometheus)";
  auto text = std::make_shared<MetricsText>();
  text->replace(rebuild_metrics(sample_stats(), sample_results()));
  LoopbackHttpServer metrics(metrics_handler(text));

  std::uint16_t web_port;
  {
    auto probe = listen_tcp("127.0.0.1", 0);
    ASSERT_TRUE(probe);
    web_port = (*probe)->port();
  }
  const auto dir = std::filesystem::temp_directory_path() / ("velmora-prometheus-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "prometheus.yml") << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                           "scrape_configs:\n  - job_name: velmora\n    static_configs:\n"
                                           "      - targets: ['127.0.0.1:"
                                        << metrics.port() << "']\n";
  // Everything the child needs is made before the fork: it only redirects and execs.
  const std::string config = "--config.file=" + (dir / "prometheus.yml").string();
  const std::string storage = "--storage.tsdb.path=" + (dir / "data").string();
  const std::string listen = "--web.listen-address=127.0.0.1:" + std::to_string(web_port);
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  const pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    ::dup2(quiet, 1);
    ::dup2(quiet, 2);
    ::execlp("prometheus", "prometheus", config.c_str(), storage.c_str(), listen.c_str(), nullptr);
    ::_exit(127);
  }
  const std::string api = "http://127.0.0.1:" + std::to_string(web_port) + "/api/v1/query?query=";
  bool up = false, ticks = false;
  for (int i = 0; i < 60 && !(up && ticks); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    if (!up) {
      auto reply = http_request("GET", api + "up", std::nullopt, std::nullopt, 2);
      up = reply && reply->body.find("\"value\":[") != std::string::npos &&
           reply->body.find(",\"1\"]") != std::string::npos;
    }
    if (!ticks) {
      auto reply = http_request("GET", api + "velmora_game_ticks_total", std::nullopt, std::nullopt, 2);
      ticks = reply && reply->body.find(",\"7500\"]") != std::string::npos;
    }
  }
  ::close(quiet);
  ::kill(pid, SIGTERM);
  ::waitpid(pid, nullptr, 0);
  std::filesystem::remove_all(dir);
  EXPECT_TRUE(up) << "the target never came up";
  EXPECT_TRUE(ticks) << "the game's counters never arrived";
}

}  // namespace
}  // namespace velmora
