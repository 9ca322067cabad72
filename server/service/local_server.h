// The local line-protocol server: one request line in, one JSON line out,
// one connection at a time, the game kept across connections.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <string_view>

#include "web/sockets.h"

namespace velmora {

// A request line longer than this is refused and its connection closed.
inline constexpr std::size_t max_request_line = 64 * 1024;

// What the server does with the lines it reads.
class LineService {
 public:
  virtual ~LineService() = default;
  // The one-line JSON reply to a request line (without its line end).
  virtual std::string handle(std::string_view line) = 0;
  // Saves a record that has not been saved yet (on "quit" and when a
  // connection ends); failures are dropped.
  virtual void save_unsaved() = 0;
};

// Serves connections until "quit", or until `stop_requested` says so once an
// accept or a connection has ended (an unsaved record is saved first);
// returns the exit status (0).
int serve_lines(Listener& listener, LineService& service, const std::function<bool()>& stop_requested = {});

// Serves one connection; true when it ended with "quit".
bool serve_connection(Stream& stream, LineService& service);

// A TCP listener whose accepts, and the reads of whose streams, also end
// (with the error "stopped") once the wake descriptor is readable, so that a
// server waiting for a peer notices a stop at once.
class WakeableListener : public Listener {
 public:
  WakeableListener(std::unique_ptr<TcpListener> inner, int wake_fd) : inner_(std::move(inner)), wake_fd_(wake_fd) {}
  Result<std::unique_ptr<Stream>> accept() override;
  std::uint16_t port() const override { return inner_->port(); }
  void close() override { inner_->close(); }

 private:
  std::unique_ptr<TcpListener> inner_;
  int wake_fd_;
};

}  // namespace velmora
