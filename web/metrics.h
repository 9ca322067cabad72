// The online server's counters in the Prometheus text exposition format
// (0.0.4). The server loop rebuilds the whole text at most once a second from
// a snapshot of its statistics; the HTTP threads only copy it out.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>

#include "web/http_server.h"

namespace velmora {

// Player fighters at the end of a stage by (stage name, "cleared" or
// "wiped", class name), ordered by the three texts byte by byte.
using StageResults = std::map<std::tuple<std::string, std::string, std::string>, std::uint64_t>;

// What the loop knows at a rebuild.
struct MetricsStats {
  std::uint64_t players = 0;          // occupied slots
  std::uint64_t game_seconds = 0;     // whole seconds since the game started
  std::uint64_t ticks = 0;            // ticks simulated
  std::uint64_t slowest_tick_us = 0;  // slowest tick since the previous rebuild
  std::uint64_t inputs_guessed = 0;   // the four slots' guessed counts together
  std::uint64_t packets_received = 0;
  std::uint64_t bytes_received = 0;
  std::uint64_t packets_sent = 0;
  std::uint64_t bytes_sent = 0;
};

// The whole exposition text: nine game families, then the stage results.
std::string rebuild_metrics(const MetricsStats& stats, const StageResults& results);

// Adds 1 to the sample of (stage, result, class).
void count_stage_result(StageResults& results, std::string_view stage, std::string_view result,
                        std::string_view class_name);

// A label value with backslash, double quote and line feed escaped.
std::string escape_label_value(std::string_view value);

// The text shared between the loop (one writer) and the HTTP threads (readers).
class MetricsText {
 public:
  void replace(std::string text);
  std::string copy() const;

 private:
  mutable std::mutex mutex_;
  std::string text_;
};

// "/metrics" (any method) answers 200 with a copy of the text (empty before
// the first rebuild); every other path 404 "not found\n".
HttpHandler metrics_handler(std::shared_ptr<const MetricsText> text);

}  // namespace velmora
