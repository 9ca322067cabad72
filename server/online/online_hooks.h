// What the online server hands to the rest of the program: its log lines,
// its "LISTENING" line, the opening request, the stage transactions, the
// metrics figures and its stop. The defaults log to standard error and do
// nothing else; the program's services override them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "server/online/online_config.h"
#include "web/metrics.h"

namespace velmora {

// One stage measured from its first tick to its end.
struct StageTransaction {
  std::uint64_t stage_counter = 0;  // of the service state when it opened
  std::string name;                 // "stage {stage name}"
  std::string stage;                // the stage name
  std::string classes;              // the player fighters' kinds in actor order, joined with ","
  std::uint64_t players = 0;        // the number of player fighters
  std::uint64_t ticks = 0;
  std::uint64_t slow_ticks = 0;  // ticks that took longer than the tick period
  std::uint64_t slowest_tick_us = 0;
  std::uint64_t latest_tick_us = 0;  // the most a tick began after it was due
};

class OnlineHooks {
 public:
  virtual ~OnlineHooks() = default;
  // One line each, on standard error. The services' own threads log too, so
  // an override must be safe to call from any thread.
  virtual void log_info(std::string_view line);
  virtual void log_error(std::string_view line);
  // The session and tick port are bound: "LISTENING {port}" on standard output.
  virtual void listening(std::uint16_t port);
  // The services beside the loop (the metrics server) start here, once the
  // ports are bound; they are stopped, and their threads joined, on every way
  // out of the server after that. An error (a thread that cannot start) ends
  // the server with status 1.
  virtual Status start_services(const OnlineConfig&) { return done(); }
  virtual void stop_services() {}
  // The request line that creates the game: the configured one, or one built
  // once the game server is allocated. An error ends the server with status 1.
  virtual Result<std::string> opening_request(const OnlineConfig& config) { return config.opening; }
  // A new random session id.
  virtual std::uint64_t new_session_id();
  // A stage began ticking, and it ended: "cleared", "wiped", "left" (the party
  // moved on) or "abandoned" (the server stopped).
  virtual void stage_begin(const StageTransaction&) {}
  virtual void stage_end(const StageTransaction&, std::string_view) {}
  // About once a second, with a metrics port: the figures to publish.
  virtual void metrics(const MetricsStats&, const StageResults&) {}
  // Whether the server is asked to stop (by a signal), and why ("SIGTERM"):
  // the loop stops at its next pass. Safe to call from any thread.
  virtual std::optional<std::string> stop_requested() { return std::nullopt; }
  // The server stops, after its idle time or when asked to (before its
  // sessions are closed).
  virtual void stopping() {}
};

}  // namespace velmora
