// Peers of the online server in the threaded tests: a player on loopback (a
// session stream and a UDP socket of its own), and a real Prometheus server
// scraping a metrics port.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <vector>

#include "core/net/net_messages.h"
#include "tests/support/peers.h"
#include "web/sockets.h"

namespace velmora::testing {

class LoopbackPlayer {
 public:
  explicit LoopbackPlayer(std::uint16_t port);
  void send(std::string_view line);
  // The next line from the server, "<end>" when the stream ends.
  std::string line();
  // Joins and reads up to the looks line; the slot.
  std::size_t join();
  // One input datagram for the next tick; the tick datagrams that came back.
  std::vector<TickDatagram> exchange(Buttons word, std::uint64_t acked);
  void close() { stream_->close(); }

 private:
  std::uint16_t port_;
  std::unique_ptr<SocketStream> stream_;
  std::unique_ptr<LineReader> reader_;
  std::unique_ptr<UdpSocket> udp_;
  std::uint64_t session_ = 0;
  std::uint64_t next_input_ = 1;
};

// What `promtool check metrics` says of a text: its exit status, its output,
// and the lines of it other than the one lint the metric names cause (the
// unit in velmora_game_tick_microseconds_max).
struct PromtoolVerdict {
  int status = -1;
  std::string output;
  std::string complaints;
};
PromtoolVerdict promtool_check_metrics(const std::string& text);

// A free port on loopback, as far as anyone can tell.
std::uint16_t free_loopback_port();

// A Prometheus server on loopback scraping one target every second, with a
// folder of its own; killed and cleaned away on destruction.
class PrometheusServer {
 public:
  explicit PrometheusServer(std::uint16_t target_port);
  ~PrometheusServer();
  PrometheusServer(const PrometheusServer&) = delete;
  PrometheusServer& operator=(const PrometheusServer&) = delete;
  // The body of the query API's answer to the query (percent-encoded by the
  // caller where it needs it); empty when it does not answer.
  std::string query(std::string_view expression);

 private:
  std::string folder_;
  std::uint16_t web_port_ = 0;
  pid_t pid_ = -1;
};

}  // namespace velmora::testing
