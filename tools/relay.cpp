#include "tools/relay.h"

#include <algorithm>
#include <array>

namespace velmora {

namespace {

// Datagrams taken from one socket in one pass at most, so that a flood on
// one socket cannot starve the others.
constexpr int max_datagrams_per_pass = 1024;
constexpr std::size_t read_chunk = 65536;
constexpr auto server_connect_timeout = std::chrono::milliseconds(2000);

// A socket to wait on; one with nothing asked is left out of the wait, so
// that a side already closed does not wake every wait with its hang-up.
pollfd watch(int fd, bool read, bool write) {
  short events = 0;
  if (read) events |= POLLIN;
  if (write) events |= POLLOUT;
  return pollfd{events == 0 ? -1 : fd, events, 0};
}

bool readable(const pollfd& p) {
  return (p.events & POLLIN) != 0 && (p.revents & (POLLIN | POLLHUP | POLLERR)) != 0;
}

std::uint64_t seed_of(std::uint64_t seed, std::uint64_t direction) {
  Rng rng = Rng::from_seed(seed ^ direction);
  return rng.next();
}

}  // namespace

struct Relay::Client {
  std::uint64_t route = 0;
  SocketAddress address;
  std::unique_ptr<UdpSocket> upstream;
  Nanos heard{0};
};

// One relayed stream: what each side sent on its way to the other, what is
// due and not yet written, and whether each side was told of the other's end.
struct Relay::Pipe {
  Pipe(std::unique_ptr<SocketStream> c, std::unique_ptr<SocketStream> s, const ImpairmentSettings& impairment)
      : client(std::move(c)), server(std::move(s)), to_server(impairment.up.delay), to_client(impairment.down.delay) {}

  std::unique_ptr<SocketStream> client;
  std::unique_ptr<SocketStream> server;
  StreamLine to_server;
  StreamLine to_client;
  std::string for_server;
  std::string for_client;
  bool server_told_end = false;
  bool client_told_end = false;
  bool broken = false;

  bool finished() const { return broken || (server_told_end && client_told_end); }
};

Result<std::unique_ptr<Relay>> Relay::open(const RelayConfig& config, Clock& clock) {
  auto ports = bind_port_pair("127.0.0.1", config.port);
  if (!ports) return error(ports.message());
  return std::unique_ptr<Relay>(new Relay(config, clock, std::move(ports->listener), std::move(ports->udp)));
}

Relay::Relay(const RelayConfig& config, Clock& clock, std::unique_ptr<TcpListener> listener,
             std::unique_ptr<UdpSocket> udp)
    : config_(config),
      clock_(clock),
      listener_(std::move(listener)),
      udp_(std::move(udp)),
      server_(loopback_address(config.server_port)),
      up_(config.impairment.up, seed_of(config.impairment.seed, 1)),
      down_(config.impairment.down, seed_of(config.impairment.seed, 2)) {}

Relay::~Relay() = default;

std::uint16_t Relay::port() const { return listener_->port(); }

Nanos Relay::wait_for(Nanos longest, Nanos now) const {
  Nanos until = now + longest;
  auto sooner = [&](std::optional<Nanos> due) {
    if (due) until = std::min(until, *due);
  };
  sooner(up_.next_due());
  sooner(down_.next_due());
  for (const auto& pipe : pipes_) {
    if (!pipe->server_told_end) sooner(pipe->to_server.next_due());
    if (!pipe->client_told_end) sooner(pipe->to_client.next_due());
  }
  return std::max(until - now, Nanos(0));
}

void Relay::pass(Nanos longest) {
  std::vector<pollfd> fds;
  fds.push_back(watch(listener_->fd(), true, false));
  fds.push_back(watch(udp_->fd(), true, false));
  for (const auto& client : clients_) fds.push_back(watch(client->upstream->fd(), true, false));
  for (const auto& pipe : pipes_) {
    const bool take_client = !pipe->to_server.closing() && pipe->to_server.has_room() &&
                             pipe->for_server.size() < max_waiting_stream_bytes;
    const bool take_server = !pipe->to_client.closing() && pipe->to_client.has_room() &&
                             pipe->for_client.size() < max_waiting_stream_bytes;
    fds.push_back(watch(pipe->client->fd(), take_client, !pipe->for_client.empty()));
    fds.push_back(watch(pipe->server->fd(), take_server, !pipe->for_server.empty()));
  }
  const Nanos wait = wait_for(longest, clock_.monotonic());
  wait_for_sockets(fds, std::chrono::ceil<std::chrono::milliseconds>(wait));

  const Nanos now = clock_.monotonic();
  const std::size_t first_pipe = 2 + clients_.size();
  for (std::size_t i = 0; i < pipes_.size(); ++i) {
    move_stream(*pipes_[i], readable(fds[first_pipe + 2 * i]), readable(fds[first_pipe + 2 * i + 1]), now);
  }
  std::erase_if(pipes_, [](const auto& pipe) { return pipe->finished(); });
  for (std::size_t i = 0; i < clients_.size() && 2 + i < fds.size(); ++i) {
    if (readable(fds[2 + i])) receive_from_server(*clients_[i], now);
  }
  if (readable(fds[1])) receive_from_clients(now);
  deliver_datagrams(now);
  if (readable(fds[0])) accept_stream(now);
}

void Relay::accept_stream(Nanos now) {
  auto accepted = accept_socket(*listener_);
  if (!accepted) return;
  if (pipes_.size() >= max_relay_streams) {
    (*accepted)->close();
    return;
  }
  auto server = connect_tcp("127.0.0.1", config_.server_port, server_connect_timeout);
  if (!server) {
    (*accepted)->close();
    return;
  }
  ++streams_relayed_;
  pipes_.push_back(std::make_unique<Pipe>(std::move(*accepted), std::move(*server), config_.impairment));
  move_stream(*pipes_.back(), false, false, now);
}

Relay::Client* Relay::client_for(const SocketAddress& address, Nanos now) {
  for (auto& client : clients_) {
    if (client->address == address) {
      client->heard = now;
      return client.get();
    }
  }
  if (clients_.size() >= max_relay_clients) {
    auto oldest = std::min_element(clients_.begin(), clients_.end(),
                                   [](const auto& a, const auto& b) { return a->heard < b->heard; });
    clients_.erase(oldest);
  }
  auto upstream = bind_udp("127.0.0.1", 0);
  if (!upstream) return nullptr;
  auto client = std::make_unique<Client>();
  client->route = next_route_++;
  client->address = address;
  client->upstream = std::move(*upstream);
  client->heard = now;
  clients_.push_back(std::move(client));
  return clients_.back().get();
}

void Relay::receive_from_clients(Nanos now) {
  static thread_local std::array<char, read_chunk> buffer;
  for (int n = 0; n < max_datagrams_per_pass; ++n) {
    SocketAddress from;
    auto size = udp_->receive(buffer, from, Nanos(0));
    if (!size) return;
    if (Client* client = client_for(from, now)) up_.push(now, std::string_view(buffer.data(), *size), client->route);
  }
}

void Relay::receive_from_server(Client& client, Nanos now) {
  static thread_local std::array<char, read_chunk> buffer;
  for (int n = 0; n < max_datagrams_per_pass; ++n) {
    SocketAddress from;
    auto size = client.upstream->receive(buffer, from, Nanos(0));
    if (!size) return;
    if (from == server_) down_.push(now, std::string_view(buffer.data(), *size), client.route);
  }
}

void Relay::deliver_datagrams(Nanos now) {
  auto find = [&](std::uint64_t route) -> Client* {
    for (auto& client : clients_) {
      if (client->route == route) return client.get();
    }
    return nullptr;
  };
  for (const Datagram& datagram : up_.take_due(now)) {
    if (Client* client = find(datagram.route)) (void)client->upstream->send_to(datagram.bytes, server_);
  }
  for (const Datagram& datagram : down_.take_due(now)) {
    if (Client* client = find(datagram.route)) (void)udp_->send_to(datagram.bytes, client->address);
  }
}

namespace {

// Reads what one side sent into its line; the end of its stream (or a
// failed read) ends the line.
void take_from(SocketStream& stream, StreamLine& line, Nanos now) {
  static thread_local std::array<char, read_chunk> buffer;
  auto n = stream.read(buffer.data(), buffer.size());
  if (!n || *n == 0) {
    line.end(now);
    return;
  }
  line.push(now, std::string_view(buffer.data(), *n));
}

// Writes what is due to one side, and tells it of the end of the other side
// once everything before the end is written. False when the side is gone.
bool give_to(SocketStream& stream, StreamLine& line, std::string& pending, bool& told_end, Nanos now) {
  if (told_end) return true;
  line.take_due(now, pending);
  while (!pending.empty()) {
    auto written = stream.write_some(pending);
    if (!written) return false;
    if (*written == 0) return true;
    pending.erase(0, *written);
  }
  if (line.ended(now)) {
    shutdown_sending(stream.fd());
    told_end = true;
  }
  return true;
}

}  // namespace

void Relay::move_stream(Pipe& pipe, bool readable_client, bool readable_server, Nanos now) {
  if (readable_client) take_from(*pipe.client, pipe.to_server, now);
  if (readable_server) take_from(*pipe.server, pipe.to_client, now);
  const bool server_ok = give_to(*pipe.server, pipe.to_server, pipe.for_server, pipe.server_told_end, now);
  const bool client_ok = give_to(*pipe.client, pipe.to_client, pipe.for_client, pipe.client_told_end, now);
  if (server_ok && client_ok) return;
  pipe.broken = true;
  pipe.client->close();
  pipe.server->close();
}

}  // namespace velmora
