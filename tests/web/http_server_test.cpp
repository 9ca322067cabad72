#include "web/http_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "tests/support/http_peers.h"
#include "web/http_client.h"
#include "web/http_wire.h"

namespace velmora {
namespace {

using testing::BytesStream;
using testing::LoopbackHttpServer;

HttpPairs pairs(std::initializer_list<std::pair<const char*, const char*>> list) {
  HttpPairs out;
  for (const auto& [k, v] : list) out.emplace_back(k, v);
  return out;
}

TEST(HttpServer, RequestsAsRead) {
  struct Case {
    const char* name;
    std::string request;
    bool ok;
    std::string method = {}, path = {};
    HttpPairs query = {}, headers = {};
    std::string body = {};
  };
  const std::string mib(http_max_body, 'b');
  const Case cases[] = {
      {"bare", "GET /metrics HTTP/1.1\r\n\r\n", true, "GET", "/metrics", {}, {}, ""},
      {"no protocol, end of input", "get /x", true, "get", "/x", {}, {}, ""},
      {"only a method", "GET\r\n\r\n", false}, {"empty", "", false},
      {"unicode blanks split", "GET\xe2\x80\x83/u\xc2\xa0HTTP/1.1\r\n\r\n", true, "GET", "/u", {}, {}, ""},
      {"length in any case", "POST / HTTP/1.1\r\ncOnTeNt-LeNgTh: 3\r\n\r\nabcdef", true, "POST", "/", {},
       pairs({{"content-length", "3"}}), "abc"},
      {"blank before colon", "POST / HTTP/1.1\r\nContent-Length : 3\r\n\r\nabc", true, "POST", "/", {},
       pairs({{"content-length", "3"}}), ""},
      {"plus sign", "POST / HTTP/1.1\r\nContent-Length: +5\r\n\r\n12345", true, "POST", "/", {},
       pairs({{"content-length", "+5"}}), "12345"},
      {"later length wins", "POST / HTTP/1.1\r\nContent-Length: 9\r\nContent-Length: 1\r\n\r\nxy", true, "POST", "/",
       {}, pairs({{"content-length", "9"}, {"content-length", "1"}}), "x"},
      {"length 5x", "POST / HTTP/1.1\r\nContent-Length: 5x\r\n\r\n12345", false},
      {"length empty", "POST / HTTP/1.1\r\nContent-Length:\r\n\r\n", false},
      {"lone sign", "POST / HTTP/1.1\r\nContent-Length: +\r\n\r\n", false},
      {"negative", "POST / HTTP/1.1\r\nContent-Length: -1\r\n\r\n", false},
      {"overflow", "POST / HTTP/1.1\r\nContent-Length: 18446744073709551616\r\n\r\n", false},
      {"absurd", "POST / HTTP/1.1\r\nContent-Length: 18446744073709551615\r\n\r\n", false},
      {"at the cap", "POST / HTTP/1.1\r\nContent-Length: 1048576\r\n\r\n" + mib, true, "POST", "/", {},
       pairs({{"content-length", "1048576"}}), mib},
      {"past the cap", "POST / HTTP/1.1\r\nContent-Length: 1048577\r\n\r\n" + mib + "b", false},
      {"body cut short", "POST / HTTP/1.1\r\nContent-Length: 4\r\n\r\nabc", false},
      {"body not UTF-8", "POST / HTTP/1.1\r\nContent-Length: 2\r\n\r\na\xff", false},
      {"header line not UTF-8", "GET / HTTP/1.1\r\nX: \xff\r\n\r\n", false},
      {"names lowered, values trimmed", "GET / HTTP/1.1\r\n  X-Thing:\t a: b \r\nno colon\r\n\r\n", true, "GET", "/", {},
       pairs({{"x-thing", "a: b"}}), ""},
      {"target decoded", "GET /a%20b+c?x=1&&y&z=%zz HTTP/1.1\r\n\r\n", true, "GET", "/a b c",
       pairs({{"x", "1"}, {"y", ""}, {"z", "%zz"}}), {}, ""},
      {"line too long", "GET /" + std::string(9000, 'a') + " HTTP/1.1\r\n\r\n", false},
  };
  for (const Case& c : cases) {
    BytesStream stream(c.request);
    auto request = read_http_request(stream);
    ASSERT_EQ(request.ok(), c.ok) << c.name;
    if (!c.ok) continue;
    EXPECT_EQ(request->method, c.method) << c.name;
    EXPECT_EQ(request->path, c.path) << c.name;
    EXPECT_EQ(request->query, c.query) << c.name;
    EXPECT_EQ(request->headers, c.headers) << c.name;
    EXPECT_EQ(request->body, c.body) << c.name;
  }
}

TEST(HttpServer, HeaderCaps) {
  // Past the 64th header nothing is stored, but a Content-Length there counts.
  std::string request = "POST / HTTP/1.1\r\n";
  for (int i = 0; i < 70; ++i) request += "X-" + std::to_string(i) + ": v\r\n";
  BytesStream late(request + "Content-Length: 2\r\n\r\nok");
  auto read = read_http_request(late);
  ASSERT_TRUE(read) << read.message();
  EXPECT_EQ(read->headers.size(), http_max_stored_headers);
  EXPECT_EQ(read->headers.back().first, "x-63");
  EXPECT_EQ(read->body, "ok");
}

TEST(HttpServer, PercentDecoding) {
  const std::pair<const char*, const char*> cases[] = {
      {"a+b", "a b"},     {"%41%62", "Ab"},  {"%+F", "\x0f"},  {"%zz", "%zz"},   {"%4", "%4"},
      {"%", "%"},         {"100%", "100%"}, {"%%41", "%A"},    {"%ff", "\xef\xbf\xbd"},
      {"%c3%a9", "\xc3\xa9"}, {"%2B", "+"},  {"%-1", "%-1"},
  };
  for (const auto& [in, out] : cases) EXPECT_EQ(percent_decode(in), out) << in;
  EXPECT_EQ(parse_query("&a=b=c&&=&k&"), pairs({{"a", "b=c"}, {"", ""}, {"k", ""}}));
  EXPECT_EQ(split_target("/p?"), std::make_pair(std::string_view("/p"), std::optional<std::string_view>("")));
  EXPECT_FALSE(split_target("/p").second);
  EXPECT_TRUE(is_content_length("CONTENT-length"));
  EXPECT_FALSE(is_content_length("content-length "));
}

TEST(HttpServer, Replies) {
  const HttpHandler teapot = [](const HttpRequest& request) {
    return HttpResponse{418, "text/plain", "short and stout " + request.path};
  };
  BytesStream good("GET /pot HTTP/1.1\r\n\r\n");
  handle_http_connection(good, teapot);
  EXPECT_EQ(good.output,
            "HTTP/1.1 418 Error\r\nContent-Type: text/plain\r\nContent-Length: 20\r\nConnection: close\r\n\r\n"
            "short and stout /pot");
  bool called = false;
  BytesStream bad("GET\r\n\r\n");
  handle_http_connection(bad, [&](const HttpRequest&) {
    called = true;
    return HttpResponse{};
  });
  EXPECT_FALSE(called);
  EXPECT_EQ(bad.output,
            "HTTP/1.1 400 Bad Request\r\nContent-Type: text/plain; version=0.0.4; charset=utf-8\r\n"
            "Content-Length: 12\r\nConnection: close\r\n\r\nbad request\n");
  const std::pair<std::uint16_t, const char*> reasons[] = {{200, "OK"},       {201, "Created"},
                                                           {404, "Not Found"}, {405, "Method Not Allowed"},
                                                           {409, "Conflict"}, {429, "Too Many Requests"},
                                                           {503, "Service Unavailable"}, {500, "Error"}};
  for (const auto& [status, reason] : reasons) EXPECT_EQ(http_reason(status), reason);
}

HttpHandler ok_handler() {
  return [](const HttpRequest& request) { return HttpResponse{200, "text/plain", "ok " + request.path}; };
}

// Opens a connection and sends the bytes; the stream stays open.
std::unique_ptr<SocketStream> open_with(std::uint16_t port, std::string_view bytes) {
  auto stream = connect_tcp("127.0.0.1", port, std::chrono::milliseconds(1000));
  if (!stream) return nullptr;
  if (!bytes.empty()) (void)(*stream)->write(bytes);
  return std::move(*stream);
}

// Everything the peer sends back until it closes (or the second runs out).
std::string read_all(SocketStream& stream) {
  set_socket_timeouts(stream.fd(), std::chrono::milliseconds(3000), std::chrono::milliseconds(1000));
  std::string out;
  char buffer[4096];
  for (;;) {
    auto n = stream.read(buffer, sizeof buffer);
    if (!n || *n == 0) return out;
    out.append(buffer, *n);
  }
}

TEST(HttpServer, AScrapeGetsThroughStalledPeers) {
  const HttpServerLimits limits{32, std::chrono::milliseconds(1500), std::chrono::milliseconds(10)};
  LoopbackHttpServer server(ok_handler(), limits);

  // A peer sending one byte every 100 ms is cut at the exchange deadline.
  std::atomic<bool> trickling = true;
  auto trickler = open_with(server.port(), "");
  ASSERT_TRUE(trickler);
  std::jthread slow([&] {
    const std::string request = "GET /slow HTTP/1.1\r\nX-Pad: " + std::string(100, 'p');
    for (std::size_t i = 0; trickling && i < request.size(); ++i) {
      if (!trickler->write(request.substr(i, 1))) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
  });
  const auto absurd = open_with(server.port(), "POST / HTTP/1.1\r\nContent-Length: 99999999999999999\r\n\r\n");
  ASSERT_TRUE(absurd);
  EXPECT_EQ(read_all(*absurd).substr(0, 24), "HTTP/1.1 400 Bad Request");

  std::vector<std::unique_ptr<SocketStream>> idle;
  for (int i = 0; i < 100; ++i) {
    idle.push_back(open_with(server.port(), ""));
    ASSERT_TRUE(idle.back()) << i;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(100));

  const auto start = std::chrono::steady_clock::now();
  auto scrape = http_request("GET", server.url("/metrics"), std::nullopt, std::nullopt, 2);
  ASSERT_TRUE(scrape) << scrape.message();
  EXPECT_EQ(scrape->body, "ok /metrics");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));

  // The trickler's connection ends by the deadline, whatever it got.
  const auto cut = std::chrono::steady_clock::now();
  read_all(*trickler);
  EXPECT_LT(std::chrono::steady_clock::now() - cut, std::chrono::milliseconds(1600));
  trickling = false;
}

TEST(HttpServer, APeerThatStopsMidRequestGetsItsBadRequestAtTheDeadline) {
  LoopbackHttpServer server(ok_handler(), {32, std::chrono::milliseconds(300), std::chrono::milliseconds(10)});
  const auto silent = open_with(server.port(), "GET /quiet HTTP/1.1\r\n");
  ASSERT_TRUE(silent);
  EXPECT_EQ(read_all(*silent).substr(0, 24), "HTTP/1.1 400 Bad Request");
}

TEST(HttpServer, StopsPromptlyWithConnectionsOpen) {
  std::vector<std::unique_ptr<SocketStream>> idle;
  const auto start = std::chrono::steady_clock::now();
  {
    LoopbackHttpServer server(ok_handler());
    for (int i = 0; i < 5; ++i) idle.push_back(open_with(server.port(), "GET /"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace velmora
