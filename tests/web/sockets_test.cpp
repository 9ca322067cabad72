// The sockets over loopback: a TCP and UDP pair on one port number.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "web/sockets.h"

namespace velmora {
namespace {

// UDP ports that someone else holds, by a rule: a bind of one fails as in
// use, and the system's own pick (port 0) never lands on one, as the kernel
// skips taken ports.
struct HeldUdp {
  std::function<bool(std::uint16_t)> held;
  std::vector<std::uint16_t> asked;
  Result<std::unique_ptr<UdpSocket>> operator()(const std::string& host, std::uint16_t port) {
    asked.push_back(port);
    if (port != 0 && held(port)) return error(std::strerror(EADDRINUSE));
    if (port != 0) return bind_udp(host, port);
    std::vector<std::unique_ptr<UdpSocket>> skipped;  // kept open so that the next pick differs
    for (int i = 0; i < 64; ++i) {
      auto picked = bind_udp(host, 0);
      if (!picked || !held((*picked)->port())) return picked;
      skipped.push_back(std::move(*picked));
    }
    return error(std::strerror(EADDRINUSE));
  }
};

// With port 0, picks whose other side is taken are given up for new ones,
// TCP and UDP picking in turn, so that a taken parity cannot starve the
// start; a given port fails at once; all taken ends after the limit of picks.
TEST(Sockets, PortZeroFindsAPairWhateverParityIsTaken) {
  const std::string in_use = std::string(": ") + std::strerror(EADDRINUSE);
  std::size_t first_asked = 0;
  struct Row {
    const char* name;
    std::function<bool(std::uint16_t)> held;
  };
  const Row rows[] = {
      {"the first pick's UDP side", [&](std::uint16_t) { return first_asked++ == 0; }},
      {"every odd UDP port", [](std::uint16_t p) { return p % 2 == 1; }},
      {"every even UDP port", [](std::uint16_t p) { return p % 2 == 0; }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HeldUdp udp{row.held, {}};
    auto ports = bind_port_pair("127.0.0.1", 0, std::ref(udp));
    ASSERT_TRUE(ports) << ports.message();
    EXPECT_EQ(ports->udp->port(), ports->listener->port());
    EXPECT_FALSE(row.held(ports->udp->port()));
  }

  HeldUdp all{[](std::uint16_t) { return true; }, {}};
  auto given = bind_port_pair("127.0.0.1", 7000, std::ref(all));
  ASSERT_FALSE(given);
  EXPECT_EQ(given.message(), "cannot bind udp 127.0.0.1:7000" + in_use);
  EXPECT_EQ(all.asked.size(), 1u);
  all.asked.clear();
  auto never = bind_port_pair("127.0.0.1", 0, std::ref(all));
  ASSERT_FALSE(never);
  EXPECT_EQ(all.asked.size(), static_cast<std::size_t>(port_pair_tries));
  EXPECT_EQ(never.message(), "cannot bind udp 127.0.0.1:0" + in_use);  // the last pick was UDP's
}

}  // namespace
}  // namespace velmora
