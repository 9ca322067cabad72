#include "server/service/local_server.h"

#include <cerrno>
#include <chrono>
#include <poll.h>
#include <thread>

#include "core/base/text.h"

namespace velmora {

namespace {

constexpr std::string_view bye_reply = "{\"ok\":true,\"message\":\"bye\"}\n";
constexpr std::string_view too_long_reply = "{\"ok\":false,\"message\":\"request line too long\"}\n";

// Waits until the socket is readable (or closed) or the wake descriptor is
// readable; false for the wake.
bool wait_readable(int fd, int wake_fd) {
  for (;;) {
    pollfd waits[2] = {{fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    const int ready = ::poll(waits, 2, -1);
    if (ready < 0 && errno == EINTR) continue;
    if (waits[1].revents != 0) return false;
    return true;  // ready, or a poll error that the socket call itself reports
  }
}

class WakeableStream : public Stream {
 public:
  WakeableStream(std::unique_ptr<SocketStream> inner, int wake_fd) : inner_(std::move(inner)), wake_fd_(wake_fd) {}
  Result<std::size_t> read(char* buffer, std::size_t size) override {
    if (!wait_readable(inner_->fd(), wake_fd_)) return error("stopped");
    return inner_->read(buffer, size);
  }
  Status write(std::string_view bytes) override { return inner_->write(bytes); }
  void close() override { inner_->close(); }

 private:
  std::unique_ptr<SocketStream> inner_;
  int wake_fd_;
};

}  // namespace

Result<std::unique_ptr<Stream>> WakeableListener::accept() {
  if (!wait_readable(inner_->fd(), wake_fd_)) return error("stopped");
  auto accepted = accept_socket(*inner_);
  if (!accepted) return error(accepted.message());
  return std::unique_ptr<Stream>(new WakeableStream(std::move(*accepted), wake_fd_));
}

bool serve_connection(Stream& stream, LineService& service) {
  LineReader reader(stream, max_request_line);
  std::string line;
  std::string reply;
  for (;;) {
    const LineReader::Outcome outcome = reader.next(line);
    if (outcome == LineReader::Outcome::too_long) {
      (void)stream.write(too_long_reply);
      return false;
    }
    if (outcome != LineReader::Outcome::line || !valid_utf8(line)) return false;
    if (trim_white(line) == "quit") {
      service.save_unsaved();
      (void)stream.write(bye_reply);
      return true;
    }
    reply = service.handle(line);
    reply += '\n';
    if (!stream.write(reply)) return false;
  }
}

int serve_lines(Listener& listener, LineService& service, const std::function<bool()>& stop_requested) {
  const auto stopping = [&] { return stop_requested && stop_requested(); };
  for (;;) {
    auto accepted = listener.accept();
    if (!accepted) {
      if (stopping()) {
        service.save_unsaved();
        break;
      }
      // A failed accept (out of descriptors, say) is retried after a pause.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    Stream& stream = **accepted;
    const bool quit = serve_connection(stream, service);
    stream.close();
    if (quit) break;
    service.save_unsaved();
    if (stopping()) break;
  }
  listener.close();
  return 0;
}

}  // namespace velmora
