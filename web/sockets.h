// Sockets behind a small seam: the servers read and write through Stream and
// accept through Listener, so that tests can stand in streams of their own.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <poll.h>
#include <sys/socket.h>

#include "core/base/clock.h"
#include "core/base/result.h"

namespace velmora {

// An IPv4 or IPv6 socket address, compared by its bytes.
struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t size = 0;
  bool operator==(const SocketAddress& other) const;
};

// One connected byte stream.
class Stream {
 public:
  virtual ~Stream() = default;
  // Reads at least one byte; 0 means the peer closed the stream.
  virtual Result<std::size_t> read(char* buffer, std::size_t size) = 0;
  // Writes every byte or fails.
  virtual Status write(std::string_view bytes) = 0;
  // Shuts both directions down; later reads see the end of the stream.
  virtual void close() = 0;
  // Writes what the stream takes at once, never waiting; the number of bytes
  // taken, 0 when it would have to wait. By default a whole write.
  virtual Result<std::size_t> write_some(std::string_view bytes);
  // A second handle on the same connection, so that one thread may read
  // while another writes. Closing either shuts the connection down.
  virtual Result<std::unique_ptr<Stream>> duplicate();
  // The address of the other end, when the stream knows it.
  virtual std::optional<SocketAddress> peer_address() const;
};

class Listener {
 public:
  virtual ~Listener() = default;
  virtual Result<std::unique_ptr<Stream>> accept() = 0;
  // The port actually bound.
  virtual std::uint16_t port() const = 0;
  virtual void close() = 0;
  // Wakes an accept blocked on another thread; later accepts fail. The
  // listener stays open until its owner closes it.
  virtual void interrupt() {}
};

// An owned file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(Fd&& other) noexcept : fd_(other.release()) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset();

 private:
  int fd_ = -1;
};

// Where a peer connects from, for limits charged to each: its IPv4 address
// (an IPv4-mapped IPv6 address counts as that IPv4 address) or the /64
// prefix of its IPv6 address. Peers without an address share one origin.
struct PeerOrigin {
  std::uint16_t family = AF_UNSPEC;
  std::uint64_t bits = 0;
  auto operator<=>(const PeerOrigin&) const = default;
};
PeerOrigin peer_origin(const std::optional<SocketAddress>& address);

// A TCP stream over a socket. Writes never raise SIGPIPE.
class SocketStream : public Stream {
 public:
  explicit SocketStream(Fd fd, std::optional<SocketAddress> peer = std::nullopt)
      : fd_(std::move(fd)), peer_(peer) {}
  Result<std::size_t> read(char* buffer, std::size_t size) override;
  Status write(std::string_view bytes) override;
  void close() override;
  Result<std::size_t> write_some(std::string_view bytes) override;
  Result<std::unique_ptr<Stream>> duplicate() override;
  // The accepting side's streams know their peer.
  std::optional<SocketAddress> peer_address() const override { return peer_; }
  int fd() const { return fd_.get(); }

 private:
  Fd fd_;
  std::optional<SocketAddress> peer_;
};

class TcpListener : public Listener {
 public:
  TcpListener(Fd fd, std::uint16_t port) : fd_(std::move(fd)), port_(port) {}
  // Accepted streams have TCP_NODELAY set.
  Result<std::unique_ptr<Stream>> accept() override;
  std::uint16_t port() const override { return port_; }
  void close() override { fd_.reset(); }
  void interrupt() override;
  int fd() const { return fd_.get(); }

 private:
  Fd fd_;
  std::uint16_t port_;
};

// 127.0.0.1 with a port.
SocketAddress loopback_address(std::uint16_t port);

// Datagrams in and out, behind a seam like the streams.
class Datagrams {
 public:
  virtual ~Datagrams() = default;
  // One datagram into the buffer (a longer one is cut to its size) and its
  // sender, waiting at most `wait` (zero: not at all). An error when none came
  // in time or the receive failed.
  virtual Result<std::size_t> receive(std::span<char> buffer, SocketAddress& from, std::chrono::nanoseconds wait) = 0;
  virtual Status send_to(std::string_view bytes, const SocketAddress& to) = 0;
};

class UdpSocket : public Datagrams {
 public:
  UdpSocket(Fd fd, std::uint16_t port) : fd_(std::move(fd)), port_(port) {}
  Result<std::size_t> receive(std::span<char> buffer, SocketAddress& from, std::chrono::nanoseconds wait) override;
  Status send_to(std::string_view bytes, const SocketAddress& to) override;
  std::uint16_t port() const { return port_; }
  int fd() const { return fd_.get(); }

 private:
  Fd fd_;
  std::uint16_t port_;
};

// Binds a UDP socket on the first address of host:port that binds ("could
// not resolve to any addresses" when there is none).
Result<std::unique_ptr<UdpSocket>> bind_udp(const std::string& host, std::uint16_t port);

// Binds a TCP listener on host:port (port 0 picks a free one). The error is
// the system's text of the last attempt.
Result<std::unique_ptr<TcpListener>> listen_tcp(const std::string& host, std::uint16_t port);

// A TCP listener and a UDP socket on one port number.
struct PortPair {
  std::unique_ptr<TcpListener> listener;
  std::unique_ptr<UdpSocket> udp;
};
// Picks of a free port tried when the UDP side of a pick is taken.
inline constexpr int port_pair_tries = 16;
// How the UDP side is bound (tests hold the port first).
using UdpBind = std::function<Result<std::unique_ptr<UdpSocket>>(const std::string& host, std::uint16_t port)>;

// Binds the listener and then the UDP socket on the listener's port. With
// port 0 the system picks the number, for TCP and UDP in turn (its TCP picks
// may all be of a parity whose UDP side others hold): the listener and then
// UDP on its number, then UDP and the listener on its number, and so on
// while the other side's number is found in use, up to `port_pair_tries`
// picks in all. A given port fails at once. The error: "cannot bind
// HOST:PORT: REASON" or "cannot bind udp HOST:PORT: REASON".
Result<PortPair> bind_port_pair(const std::string& host, std::uint16_t port, const UdpBind& bind = bind_udp);

// Connects with a time-out; the stream has TCP_NODELAY set.
Result<std::unique_ptr<SocketStream>> connect_tcp(const std::string& host, std::uint16_t port,
                                                  std::chrono::milliseconds timeout);

// Receive and send time-outs of a socket (zero: none).
void set_socket_timeouts(int fd, std::chrono::milliseconds receive, std::chrono::milliseconds send);

// Reads lines from a stream through a fixed buffer, with a cap on line length.
class LineReader {
 public:
  enum class Outcome { line, end, too_long, error };

  LineReader(Stream& stream, std::size_t max_line) : stream_(stream), max_line_(max_line) {}

  // The next line without its "\n" (or "\r\n"); a last line may end at the
  // end of the stream. A line longer than the cap (line end not counted)
  // gives too_long.
  Outcome next(std::string& line);

 private:
  Outcome too_long();

  Stream& stream_;
  std::size_t max_line_;
  char buffer_[8192];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace velmora

// ---- Addresses, deadlines and accepts for the HTTP client and server ----

namespace velmora {

// One resolved socket address.
struct ResolvedAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
  // "ip:port", an IPv6 address in brackets.
  std::string text() const;
};

// Resolves "host:port" (an IPv6 host in brackets) with the system resolver,
// addresses in the resolver's order. The error is the resolver's own text.
Result<std::vector<ResolvedAddress>> resolve_stream_address(std::string_view authority);

// Connects to one address with a time-out; the stream has TCP_NODELAY set.
Result<std::unique_ptr<SocketStream>> connect_address(const ResolvedAddress& address,
                                                      std::chrono::milliseconds timeout);

// A UDP socket on the wildcard address of the peer's family ("0.0.0.0:0" or
// "[::]:0"); the error is the system's text.
Result<std::unique_ptr<UdpSocket>> bind_udp_for(const ResolvedAddress& peer);

// Connects a UDP socket to the peer: it then receives the peer's datagrams
// only. The error is the system's text.
Status connect_udp(UdpSocket& socket, const ResolvedAddress& peer);

// The same address as a datagram destination.
SocketAddress socket_address(const ResolvedAddress& address);

// Accepts the next connection as a socket stream (TCP_NODELAY set).
Result<std::unique_ptr<SocketStream>> accept_socket(TcpListener& listener);

// Wakes a thread blocked in accept on this listener and makes every later
// accept fail; the descriptor stays open until its owner closes it.
void interrupt_accept(const TcpListener& listener);

// Lets up to `backlog` connections wait for their accept.
void set_listen_backlog(const TcpListener& listener, int backlog);

// Wakes a thread blocked on this socket: its reads see the end of the stream.
void interrupt_socket(int fd);

// Ends the sending side only: the peer reads the end of the stream, and this
// side may still read what the peer sends.
void shutdown_sending(int fd);

// Waits until one of the sockets is ready as each asks, or the time-out
// passes: the number ready, 0 when none (an interrupted wait counts as none).
int wait_for_sockets(std::span<pollfd> sockets, std::chrono::milliseconds timeout);

// A socket stream whose reads and writes all end by one deadline on the
// clock's monotonic scale, however slowly the peer trickles its bytes. Past
// the deadline every read, and every write that would have to wait for
// room, fails with the system's time-out text.
class DeadlineStream : public Stream {
 public:
  DeadlineStream(SocketStream& inner, Clock& clock, std::chrono::nanoseconds deadline)
      : inner_(inner), clock_(clock), deadline_(deadline) {}
  Result<std::size_t> read(char* buffer, std::size_t size) override;
  Status write(std::string_view bytes) override;
  void close() override { inner_.close(); }

 private:
  // Waits until the socket is ready for the events or the deadline passes.
  Status wait(short events);

  SocketStream& inner_;
  Clock& clock_;
  std::chrono::nanoseconds deadline_;
};

}  // namespace velmora
