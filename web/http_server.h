// A small HTTP/1.1 server on plain TCP: one request per connection, one
// thread per connection, "Connection: close". The caller's one handler does
// all the routing; the server reads the request, calls it and writes the reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/clock.h"
#include "core/base/result.h"
#include "web/sockets.h"
#include "web/threads.h"

namespace velmora {

using HttpPairs = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  // The first word of the request line as sent.
  std::string method;
  // The target before its first "?", percent-decoded.
  std::string path;
  // The decoded pairs after the first "?".
  HttpPairs query;
  // At most http_max_stored_headers, in arrival order; names trimmed and
  // ASCII-lower-cased, values trimmed.
  HttpPairs headers;
  // Exactly Content-Length bytes of UTF-8.
  std::string body;
};

struct HttpResponse {
  std::uint16_t status = 200;
  std::string content_type;
  std::string body;
};

// Called from several connection threads at once: whatever it reads it guards itself.
using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

inline constexpr std::size_t http_max_stored_headers = 64;
inline constexpr std::string_view http_text_type = "text/plain; version=0.0.4; charset=utf-8";

struct HttpServerLimits {
  // Connections served at once. A connection beyond them takes the place of
  // the one open longest, which is closed: a scraper always gets through a
  // crowd of stalled peers.
  std::size_t max_connections = 32;
  // The whole exchange of one connection, request and reply, ends by then.
  std::chrono::milliseconds exchange_time{10'000};
  // The pause after a failed accept (out of descriptors), so the loop does not spin.
  std::chrono::milliseconds accept_backoff{50};
};

// Serves the listener until the stop is requested, then waits for the
// connections still open and returns. Each connection is served on a thread
// of its own from `threads`; one whose thread cannot start is closed
// unanswered and counted in a `log` line at most once a second.
void serve_http(TcpListener& listener, HttpHandler handler, HttpServerLimits limits = {}, std::stop_token stop = {},
                ThreadSpawner& threads = system_threads(), LogLine log = {});

// Serves one connection: reads a request, calls the handler (or answers 400
// "bad request\n") and writes the reply. The stream is left open.
void handle_http_connection(Stream& stream, const HttpHandler& handler);

// Reads one request (request line, headers, body); the error says what was wrong.
Result<HttpRequest> read_http_request(Stream& stream);

// "HTTP/1.1 {status} {reason}" head with Content-Type, Content-Length and Connection: close.
std::string http_response_head(const HttpResponse& response);
std::string_view http_reason(std::uint16_t status);

// The target split at its first "?".
std::pair<std::string_view, std::optional<std::string_view>> split_target(std::string_view target);

// "+" becomes a blank; "%XY" the byte with that hex value (a leading "+"
// counts as a sign, so "%+F" is 0x0F); any other "%" stays. Invalid UTF-8 in
// the result is replaced by U+FFFD.
std::string percent_decode(std::string_view text);

// Pieces split at "&", empty ones skipped, each split at its first "=".
std::pair<std::string, std::string> parse_query_pair(std::string_view piece);
HttpPairs parse_query(std::string_view query);

// Exactly 14 bytes equal to "content-length" ignoring ASCII case.
bool is_content_length(std::string_view name);

}  // namespace velmora
