#include "web/http_client.h"

#include <gtest/gtest.h>

#include "tests/support/http_peers.h"
#include "web/http_wire.h"

namespace velmora {
namespace {

using testing::BytesStream;
using testing::LoopbackHttpServer;
using testing::RawReplyServer;

const std::string mib(http_max_body, 'a');

std::string hex(std::size_t n) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%zx", n);
  return buffer;
}

TEST(HttpClient, RepliesAsRead) {
  struct Case {
    const char* name;
    std::string reply;
    std::uint16_t status;  // 0: the read fails with `text`
    std::string text;      // the body, or the failure
  };
  const std::string big_chunks = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n" + hex(mib.size()) +
                                 "\r\n" + mib + "\r\n0\r\n\r\n";
  const Case cases[] = {
      {"no reason phrase", "HTTP/1.1 204\r\n\r\n", 204, ""},
      {"one token", "HTTP/1.1\r\n\r\n", 0, "a malformed reply"},
      {"status not a number", "HTTP/1.1 2x0 OK\r\n\r\n", 0, "a malformed reply"},
      {"status beyond 16 bits", "HTTP/1.1 65536 OK\r\n\r\n", 0, "a malformed reply"},
      {"empty reply", "", 0, "a malformed reply"},
      {"known length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello, and more", 200, "hello"},
      {"length in any case", "HTTP/1.1 200 OK\r\ncOnTeNt-LeNgTh:  +2 \r\n\r\nhello", 200, "he"},
      {"short body", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nhello", 0, "the stream ended early"},
      {"no length: to the end", "HTTP/1.1 500 Oops\r\n\r\nall of it\n", 500, "all of it\n"},
      {"bad second length", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: x\r\n\r\nhello", 200, "hello"},
      {"header without colon", "HTTP/1.1 200 OK\r\nnonsense\r\nContent-Length: 1\r\n\r\nhi", 200, "h"},
      {"chunked wins", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nTransfer-Encoding: gzip, CHUNKED\r\n\r\n"
                       "2;x=y\r\nab\r\n1\r\nc\r\n0\r\n\r\n", 200, "abc"},
      {"chunk size blank before ;", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2 ;x\r\nab\r\n0\r\n\r\n", 0,
       "invalid digit found in string"},
      {"chunk size empty", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", 0,
       "cannot parse integer from empty string"},
      {"chunk size too large", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n10000000000000000\r\n", 0,
       "number too large to fit in target type"},
      // The largest size must end the body, never wrap the running total.
      {"chunk size at the top", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nz\r\nffffffffffffffff\r\n",
       200, "z"},
      {"chunks past the cap", big_chunks, 200, "abc"},
      {"chunk cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", 0, "the stream ended early"},
      {"invalid UTF-8", "HTTP/1.1 200 OK\r\n\r\na\xff" "b\xe2\x82" "c\xf0\x9f\x98\x80", 200,
       "a\xef\xbf\xbd" "b\xef\xbf\xbd" "c\xf0\x9f\x98\x80"},
      {"line too long", "HTTP/1.1 200 OK\r\nX: " + std::string(9000, 'x') + "\r\n\r\n", 0,
       "a line longer than 8192 bytes"},
  };
  for (const Case& c : cases) {
    BytesStream stream(c.reply, 4096);
    auto reply = read_http_reply(stream);
    if (c.status == 0) {
      ASSERT_FALSE(reply) << c.name;
      EXPECT_EQ(reply.message(), c.text) << c.name;
    } else {
      ASSERT_TRUE(reply) << c.name << ": " << reply.message();
      EXPECT_EQ(reply->status, c.status) << c.name;
      EXPECT_EQ(reply->body, c.text) << c.name;
    }
  }
}

TEST(HttpClient, EveryReadIsBounded) {
  // A known length past the cap, and a body without framing, stop at the cap
  // and leave the rest unread.
  for (const std::string head : {"HTTP/1.1 200 OK\r\nContent-Length: 99999999999999\r\n\r\n", "HTTP/1.1 200 OK\r\n\r\n"}) {
    BytesStream stream(head + mib + mib, 8192);
    auto reply = read_http_reply(stream);
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->body.size(), http_max_body);
    EXPECT_LE(stream.at, head.size() + http_max_body + 8192);
  }
  std::string many = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 101; ++i) many += "X-Header: " + std::to_string(i) + "\r\n";
  BytesStream lines(many + "\r\n");
  EXPECT_EQ(read_http_reply(lines).message(), "more than 100 header lines");
  std::string wide = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 9; ++i) wide += "X: " + std::string(8000, 'w') + "\r\n";
  BytesStream bytes(wide + "\r\n");
  EXPECT_EQ(read_http_reply(bytes).message(), "a header block larger than 65536 bytes");
}

TEST(HttpClient, AddressFailures) {
  EXPECT_EQ(http_request("GET", "https://127.0.0.1:1/x", std::nullopt, std::nullopt, 1).message(),
            "https://127.0.0.1:1/x is not an http:// address");
  const std::string no_port = http_request("GET", "http://localhost/x", std::nullopt, std::nullopt, 1).message();
  EXPECT_EQ(no_port.rfind("cannot resolve localhost: ", 0), 0u) << no_port;
  EXPECT_EQ(http_request("GET", "http://no.such.host.invalid:80", std::nullopt, std::nullopt, 1).message().rfind(
                "cannot resolve no.such.host.invalid:80: ", 0),
            0u);
  // A port that was free a moment ago refuses the connection.
  std::uint16_t port;
  {
    auto listener = listen_tcp("127.0.0.1", 0);
    ASSERT_TRUE(listener);
    port = (*listener)->port();
  }
  const std::string refused =
      http_request("GET", "http://127.0.0.1:" + std::to_string(port), std::nullopt, std::nullopt, 1).message();
  EXPECT_EQ(refused, "cannot reach 127.0.0.1:" + std::to_string(port) + ": Connection refused");
}

TEST(HttpClient, TalksToARawPeer) {
  RawReplyServer peer("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nwiki\r\n5\r\npedia\r\n0\r\n\r\n", 3);
  auto reply = http_request("GET", peer.url(""), std::nullopt, std::nullopt, 2);
  ASSERT_TRUE(reply) << reply.message();
  EXPECT_EQ(reply->body, "wikipedia");
  const auto requests = peer.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0], "GET / HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(peer.port()) +
                             "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
}

TEST(HttpClient, ATricklingPeerIsCutAtTheTimeOut) {
  // One byte every 200 ms would take minutes; the call ends after its one
  // second, however steadily the bytes come.
  RawReplyServer peer("HTTP/1.1 200 OK\r\n\r\n" + std::string(1000, 'x'), 1, std::chrono::milliseconds(200));
  const auto start = std::chrono::steady_clock::now();
  auto reply = http_request("GET", peer.url("/slow"), std::nullopt, std::nullopt, 1);
  const auto took = std::chrono::steady_clock::now() - start;
  ASSERT_FALSE(reply);
  EXPECT_EQ(reply.message(), "Connection timed out");
  EXPECT_LT(took, std::chrono::milliseconds(1800));
}

TEST(HttpClient, AgainstTheServer) {
  LoopbackHttpServer server([](const HttpRequest& request) {
    std::string echo = request.method + " " + request.path + " " + request.body;
    for (const auto& [k, v] : request.query) echo += " " + k + "=" + v;
    for (const auto& [k, v] : request.headers) echo += "\n" + k + ": " + v;
    return HttpResponse{201, "text/plain", echo};
  });
  auto reply = http_request("PUT", server.url("/a%20b?x=1&y"), HttpHeader{"X-Sentry-Auth", "Sentry a=b"},
                            HttpBody{"application/json", "{\"k\":1}"}, 2);
  ASSERT_TRUE(reply) << reply.message();
  EXPECT_EQ(reply->status, 201);
  EXPECT_EQ(reply->body, "PUT /a b {\"k\":1} x=1 y=\nhost: 127.0.0.1:" + std::to_string(server.port()) +
                             "\nconnection: close\nx-sentry-auth: Sentry a=b\ncontent-type: application/json"
                             "\ncontent-length: 7");
}

}  // namespace
}  // namespace velmora
