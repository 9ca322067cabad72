// The Agones game-server lifecycle through the SDK sidecar's local HTTP
// interface: health pings, ready, the wait for allocation and shutdown.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "web/http_client.h"
#include "web/threads.h"

namespace velmora {

inline constexpr std::uint16_t agones_default_port = 9358;
inline constexpr std::uint32_t agones_timeout_seconds = 2;
inline constexpr std::chrono::milliseconds agones_poll_interval{250};
inline constexpr std::chrono::milliseconds agones_health_interval{2000};

// The text-valued annotations of the GameServer record.
using AgonesAnnotations = std::map<std::string, std::string>;

// "http://127.0.0.1:{port}" with the port of AGONES_SDK_HTTP_PORT (an
// unsigned 16-bit decimal, an optional "+"); unset, unreadable or 0 gives 9358.
std::string agones_base_address(const char* port_variable);
std::string agones_base_from_environment();

// POST base+path with the body "{}": success only for status 200; any other
// status gives "{path} answered {status}: {the reply's start}".
Status agones_post(std::string_view base, std::string_view path);

// The annotations when the GameServer reply (status 200, a JSON object and
// nothing after it but white space) says "Allocated"; else none.
std::optional<AgonesAnnotations> read_allocation(const HttpReply& reply);

// One GET of "/gameserver"; none unless allocated.
std::optional<AgonesAnnotations> poll_gameserver(std::string_view base);

// Polls every interval until the record says "Allocated"; none only when the
// stop is requested first.
std::optional<AgonesAnnotations> wait_for_allocation(std::string_view base, std::stop_token stop = {},
                                                     std::chrono::milliseconds interval = agones_poll_interval);

// "new {seed} {players}", each non-empty class of "velmora/classes" (as
// many players as classes, at least 1), then " campaign={}" from
// "velmora/campaign"; a seed missing or unreadable is 1.
std::string opening_line_from_annotations(const AgonesAnnotations& annotations);

// A sidecar text fit for a log line: white space trimmed, control
// characters escaped, cut to 200 characters.
std::string log_excerpt(std::string_view text);

// The health pings: POST "/health" every interval on a thread of their own;
// a failure is logged as "agones health: {}" and the pings go on.
class AgonesHealth {
 public:
  AgonesHealth() = default;
  AgonesHealth(const AgonesHealth&) = delete;
  AgonesHealth& operator=(const AgonesHealth&) = delete;
  ~AgonesHealth() { stop(); }

  // Sends the first ping before it returns, then pings every interval; the
  // error: the thread cannot start.
  Status start(std::string base, LogLine log, std::chrono::milliseconds interval = agones_health_interval);
  // Ends the pings and waits for the thread.
  void stop();
  bool running() const { return thread_.joinable(); }

 private:
  Thread thread_;
};

// The health thread's body: pings until the stop is requested.
void health_loop(std::string base, LogLine log, std::chrono::milliseconds interval, std::stop_token stop);

// The start of an Agones game server, in order: the health pings start (so a
// server waiting for allocation stays healthy), "/ready" is posted, then the
// wait for allocation. Gives the opening request line built from the
// annotations, or the failure of "/ready" (or of the pings' thread); the
// pings run on either way.
Result<std::string> agones_start(AgonesHealth& health, const std::string& base, LogLine log,
                                 std::stop_token stop = {});

}  // namespace velmora
