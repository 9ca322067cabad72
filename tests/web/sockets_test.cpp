// The sockets over loopback: a TCP and UDP pair on one port number.
#include <gtest/gtest.h>

#include "web/sockets.h"

namespace velmora {
namespace {

// With port 0 a pick whose UDP side another socket holds is given up for a
// new one, up to the limit of tries; a given port fails at once.
TEST(Sockets, PortZeroTriesAnotherPickWhenItsUdpSideIsTaken) {
  std::vector<std::unique_ptr<UdpSocket>> held;
  std::vector<std::uint16_t> tried;
  std::size_t taken = 1;  // how many picks someone else's UDP socket holds
  const UdpBind held_first = [&](const std::string& host, std::uint16_t port) {
    tried.push_back(port);
    if (held.size() < taken) held.push_back(std::move(bind_udp(host, port).value()));
    return bind_udp(host, port);
  };
  auto ports = bind_port_pair("127.0.0.1", 0, held_first);
  ASSERT_TRUE(ports) << ports.message();
  EXPECT_GE(tried.size(), 2u);
  EXPECT_NE(ports->listener->port(), tried.front());
  EXPECT_EQ(ports->udp->port(), ports->listener->port());

  const std::string in_use = ": Address already in use";
  tried.clear();
  auto given = bind_port_pair("127.0.0.1", held.front()->port(), held_first);
  ASSERT_FALSE(given);
  EXPECT_EQ(given.message(), "cannot bind udp 127.0.0.1:" + std::to_string(held.front()->port()) + in_use);
  EXPECT_EQ(tried.size(), 1u);

  held.clear();
  tried.clear();
  taken = 1000;
  auto never = bind_port_pair("127.0.0.1", 0, held_first);
  ASSERT_FALSE(never);
  EXPECT_EQ(tried.size(), static_cast<std::size_t>(port_pair_tries));
  EXPECT_EQ(never.message(), "cannot bind udp 127.0.0.1:" + std::to_string(tried.back()) + in_use);
}

}  // namespace
}  // namespace velmora
