#include "tests/support/http_peers.h"

#include <algorithm>

#include "core/base/panic.h"
#include "core/base/text.h"

namespace velmora::testing {

namespace {

std::unique_ptr<TcpListener> loopback_listener() {
  auto listener = listen_tcp("127.0.0.1", 0);
  if (!listener) panic("cannot listen on loopback: " + listener.message());
  return std::move(*listener);
}

std::string loopback_url(std::uint16_t port, std::string_view path) {
  return "http://127.0.0.1:" + std::to_string(port) + std::string(path);
}

// The request head up to and including its blank line.
std::string read_head(Stream& stream) {
  std::string head;
  char byte;
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    auto n = stream.read(&byte, 1);
    if (!n || *n == 0) break;
    head += byte;
  }
  return head;
}

}  // namespace

Result<std::size_t> BytesStream::read(char* buffer, std::size_t size) {
  ++reads;
  const std::size_t n = std::min({size, chunk, input.size() - at});
  input.copy(buffer, n, at);
  at += n;
  return n;
}

Status BytesStream::write(std::string_view bytes) {
  output += bytes;
  return done();
}

LoopbackHttpServer::LoopbackHttpServer(HttpHandler handler, HttpServerLimits limits)
    : listener_(loopback_listener()), port_(listener_->port()) {
  thread_ = std::jthread([this, handler = std::move(handler), limits](std::stop_token stop) {
    serve_http(*listener_, handler, limits, stop);
  });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  thread_.request_stop();
  thread_.join();
}

std::string LoopbackHttpServer::url(std::string_view path) const { return loopback_url(port_, path); }

RawReplyServer::RawReplyServer(std::string reply, std::size_t piece, std::chrono::milliseconds pause)
    : reply_(std::move(reply)), piece_(piece), pause_(pause), listener_(loopback_listener()),
      port_(listener_->port()) {
  thread_ = std::jthread([this](std::stop_token stop) { serve(stop); });
}

RawReplyServer::~RawReplyServer() {
  thread_.request_stop();
  interrupt_accept(*listener_);
  thread_.join();
}

std::string RawReplyServer::url(std::string_view path) const { return loopback_url(port_, path); }

std::vector<std::string> RawReplyServer::requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

void RawReplyServer::serve(std::stop_token stop) {
  while (!stop.stop_requested()) {
    auto accepted = accept_socket(*listener_);
    if (!accepted) return;
    SocketStream& stream = **accepted;
    std::string head = read_head(stream);
    {
      std::lock_guard lock(mutex_);
      requests_.push_back(std::move(head));
    }
    for (std::size_t at = 0; at < reply_.size() && !stop.stop_requested(); at += piece_) {
      if (!stream.write(std::string_view(reply_).substr(at, piece_))) break;
      if (pause_.count() > 0) std::this_thread::sleep_for(pause_);
    }
    stream.close();
  }
}

SidecarStandIn::SidecarStandIn()
    : server_([this](const HttpRequest& request) { return answer(request); },
              HttpServerLimits{32, std::chrono::milliseconds(3000), std::chrono::milliseconds(10)}) {}

std::string SidecarStandIn::base() const { return "http://127.0.0.1:" + std::to_string(server_.port()); }

void SidecarStandIn::allocate_after(std::size_t polls, std::string annotations_json) {
  std::lock_guard lock(mutex_);
  polls_before_allocation_ = polls;
  annotations_ = std::move(annotations_json);
}

void SidecarStandIn::fail(const std::string& path, std::uint16_t status, std::string body) {
  std::lock_guard lock(mutex_);
  failures_[path] = {status, std::move(body)};
}

std::vector<SidecarCall> SidecarStandIn::calls() {
  std::lock_guard lock(mutex_);
  return calls_;
}

std::vector<std::string> SidecarStandIn::paths() {
  std::vector<std::string> out;
  for (const SidecarCall& call : calls()) out.push_back(call.method + " " + call.path);
  return out;
}

HttpResponse SidecarStandIn::answer(const HttpRequest& request) {
  std::lock_guard lock(mutex_);
  SidecarCall call{request.method, request.path, request.body, "", std::chrono::steady_clock::now()};
  for (const auto& [name, value] : request.headers) {
    if (name == "content-type") call.content_type = value;
  }
  calls_.push_back(call);
  if (const auto it = failures_.find(request.path); it != failures_.end()) {
    return HttpResponse{it->second.first, "application/json", it->second.second};
  }
  if (request.method == "GET" && request.path == "/gameserver") {
    const bool allocated = polls_++ >= polls_before_allocation_;
    const std::string state = allocated ? "Allocated" : "Ready";
    return HttpResponse{200, "application/json",
                        "{\"object_meta\":{\"name\":\"velmora-1\",\"annotations\":" + annotations_ +
                            "},\"status\":{\"state\":\"" + state + "\",\"port\":7000}}"};
  }
  if (request.method == "POST") return HttpResponse{200, "application/json", "{}"};
  return HttpResponse{404, "text/plain", "not found\n"};
}

}  // namespace velmora::testing
