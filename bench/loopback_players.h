// Players of the online server on loopback for the benchmarks: each joins
// over its session stream and sends one input word a tick from a UDP socket
// of its own, reading back what tick datagrams have come.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/net/net_messages.h"
#include "web/sockets.h"

namespace velmora::bench {

struct Player {
  std::unique_ptr<SocketStream> stream;
  std::unique_ptr<UdpSocket> udp;
  std::uint64_t session = 0;
  std::uint64_t confirmed = 0;
};

inline Player join(std::uint16_t port) {
  Player p;
  p.stream = std::move(*connect_tcp("127.0.0.1", port, std::chrono::milliseconds(5000)));
  set_socket_timeouts(p.stream->fd(), std::chrono::seconds(5), std::chrono::seconds(5));
  (void)p.stream->write("connect 2 " + hex16(game_data().data_hash) + "\n");
  LineReader reader(*p.stream, 1 << 20);
  std::string line;
  (void)reader.next(line);
  p.session = parse_unsigned(split_words(line).at(2)).value_or(0);
  while (reader.next(line) == LineReader::Outcome::line && !line.starts_with("looks")) {
  }
  p.udp = std::move(*bind_udp("127.0.0.1", 0));
  return p;
}

inline void play_tick(Player& p, std::uint16_t port, std::uint64_t tick, Buttons word) {
  InputMessage m;
  m.acked = p.confirmed;
  m.first = tick + 2;
  m.count = 1;
  m.inputs[0] = word;
  std::vector<std::uint8_t> bytes;
  encode_input_datagram(p.session, m, bytes);
  (void)p.udp->send_to(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                       loopback_address(port));
  char buffer[2048];
  SocketAddress from;
  while (auto n = p.udp->receive(buffer, from, std::chrono::nanoseconds(0))) {
    auto d = decode_tick_datagram(std::span(reinterpret_cast<const std::uint8_t*>(buffer), *n), p.confirmed);
    if (d && d->message.count > 0) p.confirmed = std::max(p.confirmed, d->message.first + d->message.count - 1);
  }
}

}  // namespace velmora::bench
