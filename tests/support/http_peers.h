// Peers for the HTTP tests: a scripted byte stream, a loopback HTTP server
// running serve_http, a raw server that answers with fixed bytes, and a
// stand-in for the Agones SDK sidecar.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "web/http_server.h"
#include "web/sockets.h"

namespace velmora::testing {

// Hands its input out in chunks of at most `chunk` bytes; keeps what is written.
struct BytesStream : Stream {
  explicit BytesStream(std::string in, std::size_t chunk = 7) : input(std::move(in)), chunk(chunk) {}
  Result<std::size_t> read(char* buffer, std::size_t size) override;
  Status write(std::string_view bytes) override;
  void close() override { closed = true; }

  std::string input, output;
  std::size_t chunk, at = 0, reads = 0;
  bool closed = false;
};

// serve_http on 127.0.0.1 with a free port, stopped and drained on destruction.
class LoopbackHttpServer {
 public:
  explicit LoopbackHttpServer(HttpHandler handler, HttpServerLimits limits = {});
  ~LoopbackHttpServer();
  std::uint16_t port() const { return port_; }
  std::string url(std::string_view path = "/") const;

 private:
  std::unique_ptr<TcpListener> listener_;
  std::uint16_t port_ = 0;
  std::jthread thread_;
};

// Accepts connections one after another; each reads the request head (up
// to the blank line) and gets `reply`, written in pieces of `piece` bytes
// `pause` apart; then the connection closes.
class RawReplyServer {
 public:
  explicit RawReplyServer(std::string reply, std::size_t piece = 1 << 20,
                          std::chrono::milliseconds pause = std::chrono::milliseconds(0));
  ~RawReplyServer();
  std::uint16_t port() const { return port_; }
  std::string url(std::string_view path = "/") const;
  std::vector<std::string> requests();

 private:
  void serve(std::stop_token stop);

  std::string reply_;
  std::size_t piece_;
  std::chrono::milliseconds pause_;
  std::unique_ptr<TcpListener> listener_;
  std::uint16_t port_ = 0;
  std::mutex mutex_;
  std::vector<std::string> requests_;
  std::jthread thread_;
};

// One call the sidecar stand-in received.
struct SidecarCall {
  std::string method, path, body, content_type;
  std::chrono::steady_clock::time_point at;
};

// The Agones SDK sidecar's HTTP interface as far as the server uses it:
// POST /ready, /health, /shutdown answer 200 "{}"; GET /gameserver answers
// "Ready" until the set number of polls, then "Allocated" with the
// annotations. Any path can be made to fail with a status and a body.
class SidecarStandIn {
 public:
  SidecarStandIn();
  std::string base() const;
  void allocate_after(std::size_t polls, std::string annotations_json);
  void fail(const std::string& path, std::uint16_t status, std::string body);
  std::vector<SidecarCall> calls();
  std::vector<std::string> paths();

 private:
  HttpResponse answer(const HttpRequest& request);

  std::mutex mutex_;
  std::vector<SidecarCall> calls_;
  std::map<std::string, std::pair<std::uint16_t, std::string>> failures_;
  std::size_t polls_before_allocation_ = 0;
  std::size_t polls_ = 0;
  std::string annotations_ = "{}";
  LoopbackHttpServer server_;
};

}  // namespace velmora::testing
