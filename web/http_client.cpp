#include "web/http_client.h"

#include "core/base/text.h"
#include "web/http_wire.h"

namespace velmora {

namespace {

constexpr std::string_view scheme = "http://";
constexpr const char* malformed = "a malformed reply";

struct Target {
  std::string_view authority;
  std::string_view path;
};

Target split_url(std::string_view rest) {
  const std::size_t slash = rest.find('/');
  if (slash == std::string_view::npos) return {rest, "/"};
  return {rest.substr(0, slash), rest.substr(slash)};
}

Result<std::uint16_t> read_status_line(HttpReader& reader) {
  std::string line;
  if (auto read = reader.line(line); !read) return error(read.message());
  const std::vector<std::string_view> tokens = split_words(line);
  if (tokens.size() < 2) return error(malformed);
  const auto status = parse_unsigned(tokens[1], UINT16_MAX);
  if (!status) return error(malformed);
  return static_cast<std::uint16_t>(*status);
}

struct BodyFraming {
  std::optional<std::uint64_t> length;
  bool chunked = false;
};

Status take_reply_header(std::string_view line, BodyFraming& framing) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return done();
  const std::string_view name = line.substr(0, colon);
  const std::string_view value = line.substr(colon + 1);
  if (equals_ascii_nocase(name, "content-length")) {
    framing.length = parse_unsigned(trim_white(value));
  } else if (equals_ascii_nocase(name, "transfer-encoding")) {
    std::string lower(value);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (lower.find("chunked") != std::string::npos) framing.chunked = true;
  }
  return done();
}

// Chunks up to the zero chunk; a chunk that would carry the body past the
// cap ends it there, unread. The size is checked before it is added.
Status read_chunked(HttpReader& reader, std::string& body) {
  std::string line;
  for (;;) {
    if (auto read = reader.line(line); !read) return read;
    const std::string_view trimmed = trim_white(line);
    auto size = parse_hex_u64(trimmed.substr(0, trimmed.find(';')));
    if (!size) return error(size.message());
    if (*size == 0) return done();
    if (*size > http_max_body - body.size()) return done();
    if (auto chunk = reader.exact(static_cast<std::size_t>(*size), body); !chunk) return chunk;
    std::string line_end;
    if (auto end = reader.exact(2, line_end); !end) return end;
  }
}

Status read_reply_body(HttpReader& reader, const BodyFraming& framing, std::string& body) {
  if (framing.chunked) return read_chunked(reader, body);
  if (framing.length) {
    const std::uint64_t length = *framing.length < http_max_body ? *framing.length : http_max_body;
    return reader.exact(static_cast<std::size_t>(length), body);
  }
  return reader.until_end(http_max_body, body);
}

Result<HttpReply> send_and_read(Stream& stream, std::string_view request) {
  if (auto sent = stream.write(request); !sent) return error(sent.message());
  return read_http_reply(stream);
}

}  // namespace

std::string http_request_text(std::string_view method, std::string_view path, std::string_view authority,
                              const std::optional<HttpHeader>& extra_header,
                              const std::optional<HttpBody>& body) {
  std::string text;
  text.append(method).append(" ").append(path).append(" HTTP/1.1\r\nHost: ");
  text.append(authority).append("\r\nConnection: close\r\n");
  if (extra_header) text.append(extra_header->name).append(": ").append(extra_header->value).append("\r\n");
  if (body) {
    text.append("Content-Type: ").append(body->content_type).append("\r\nContent-Length: ");
    text.append(std::to_string(body->text.size())).append("\r\n\r\n").append(body->text);
  } else {
    text.append("Content-Length: 0\r\n\r\n");
  }
  return text;
}

Result<HttpReply> read_http_reply(Stream& stream) {
  HttpReader reader(stream);
  auto status = read_status_line(reader);
  if (!status) return error(status.message());
  BodyFraming framing;
  auto headers = reader.header_block([&](std::string_view line) { return take_reply_header(line, framing); });
  if (!headers) return error(headers.message());
  std::string body;
  if (auto read = read_reply_body(reader, framing, body); !read) return error(read.message());
  return HttpReply{*status, utf8_lossy(body)};
}

Result<HttpReply> http_request(std::string_view method, std::string_view url,
                               const std::optional<HttpHeader>& extra_header,
                               const std::optional<HttpBody>& body, std::uint32_t timeout_seconds,
                               Clock& clock) {
  if (url.substr(0, scheme.size()) != scheme) return error(std::string(url) + " is not an http:// address");
  const Target target = split_url(url.substr(scheme.size()));
  const std::string authority(target.authority);

  auto addresses = resolve_stream_address(authority);
  if (!addresses) return error("cannot resolve " + authority + ": " + addresses.message());
  if (addresses->empty()) return error("cannot resolve " + authority);

  const std::chrono::seconds timeout(timeout_seconds == 0 ? 1 : timeout_seconds);
  const auto deadline = clock.monotonic() + timeout;
  const ResolvedAddress& address = addresses->front();
  auto socket = connect_address(address, timeout);
  if (!socket) return error("cannot reach " + address.text() + ": " + socket.message());

  DeadlineStream stream(**socket, clock, deadline);
  auto reply = send_and_read(stream, http_request_text(method, target.path, authority, extra_header, body));
  stream.close();
  return reply;
}

Result<HttpReply> http_request(std::string_view method, std::string_view url,
                               const std::optional<HttpHeader>& extra_header,
                               const std::optional<HttpBody>& body, std::uint32_t timeout_seconds) {
  return http_request(method, url, extra_header, body, timeout_seconds, real_clock());
}

}  // namespace velmora
