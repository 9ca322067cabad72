#include "web/sockets.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <optional>
#include <utility>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace velmora {

namespace {

Error system_error(int code) { return error(std::strerror(code)); }

void set_nodelay(int fd) {
  int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
}

struct AddrInfo {
  addrinfo* list = nullptr;
  ~AddrInfo() {
    if (list != nullptr) ::freeaddrinfo(list);
  }
};

Result<AddrInfo*> resolve(const std::string& host, std::uint16_t port, int socktype, bool passive,
                          AddrInfo& out) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = socktype;
  hints.ai_flags = passive ? AI_PASSIVE : 0;
  const std::string service = std::to_string(port);
  const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &out.list);
  if (rc != 0) return error(::gai_strerror(rc));
  return &out;
}

std::uint16_t bound_port(int fd, std::uint16_t fallback) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return fallback;
  if (addr.ss_family == AF_INET) return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
  if (addr.ss_family == AF_INET6) return ntohs(reinterpret_cast<sockaddr_in6*>(&addr)->sin6_port);
  return fallback;
}

timeval to_timeval(std::chrono::milliseconds ms) {
  timeval tv{};
  tv.tv_sec = static_cast<time_t>(ms.count() / 1000);
  tv.tv_usec = static_cast<suseconds_t>((ms.count() % 1000) * 1000);
  return tv;
}

}  // namespace

Result<std::size_t> Stream::write_some(std::string_view bytes) {
  Status written = write(bytes);
  if (!written) return error(written.message());
  return bytes.size();
}

Result<std::unique_ptr<Stream>> Stream::duplicate() { return error("this stream cannot be shared"); }

std::optional<SocketAddress> Stream::peer_address() const { return std::nullopt; }

void Fd::reset() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

Result<std::size_t> SocketStream::read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::recv(fd_.get(), buffer, size, 0);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == ESHUTDOWN || errno == ECONNRESET) return std::size_t{0};
    return system_error(errno);
  }
}

Status SocketStream::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return system_error(errno);
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return done();
}

Result<std::size_t> SocketStream::write_some(std::string_view bytes) {
  for (;;) {
    const ssize_t n = ::send(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return std::size_t{0};
    return system_error(errno);
  }
}

Result<std::unique_ptr<Stream>> SocketStream::duplicate() {
  Fd copy(::fcntl(fd_.get(), F_DUPFD_CLOEXEC, 0));
  if (!copy.valid()) return system_error(errno);
  return std::unique_ptr<Stream>(new SocketStream(std::move(copy)));
}

void SocketStream::close() {
  if (fd_.valid()) ::shutdown(fd_.get(), SHUT_RDWR);
  fd_.reset();
}

Result<std::unique_ptr<Stream>> TcpListener::accept() {
  auto accepted = accept_socket(*this);
  if (!accepted) return error(accepted.message());
  return std::unique_ptr<Stream>(std::move(*accepted));
}

void TcpListener::interrupt() {
  if (fd_.valid()) ::shutdown(fd_.get(), SHUT_RDWR);
}

Result<std::unique_ptr<TcpListener>> listen_tcp(const std::string& host, std::uint16_t port) {
  AddrInfo info;
  auto resolved = resolve(host, port, SOCK_STREAM, true, info);
  if (!resolved) return error(resolved.message());
  int last_error = EADDRNOTAVAIL;
  for (addrinfo* a = info.list; a != nullptr; a = a->ai_next) {
    Fd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!fd.valid()) {
      last_error = errno;
      continue;
    }
    int one = 1;
    ::setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd.get(), 16) != 0) {
      last_error = errno;
      continue;
    }
    const std::uint16_t actual = bound_port(fd.get(), port);
    return std::make_unique<TcpListener>(std::move(fd), actual);
  }
  return system_error(last_error);
}

namespace {

// A bind error that says the number is taken.
bool in_use(const std::string& message) { return message.ends_with(std::string(": ") + std::strerror(EADDRINUSE)); }

// The listener on the port (0: the system's pick), then UDP on its number.
Result<PortPair> bind_tcp_first(const std::string& host, std::uint16_t port, const UdpBind& bind) {
  auto listener = listen_tcp(host, port);
  if (!listener) return error("cannot bind " + host + ":" + std::to_string(port) + ": " + listener.message());
  const std::uint16_t bound = (*listener)->port();
  auto udp = bind(host, bound);
  if (!udp) return error("cannot bind udp " + host + ":" + std::to_string(bound) + ": " + udp.message());
  return PortPair{std::move(*listener), std::move(*udp)};
}

// UDP on the system's pick, then the listener on its number.
Result<PortPair> bind_udp_first(const std::string& host, const UdpBind& bind) {
  auto udp = bind(host, 0);
  if (!udp) return error("cannot bind udp " + host + ":0: " + udp.message());
  const std::uint16_t bound = (*udp)->port();
  auto listener = listen_tcp(host, bound);
  if (!listener) return error("cannot bind " + host + ":" + std::to_string(bound) + ": " + listener.message());
  return PortPair{std::move(*listener), std::move(*udp)};
}

}  // namespace

Result<PortPair> bind_port_pair(const std::string& host, std::uint16_t port, const UdpBind& bind) {
  if (port != 0) return bind_tcp_first(host, port, bind);
  for (int pick = 1;; ++pick) {
    auto pair = pick % 2 == 1 ? bind_tcp_first(host, 0, bind) : bind_udp_first(host, bind);
    if (pair || pick == port_pair_tries) return pair;
    if (!in_use(pair.message())) return pair;
  }
}

Result<std::unique_ptr<SocketStream>> connect_tcp(const std::string& host, std::uint16_t port,
                                                  std::chrono::milliseconds timeout) {
  AddrInfo info;
  auto resolved = resolve(host, port, SOCK_STREAM, false, info);
  if (!resolved) return error(resolved.message());
  int last_error = ECONNREFUSED;
  for (addrinfo* a = info.list; a != nullptr; a = a->ai_next) {
    Fd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol));
    if (!fd.valid()) {
      last_error = errno;
      continue;
    }
    if (::connect(fd.get(), a->ai_addr, a->ai_addrlen) != 0) {
      if (errno != EINPROGRESS) {
        last_error = errno;
        continue;
      }
      pollfd p{fd.get(), POLLOUT, 0};
      const int ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
      if (ready <= 0) {
        last_error = ready == 0 ? ETIMEDOUT : errno;
        continue;
      }
      int so_error = 0;
      socklen_t len = sizeof so_error;
      ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &so_error, &len);
      if (so_error != 0) {
        last_error = so_error;
        continue;
      }
    }
    const int flags = ::fcntl(fd.get(), F_GETFL);
    ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
    set_nodelay(fd.get());
    return std::make_unique<SocketStream>(std::move(fd));
  }
  return system_error(last_error);
}

bool SocketAddress::operator==(const SocketAddress& other) const {
  return size == other.size && std::memcmp(&storage, &other.storage, size) == 0;
}

PeerOrigin peer_origin(const std::optional<SocketAddress>& address) {
  if (!address) return PeerOrigin{};
  const auto be64 = [](const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (int i = 0; i < 8; ++i) value = value << 8 | bytes[i];
    return value;
  };
  if (address->storage.ss_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(&address->storage);
    return PeerOrigin{AF_INET, ntohl(in->sin_addr.s_addr)};
  }
  if (address->storage.ss_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(&address->storage);
    const std::uint8_t* bytes = in6->sin6_addr.s6_addr;
    if (IN6_IS_ADDR_V4MAPPED(&in6->sin6_addr)) {
      return PeerOrigin{AF_INET, static_cast<std::uint64_t>(be64(bytes + 8) & 0xffff'ffffu)};
    }
    return PeerOrigin{AF_INET6, be64(bytes)};
  }
  return PeerOrigin{address->storage.ss_family, 0};
}

SocketAddress loopback_address(std::uint16_t port) {
  SocketAddress address;
  auto* in = reinterpret_cast<sockaddr_in*>(&address.storage);
  in->sin_family = AF_INET;
  in->sin_port = htons(port);
  in->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.size = sizeof(sockaddr_in);
  return address;
}

Result<std::size_t> UdpSocket::receive(std::span<char> buffer, SocketAddress& from, std::chrono::nanoseconds wait) {
  if (wait.count() > 0) {
    // Whole milliseconds, rounded up: the wait ends at or after the time asked.
    const std::int64_t ms = std::min<std::int64_t>((wait.count() + 999'999) / 1'000'000, INT32_MAX);
    pollfd p{fd_.get(), POLLIN, 0};
    const int ready = ::poll(&p, 1, static_cast<int>(ms));
    if (ready == 0) return error("timed out");
    if (ready < 0) return system_error(errno);
  }
  for (;;) {
    from.size = sizeof from.storage;
    const ssize_t n = ::recvfrom(fd_.get(), buffer.data(), buffer.size(), MSG_DONTWAIT,
                                 reinterpret_cast<sockaddr*>(&from.storage), &from.size);
    if (n >= 0) return static_cast<std::size_t>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return error("timed out");
    return system_error(errno);
  }
}

Status UdpSocket::send_to(std::string_view bytes, const SocketAddress& to) {
  for (;;) {
    const ssize_t n = ::sendto(fd_.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT,
                               reinterpret_cast<const sockaddr*>(&to.storage), to.size);
    if (n >= 0) return done();
    if (errno == EINTR) continue;
    return system_error(errno);
  }
}

Result<std::unique_ptr<UdpSocket>> bind_udp(const std::string& host, std::uint16_t port) {
  AddrInfo info;
  auto resolved = resolve(host, port, SOCK_DGRAM, true, info);
  if (!resolved) return error(resolved.message());
  if (info.list == nullptr) return error("could not resolve to any addresses");
  int last_error = EADDRNOTAVAIL;
  for (addrinfo* a = info.list; a != nullptr; a = a->ai_next) {
    Fd fd(::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol));
    if (!fd.valid() || ::bind(fd.get(), a->ai_addr, a->ai_addrlen) != 0) {
      last_error = errno;
      continue;
    }
    const std::uint16_t actual = bound_port(fd.get(), port);
    return std::make_unique<UdpSocket>(std::move(fd), actual);
  }
  return system_error(last_error);
}

void set_socket_timeouts(int fd, std::chrono::milliseconds receive, std::chrono::milliseconds send) {
  const timeval r = to_timeval(receive);
  const timeval s = to_timeval(send);
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &r, sizeof r);
  ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &s, sizeof s);
}

LineReader::Outcome LineReader::next(std::string& line) {
  line.clear();
  for (;;) {
    // Take what the buffer holds up to a line end. One byte past the cap is
    // let in while gathering: it may be the "\r" of a "\r\n" line end.
    const char* start = buffer_ + begin_;
    const void* nl = std::memchr(start, '\n', end_ - begin_);
    const std::size_t take = nl ? static_cast<std::size_t>(static_cast<const char*>(nl) - start) : end_ - begin_;
    if (line.size() + take > max_line_ + 1) return too_long();
    line.append(start, take);
    if (nl != nullptr) {
      begin_ += take + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line.size() > max_line_ ? too_long() : Outcome::line;
    }
    begin_ = end_ = 0;
    auto n = stream_.read(buffer_, sizeof buffer_);
    if (!n) return Outcome::error;
    if (*n == 0) {
      if (line.empty()) return Outcome::end;
      return line.size() > max_line_ ? too_long() : Outcome::line;
    }
    end_ = *n;
  }
}

LineReader::Outcome LineReader::too_long() {
  begin_ = end_ = 0;
  return Outcome::too_long;
}

}  // namespace velmora

// ---- Addresses, deadlines and accepts for the HTTP client and server ----

namespace velmora {

namespace {

// Splits "host:port" at the last colon; brackets around an IPv6 host go.
std::optional<std::pair<std::string, std::string>> split_authority(std::string_view authority) {
  const std::size_t colon = authority.rfind(':');
  if (colon == std::string_view::npos) return std::nullopt;
  std::string_view host = authority.substr(0, colon);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
  return std::make_pair(std::string(host), std::string(authority.substr(colon + 1)));
}

bool numeric_port(std::string_view text) {
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.size() > 5) return false;
  std::uint32_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return value <= 65535;
}

int milliseconds_left(Clock& clock, std::chrono::nanoseconds deadline) {
  const auto left = deadline - clock.monotonic();
  if (left <= std::chrono::nanoseconds(0)) return 0;
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > 60'000 ? 60'000 : static_cast<int>(ms);
}

}  // namespace

std::string ResolvedAddress::text() const {
  char host[INET6_ADDRSTRLEN] = {};
  std::uint16_t port = 0;
  if (storage.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&storage);
    ::inet_ntop(AF_INET, &a->sin_addr, host, sizeof host);
    port = ntohs(a->sin_port);
    return std::string(host) + ":" + std::to_string(port);
  }
  if (storage.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&storage);
    ::inet_ntop(AF_INET6, &a->sin6_addr, host, sizeof host);
    port = ntohs(a->sin6_port);
    return "[" + std::string(host) + "]:" + std::to_string(port);
  }
  return "?";
}

Result<std::vector<ResolvedAddress>> resolve_stream_address(std::string_view authority) {
  const auto parts = split_authority(authority);
  if (!parts) return error("the address has no port");
  if (!numeric_port(parts->second)) return error("invalid port value");
  const std::string port = parts->second.front() == '+' ? parts->second.substr(1) : parts->second;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  AddrInfo info;
  const int rc = ::getaddrinfo(parts->first.c_str(), port.c_str(), &hints, &info.list);
  if (rc != 0) return error(::gai_strerror(rc));
  std::vector<ResolvedAddress> out;
  for (addrinfo* a = info.list; a != nullptr; a = a->ai_next) {
    if (a->ai_addrlen > sizeof(sockaddr_storage)) continue;
    ResolvedAddress address;
    std::memcpy(&address.storage, a->ai_addr, a->ai_addrlen);
    address.length = a->ai_addrlen;
    out.push_back(address);
  }
  return out;
}

Result<std::unique_ptr<UdpSocket>> bind_udp_for(const ResolvedAddress& peer) {
  return bind_udp(peer.storage.ss_family == AF_INET6 ? "::" : "0.0.0.0", 0);
}

Status connect_udp(UdpSocket& socket, const ResolvedAddress& peer) {
  if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&peer.storage), peer.length) != 0) {
    return system_error(errno);
  }
  return done();
}

SocketAddress socket_address(const ResolvedAddress& address) {
  SocketAddress out;
  std::memcpy(&out.storage, &address.storage, sizeof out.storage);
  out.size = address.length;
  return out;
}

Result<std::unique_ptr<SocketStream>> connect_address(const ResolvedAddress& address,
                                                      std::chrono::milliseconds timeout) {
  Fd fd(::socket(address.storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
  if (!fd.valid()) return system_error(errno);
  if (::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
    if (errno != EINPROGRESS) return system_error(errno);
    pollfd p{fd.get(), POLLOUT, 0};
    int ready;
    do {
      ready = ::poll(&p, 1, static_cast<int>(timeout.count()));
    } while (ready < 0 && errno == EINTR);
    if (ready <= 0) return system_error(ready == 0 ? ETIMEDOUT : errno);
    int so_error = 0;
    socklen_t len = sizeof so_error;
    ::getsockopt(fd.get(), SOL_SOCKET, SO_ERROR, &so_error, &len);
    if (so_error != 0) return system_error(so_error);
  }
  const int flags = ::fcntl(fd.get(), F_GETFL);
  ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK);
  set_nodelay(fd.get());
  return std::make_unique<SocketStream>(std::move(fd));
}

Result<std::unique_ptr<SocketStream>> accept_socket(TcpListener& listener) {
  for (;;) {
    SocketAddress peer;
    peer.size = sizeof peer.storage;
    const int fd = ::accept4(listener.fd(), reinterpret_cast<sockaddr*>(&peer.storage), &peer.size, SOCK_CLOEXEC);
    if (fd >= 0) {
      set_nodelay(fd);
      return std::make_unique<SocketStream>(Fd(fd), peer);
    }
    if (errno == EINTR || errno == ECONNABORTED) continue;
    return system_error(errno);
  }
}

void interrupt_accept(const TcpListener& listener) { ::shutdown(listener.fd(), SHUT_RDWR); }

void set_listen_backlog(const TcpListener& listener, int backlog) { ::listen(listener.fd(), backlog); }

void interrupt_socket(int fd) { ::shutdown(fd, SHUT_RDWR); }

void shutdown_sending(int fd) { ::shutdown(fd, SHUT_WR); }

int wait_for_sockets(std::span<pollfd> sockets, std::chrono::milliseconds timeout) {
  const auto ms = std::clamp<std::int64_t>(timeout.count(), 0, 60'000);
  const int ready = ::poll(sockets.data(), static_cast<nfds_t>(sockets.size()), static_cast<int>(ms));
  return ready < 0 ? 0 : ready;
}

Status DeadlineStream::wait(short events) {
  for (;;) {
    const int ms = milliseconds_left(clock_, deadline_);
    if (ms == 0) return system_error(ETIMEDOUT);
    pollfd p{inner_.fd(), events, 0};
    const int ready = ::poll(&p, 1, ms);
    if (ready > 0) return done();
    if (ready < 0 && errno != EINTR) return system_error(errno);
  }
}

Result<std::size_t> DeadlineStream::read(char* buffer, std::size_t size) {
  if (auto ready = wait(POLLIN); !ready) return error(ready.message());
  return inner_.read(buffer, size);
}

// Only waiting for room is bounded by the deadline: a socket with room takes
// the bytes even past it, so a peer that timed out still gets its reply.
Status DeadlineStream::write(std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(inner_.fd(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(n));
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return system_error(errno);
    if (auto ready = wait(POLLOUT); !ready) return ready;
  }
  return done();
}

}  // namespace velmora
