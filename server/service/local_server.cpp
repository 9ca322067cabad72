#include "server/service/local_server.h"

#include <chrono>
#include <thread>

#include "core/base/text.h"

namespace velmora {

namespace {

constexpr std::string_view bye_reply = "{\"ok\":true,\"message\":\"bye\"}\n";
constexpr std::string_view too_long_reply = "{\"ok\":false,\"message\":\"request line too long\"}\n";

}  // namespace

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

int serve_lines(Listener& listener, LineService& service) {
  for (;;) {
    auto accepted = listener.accept();
    if (!accepted) {
      // A failed accept (out of descriptors, say) is retried after a pause.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    Stream& stream = **accepted;
    const bool quit = serve_connection(stream, service);
    stream.close();
    if (quit) {
      listener.close();
      return 0;
    }
    service.save_unsaved();
  }
}

}  // namespace velmora
