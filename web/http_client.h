// A small HTTP/1.1 client on plain TCP: one request per fresh connection,
// "Connection: close", the whole reply read before it returns. It carries the
// error reports to their collector and the calls to the Agones sidecar.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/base/clock.h"
#include "core/base/result.h"
#include "web/sockets.h"

namespace velmora {

struct HttpReply {
  std::uint16_t status = 0;
  // The received bytes (at most http_max_body of them) as text, each invalid
  // UTF-8 sequence replaced by U+FFFD.
  std::string body;
};

struct HttpHeader {
  std::string name;
  std::string value;
};

struct HttpBody {
  std::string content_type;
  std::string text;
};

// One request to "http://host:port/path" (the path defaults to "/"). The
// connect, the sending of the request and the reading of the whole reply
// all end within timeout_seconds of the call (0 counts as 1). Every failure
// is a message: "{url} is not an http:// address", "cannot resolve {}: {}",
// "cannot reach {ip:port}: {}", "a malformed reply" or the system's text of
// a socket error such as a time-out. 4xx and 5xx replies are replies.
Result<HttpReply> http_request(std::string_view method, std::string_view url,
                               const std::optional<HttpHeader>& extra_header,
                               const std::optional<HttpBody>& body, std::uint32_t timeout_seconds);

// The same on a clock of the caller's choosing (tests).
Result<HttpReply> http_request(std::string_view method, std::string_view url,
                               const std::optional<HttpHeader>& extra_header,
                               const std::optional<HttpBody>& body, std::uint32_t timeout_seconds,
                               Clock& clock);

// Reads one reply: status line, headers, then a chunked body, a body of known
// length or the rest of the stream, each cut at http_max_body bytes.
Result<HttpReply> read_http_reply(Stream& stream);

// The request text: request line, Host, Connection: close, the extra header,
// then the body with its Content-Type and Content-Length.
std::string http_request_text(std::string_view method, std::string_view path, std::string_view authority,
                              const std::optional<HttpHeader>& extra_header,
                              const std::optional<HttpBody>& body);

}  // namespace velmora
