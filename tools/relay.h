// The impairment relay: a stand-in for a bad network between online clients
// and the server, for tests and soak runs on one machine. It listens on one
// port for both the TCP session streams and the UDP datagrams, as the server
// does, and forwards each to the server's port on 127.0.0.1. Every client
// address that sends datagrams gets its own socket towards the server, so the
// server tells the clients apart and its answers find their way back. The
// datagrams of each direction go through a `DatagramLine`, the streams
// through a `StreamLine`. One thread does everything, one pass at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/base/clock.h"
#include "core/base/result.h"
#include "tools/impairment.h"
#include "web/sockets.h"

namespace velmora {

// Client addresses followed at once; a new one beyond this takes the place
// of the one heard from longest ago.
inline constexpr std::size_t max_relay_clients = 64;
// Streams relayed at once; more are closed as they come.
inline constexpr std::size_t max_relay_streams = 64;

struct RelayConfig {
  std::uint16_t port = 0;         // the relay's own (0: any free one)
  std::uint16_t server_port = 0;  // the server's, on 127.0.0.1
  ImpairmentSettings impairment;
};

class Relay {
 public:
  // Binds the relay's port for TCP and UDP on 127.0.0.1.
  static Result<std::unique_ptr<Relay>> open(const RelayConfig& config, Clock& clock);
  ~Relay();

  std::uint16_t port() const;
  // Waits at most `longest` for something to read or to deliver, then moves
  // everything that is ready.
  void pass(Nanos longest);

  const LineCounts& up() const { return up_.counts(); }
  const LineCounts& down() const { return down_.counts(); }
  std::size_t clients() const { return clients_.size(); }
  std::size_t streams() const { return pipes_.size(); }
  std::uint64_t streams_relayed() const { return streams_relayed_; }

 private:
  struct Client;
  struct Pipe;

  Relay(const RelayConfig& config, Clock& clock, std::unique_ptr<TcpListener> listener,
        std::unique_ptr<UdpSocket> udp);

  Nanos wait_for(Nanos longest, Nanos now) const;
  void accept_stream(Nanos now);
  void receive_from_clients(Nanos now);
  void receive_from_server(Client& client, Nanos now);
  Client* client_for(const SocketAddress& address, Nanos now);
  void deliver_datagrams(Nanos now);
  void move_stream(Pipe& pipe, bool readable_client, bool readable_server, Nanos now);

  RelayConfig config_;
  Clock& clock_;
  std::unique_ptr<TcpListener> listener_;
  std::unique_ptr<UdpSocket> udp_;
  SocketAddress server_;
  DatagramLine up_;
  DatagramLine down_;
  std::vector<std::unique_ptr<Client>> clients_;
  std::vector<std::unique_ptr<Pipe>> pipes_;
  std::uint64_t next_route_ = 1;
  std::uint64_t streams_relayed_ = 0;
};

}  // namespace velmora
