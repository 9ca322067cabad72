// A script of session lines, datagrams and loop passes goes to an online
// server on fake sockets and a fake clock. Each script line is one step:
//   oK          a connection opens from address K (none when K is absent)
//   cK TEXT     connection K's first line is "connect 2 DATA_HASH" and TEXT,
//               read as its reader reads it
//   lK TEXT     connection K sends the line TEXT (read word by word, the
//               words must be those the whole line splits into)
//   eK          connection K ends
//   tK          connection K sends a line past the request line cap
//   dS BYTES    a datagram from address S; "#" as the first byte puts the
//               session id of slot S in front of the bytes
//   p           one loop pass
// It must never crash, and the sessions and slots must stay consistent and
// within their bounds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "server/online/online_protocol.h"
#include "server/online/online_sessions.h"

namespace {

using namespace velmora;

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

struct FakeDatagrams final : velmora::Datagrams {
  explicit FakeDatagrams(FakeClock& clock) : clock(clock) {}
  Result<std::size_t> receive(std::span<char> buffer, SocketAddress& from, std::chrono::nanoseconds wait) override {
    if (inbox.empty()) {
      clock.advance(wait);
      return error("timed out");
    }
    const std::size_t n = std::min(inbox.front().size(), buffer.size());
    inbox.front().copy(buffer.data(), n);
    inbox.pop_front();
    from = loopback_address(9);
    return n;
  }
  Status send_to(std::string_view, const SocketAddress&) override { return done(); }
  FakeClock& clock;
  std::deque<std::string> inbox;
};

struct Sink final : Stream {
  explicit Sink(std::optional<SocketAddress> from) : from(from) {}
  Result<std::size_t> read(char*, std::size_t) override { return std::size_t{0}; }
  Status write(std::string_view) override { return done(); }
  Result<std::size_t> write_some(std::string_view bytes) override { return bytes.size() / 2; }
  void close() override {}
  std::optional<SocketAddress> peer_address() const override { return from; }
  std::optional<SocketAddress> from;
};

// The address connection K comes from: eight, of five origins (an IPv4
// address also as IPv4-mapped IPv6, two IPv6 in one /64).
const SocketAddress& address(std::uint64_t k) {
  static const std::vector<SocketAddress> table = [] {
    std::vector<SocketAddress> out;
    for (const char* text : {"127.0.0.1:1", "127.0.0.1:2", "[::ffff:127.0.0.1]:3", "[::ffff:127.0.0.1]:4",
                             "[2001:db8::4]:5", "[2001:db8::5]:6", "10.0.0.6:7", "10.0.0.7:8"}) {
      out.push_back(socket_address(resolve_stream_address(text).value().front()));
    }
    return out;
  }();
  return table.at(k);
}

struct Quiet final : OnlineHooks {
  void log_info(std::string_view) override {}
  void log_error(std::string_view) override {}
  std::uint64_t new_session_id() override { return ++id; }
  std::uint64_t id = 0;
};

void check(const OnlineServer& server) {
  if (server.sessions.size() > max_unjoined_sessions + slot_count) fail("too many sessions");
  std::map<PeerOrigin, std::size_t> unjoined;
  for (const auto& [key, session] : server.sessions) {
    if (session.state == OnlineSession::State::connected && ++unjoined[session.origin] > max_unjoined_per_address) {
      fail("too many unjoined connections from one address");
    }
    if (session.outbound.size() - session.sent > max_session_backlog) fail("a backlog past its cap");
    if (session.state != OnlineSession::State::joined) continue;
    const SlotEntry& e = server.slots.slots.at(session.slot);
    if (!e.occupied || e.occupant != session.session_id) fail("a joined session without its slot");
  }
}

// The cursor that reads a connection's first line finds the words that
// splitting the whole line finds, in order.
void check_words(std::string_view text) {
  WordCursor cursor(text);
  for (const std::string_view word : split_words(text)) {
    if (cursor.next() != word) fail("the word cursor and split_words differ");
  }
  if (!cursor.at_end()) fail("the word cursor finds a word past the last");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FakeClock clock;
  FakeDatagrams udp(clock);
  Quiet hooks;
  OnlineConfig config;
  config.opening = "new 1 2";
  config.dev = true;
  auto server = open_online_game(config, config.opening, OnlineEnv{clock, udp, real_disk(), hooks});
  if (!server) fail("no game");
  EventChannel channel(event_channel_capacity);
  const std::string hash = hex16(game_data().data_hash);
  std::uint64_t next_key = 0;
  int passes = 0;
  for_each_line(std::string_view(reinterpret_cast<const char*>(data), size), [&](std::uint64_t, std::string_view step) {
    if (step.empty() || server->stopped) return;
    const char op = step[0];
    const std::uint64_t key = step.size() > 1 ? static_cast<std::uint8_t>(step[1]) % 8 : 0;
    const std::string_view rest = step.size() > 2 ? step.substr(2) : std::string_view();
    if (op == 'o') {
      const auto from = step.size() > 1 ? std::optional(address(key)) : std::nullopt;
      handle_server_event(*server, NewConnection{next_key++, std::make_unique<Sink>(from)});
    }
    if (op == 'c') {
      handle_server_event(*server, JoinRequest{key, read_connect("connect 2 " + hash + std::string(rest))});
    }
    if (op == 'l') {
      check_words(rest);
      handle_server_event(*server, ConnectionLine{key, std::string(rest)});
    }
    if (op == 'e') handle_server_event(*server, ConnectionEnd{key});
    if (op == 't') handle_server_event(*server, LineTooLong{key});
    if (op == 'd') {
      std::string bytes(rest);
      if (!bytes.empty() && bytes[0] == '#') {
        const std::uint64_t id = server->slots.slots[key % slot_count].occupant;
        bytes.replace(0, 1, std::string(reinterpret_cast<const char*>(&id), 8));
      }
      udp.inbox.push_back(std::move(bytes));
    }
    if (op == 'p' && passes++ < 200) online_pass(*server, channel);
    check(*server);
  });
  return 0;
}
