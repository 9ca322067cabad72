// The impairment relay: its delay lines give the figures they are set to,
// the same for the same seed, and the relay over loopback keeps clients
// apart, delays and drops datagrams as set, and keeps every stream byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "tests/support/peers.h"
#include "tools/relay.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;

// ---- The delay lines, on a made-up clock ----

struct LineRun {
  std::uint64_t sent = 0;
  std::set<std::uint64_t> arrived;
  std::uint64_t copies = 0;
  std::uint64_t out_of_order = 0;
  std::vector<Nanos> delays;
  std::vector<std::uint64_t> order;

  double mean_ms() const {
    if (delays.empty()) return 0;
    Nanos sum{0};
    for (Nanos d : delays) sum += d;
    return static_cast<double>(sum.count()) / static_cast<double>(delays.size()) / 1e6;
  }
  double percent(std::uint64_t n, std::uint64_t of) const { return 100.0 * static_cast<double>(n) / static_cast<double>(of); }
};

// Datagrams at 60 a second, the line looked at whenever something is due.
LineRun run_line(const Impairment& impairment, std::uint64_t seed, std::uint64_t count) {
  DatagramLine line(impairment, seed);
  LineRun run;
  const Nanos period = 16'666'667ns;
  Nanos next_send{0};
  std::uint64_t highest = 0;
  for (Nanos now{0}; run.sent < count || line.next_due();) {
    const auto due = line.next_due();
    now = run.sent < count && (!due || next_send <= *due) ? next_send : *due;
    if (run.sent < count && now >= next_send) {
      line.push(now, std::to_string(++run.sent), 0);
      next_send += period;
    }
    for (const Datagram& d : line.take_due(now)) {
      const std::uint64_t seq = std::stoull(d.bytes);
      run.order.push_back(seq);
      if (run.arrived.contains(seq)) {
        ++run.copies;
      } else if (seq < highest) {
        ++run.out_of_order;
      }
      run.arrived.insert(seq);
      highest = std::max(highest, seq);
      run.delays.push_back(now - d.sent);
    }
  }
  return run;
}

struct LineRow {
  const char* name;
  Impairment impairment;
  double lost_percent;
  double copies_percent;
  double out_of_order_percent;
  double mean_ms;
  double min_ms;  // the least delay seen may not be below this
  double max_ms;  // nor the greatest above this
};

TEST(Relay, DatagramLinesGiveTheFiguresTheyAreSetTo) {
  const LineRow rows[] = {
      {"clean", {}, 0, 0, 0, 0, 0, 0},
      {"delay", {50ms, 0ms, 0, 0, 0}, 0, 0, 0, 50, 50, 50},
      {"jitter", {50ms, 15ms, 0, 0, 0}, 0, 0, -1, 50, 35, 65},
      {"loss", {20ms, 0ms, 500, 0, 0}, 5, 0, 0, 20, 20, 20},
      // A held datagram goes a period later: 5 % of 16.7 ms on the mean.
      {"reorder", {20ms, 0ms, 0, 500, 0}, 0, 0, 5, 20.8, 20, 20 + 17},
      {"duplicate", {20ms, 0ms, 0, 0, 1000}, 0, 10, 0, 20, 20, 20},
      {"all", {50ms, 15ms, 500, 500, 100}, 5, 1, -1, 50.8, 35, 65 + 17 + 30},
  };
  for (const LineRow& row : rows) {
    SCOPED_TRACE(row.name);
    const LineRun run = run_line(row.impairment, 7, 20000);
    const std::uint64_t lost = run.sent - run.arrived.size();
    EXPECT_NEAR(run.percent(lost, run.sent), row.lost_percent, 0.6);
    EXPECT_NEAR(run.percent(run.copies, run.arrived.size()), row.copies_percent, 0.6);
    // Jitter reorders too, so rows with jitter do not count reordering.
    if (row.out_of_order_percent >= 0) {
      EXPECT_NEAR(run.percent(run.out_of_order, run.arrived.size()), row.out_of_order_percent, 0.6);
    }
    EXPECT_NEAR(run.mean_ms(), row.mean_ms, 0.6);
    const auto [least, most] = std::minmax_element(run.delays.begin(), run.delays.end());
    EXPECT_GE(static_cast<double>(least->count()) / 1e6, row.min_ms);
    EXPECT_LE(static_cast<double>(most->count()) / 1e6, row.max_ms + 0.01);
  }
}

TEST(Relay, DatagramLinesRepeatForASeedAndHoldLittle) {
  const Impairment rough{50ms, 15ms, 500, 500, 100};
  EXPECT_EQ(run_line(rough, 3, 2000).order, run_line(rough, 3, 2000).order);
  EXPECT_NE(run_line(rough, 3, 2000).order, run_line(rough, 4, 2000).order);

  // A datagram held back for reordering with nothing after it still goes.
  DatagramLine held({10ms, 0ms, 0, 10000, 0}, 1);
  held.push(0ms, "only", 0);
  EXPECT_EQ(held.next_due(), 10ms + reorder_hold_limit);
  EXPECT_TRUE(held.take_due(59ms).empty());
  ASSERT_EQ(held.take_due(60ms).size(), 1u);
  EXPECT_EQ(held.counts().reordered, 1u);

  // A line never holds more than its cap.
  DatagramLine full({1000ms, 0ms, 0, 0, 0}, 1);
  for (std::size_t i = 0; i < max_waiting_datagrams + 10; ++i) full.push(0ms, "x", 0);
  EXPECT_EQ(full.counts().overflowed, 10u);
  EXPECT_EQ(full.take_due(1000ms).size(), max_waiting_datagrams);
}

TEST(Relay, SettingsReadPercentsAndEachWay) {
  const std::pair<const char*, std::optional<std::uint32_t>> percents[] = {
      {"5", 500},      {"2.5", 250},      {"0.25", 25},       {"100", 10000}, {"+1", 100},
      {"100.01", {}},  {"1.234", {}},     {".5", {}},         {"5.", {}},     {"x", {}},
      {"-1", {}},      {"", {}},          {"1.x", {}},
  };
  for (const auto& [text, want] : percents) EXPECT_EQ(parse_percent(text), want) << text;

  ImpairmentSettings s;
  ASSERT_TRUE(set_impairment(s, "delay", "50/80"));
  ASSERT_TRUE(set_impairment(s, "jitter", "15"));
  ASSERT_TRUE(set_impairment(s, "loss", "5"));
  ASSERT_TRUE(set_impairment(s, "reorder", "0/2.5"));
  ASSERT_TRUE(set_impairment(s, "duplicate", "1"));
  EXPECT_EQ(s.up, (Impairment{50ms, 15ms, 500, 0, 100}));
  EXPECT_EQ(s.down, (Impairment{80ms, 15ms, 500, 250, 100}));
  EXPECT_EQ(set_impairment(s, "delay", "fast").message(), "bad value for --delay: fast");
  EXPECT_EQ(set_impairment(s, "loss", "5/").message(), "bad value for --loss: 5/");
  EXPECT_EQ(set_impairment(s, "lag", "5").message(), "unknown option --lag");
  EXPECT_FALSE(set_impairment(s, "delay", "60001"));
}

// ---- The relay over loopback, with plain peers on one thread ----

// A server's port: a TCP listener and a UDP socket on the same number.
struct PlainServer {
  PlainServer() {
    listener = std::move(listen_tcp("127.0.0.1", 0).value());
    udp = std::move(bind_udp("127.0.0.1", listener->port()).value());
  }
  std::unique_ptr<TcpListener> listener;
  std::unique_ptr<UdpSocket> udp;
};

std::unique_ptr<Relay> relay_to(const PlainServer& server, const ImpairmentSettings& impairment) {
  RelayConfig config;
  config.server_port = server.listener->port();
  config.impairment = impairment;
  return std::move(Relay::open(config, real_clock()).value());
}

Nanos now() { return real_clock().monotonic(); }

std::string stamped(std::uint64_t client, std::uint64_t seq) {
  return std::to_string(client) + " " + std::to_string(seq) + " " + std::to_string(now().count());
}

TEST(Relay, DatagramsKeepTheirClientsAndShowTheSettings) {
  PlainServer server;
  ImpairmentSettings impairment;
  impairment.up = {30ms, 5ms, 1000, 0, 0};
  impairment.down = {10ms, 5ms, 1000, 0, 0};
  auto relay = relay_to(server, impairment);
  const SocketAddress relay_address = loopback_address(relay->port());
  std::vector<std::unique_ptr<UdpSocket>> clients;
  for (int i = 0; i < 2; ++i) clients.push_back(std::move(bind_udp("127.0.0.1", 0).value()));

  std::map<std::uint64_t, std::set<std::string>> sources;  // client -> the addresses the server saw
  std::uint64_t at_server = 0;
  std::uint64_t echoes = 0;
  std::vector<double> round_trips_ms;
  const std::uint64_t per_client = 500;
  std::uint64_t sent = 0;
  char buffer[2048];
  const Nanos end_of_sending = now() + 1100ms;
  for (Nanos next_send = now(); now() < end_of_sending + 200ms;) {
    if (sent < per_client && now() >= next_send) {
      ++sent;
      for (std::uint64_t c = 0; c < clients.size(); ++c) ASSERT_TRUE(clients[c]->send_to(stamped(c, sent), relay_address));
      next_send += 2ms;
    }
    relay->pass(1ms);
    SocketAddress from;
    while (auto n = server.udp->receive(buffer, from, 0ns)) {
      const std::string text(buffer, *n);
      ++at_server;
      sources[std::stoull(text)].insert(std::string(reinterpret_cast<const char*>(&from.storage), from.size));
      ASSERT_TRUE(server.udp->send_to(text, from));
    }
    for (std::uint64_t c = 0; c < clients.size(); ++c) {
      while (auto n = clients[c]->receive(buffer, from, 0ns)) {
        const std::string text(buffer, *n);
        ASSERT_EQ(std::stoull(text), c) << "an echo reached the wrong client";
        ++echoes;
        const auto sent_ns = std::stoll(text.substr(text.rfind(' ') + 1));
        round_trips_ms.push_back(static_cast<double>(now().count() - sent_ns) / 1e6);
      }
    }
  }
  ASSERT_EQ(sent, per_client);
  // The server sees each client from one address of its own.
  ASSERT_EQ(sources.size(), 2u);
  EXPECT_EQ(sources[0].size(), 1u);
  EXPECT_EQ(sources[1].size(), 1u);
  EXPECT_NE(*sources[0].begin(), *sources[1].begin());
  EXPECT_EQ(relay->clients(), 2u);
  // 10 % lost each way.
  const double total = 2.0 * per_client;
  EXPECT_NEAR(static_cast<double>(at_server) / total, 0.90, 0.04);
  EXPECT_NEAR(static_cast<double>(echoes) / total, 0.81, 0.05);
  EXPECT_EQ(relay->up().sent, 2 * per_client);
  EXPECT_EQ(relay->up().lost + relay->up().delivered, 2 * per_client);
  // 30 ± 5 ms there and 10 ± 5 back, plus what the passes add.
  ASSERT_FALSE(round_trips_ms.empty());
  double sum = 0;
  for (double ms : round_trips_ms) sum += ms;
  // A busy machine may add to the greatest, never take from the least.
  EXPECT_NEAR(sum / static_cast<double>(round_trips_ms.size()), 40.0, 4.0);
  EXPECT_GE(*std::min_element(round_trips_ms.begin(), round_trips_ms.end()), 30.0);
  EXPECT_LE(*std::max_element(round_trips_ms.begin(), round_trips_ms.end()), 80.0);
}

// Moves bytes between a plain peer's stream and its buffers without waiting.
struct Peer {
  explicit Peer(std::unique_ptr<SocketStream> s) : stream(std::move(s)) {}
  std::unique_ptr<SocketStream> stream;
  std::string to_send;
  std::string received;
  bool ended = false;
  bool sent_end = false;
  bool end_after_sending = false;

  void step() {
    if (!to_send.empty()) {
      auto n = stream->write_some(to_send);
      ASSERT_TRUE(n);
      to_send.erase(0, *n);
    }
    if (to_send.empty() && end_after_sending && !sent_end) {
      shutdown_sending(stream->fd());
      sent_end = true;
    }
    pollfd p{stream->fd(), POLLIN, 0};
    while (!ended && wait_for_sockets(std::span(&p, 1), 0ms) > 0) {
      char buffer[65536];
      auto n = stream->read(buffer, sizeof buffer);
      ASSERT_TRUE(n);
      if (*n == 0) ended = true;
      received.append(buffer, *n);
    }
  }
};

std::string pattern(std::size_t size, std::uint64_t seed) {
  Rng rng = Rng::from_seed(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(rng.next() & 0xff);
  return bytes;
}

TEST(Relay, StreamsKeepEveryByteInOrderAndTheirEnds) {
  PlainServer server;
  ImpairmentSettings impairment;
  impairment.up = {30ms, 0ms, 5000, 5000, 5000};  // streams take the delay alone
  impairment.down = {10ms, 0ms, 5000, 5000, 5000};
  auto relay = relay_to(server, impairment);

  Peer client(std::move(connect_tcp("127.0.0.1", relay->port(), 1000ms).value()));
  relay->pass(10ms);  // takes the connection and opens its way to the server
  Peer far(std::move(accept_socket(*server.listener).value()));
  ASSERT_EQ(relay->streams(), 1u);

  // A first line, timed on its way through.
  const Nanos start = now();
  client.to_send = "hello\n";
  while (far.received.empty()) {
    client.step();
    relay->pass(1ms);
    far.step();
    ASSERT_LT(now() - start, 1s);
  }
  EXPECT_GE(now() - start, 30ms);
  EXPECT_LT(now() - start, 45ms);

  // Then a lot both ways; the client ends its side first, the server answers
  // the end by sending its last bytes and closing.
  const std::string up = pattern(std::size_t{3} << 20, 1);
  const std::string down = pattern(std::size_t{2} << 20, 2);
  client.to_send = up;
  client.end_after_sending = true;
  far.to_send = down;
  while (!client.ended || !far.ended) {
    client.step();
    relay->pass(1ms);
    far.step();
    if (far.ended && !far.sent_end) {
      far.to_send += "refused the game is full\n";
      far.end_after_sending = true;
    }
    ASSERT_LT(now() - start, 20s);
  }
  EXPECT_TRUE(far.received == "hello\n" + up) << "the upward stream was changed";
  EXPECT_TRUE(client.received == down + "refused the game is full\n") << "the downward stream was changed";
  for (int i = 0; i < 5 && relay->streams() > 0; ++i) relay->pass(1ms);
  EXPECT_EQ(relay->streams(), 0u);
}

// The program's own command line: --help prints the usage on standard
// output and succeeds; a bad argument names itself, then the usage.
TEST(Relay, HelpPrintsTheUsageAndABadArgumentIsAnError) {
  const std::string usage =
      "velmora-relay --to PORT [--port N] [--seed N] [--delay MS] [--jitter MS] "
      "[--loss PCT] [--reorder PCT] [--duplicate PCT]\n";
  const testing::Finished help = testing::run_to_end({VELMORA_RELAY_BINARY, "--to", "9", "--help"}, {});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.output, usage);
  const testing::Finished bad = testing::run_to_end({VELMORA_RELAY_BINARY, "--to"}, {});
  EXPECT_EQ(bad.status, 2);
  EXPECT_EQ(bad.output, "bad argument --to\n" + usage);
}

}  // namespace
}  // namespace velmora
