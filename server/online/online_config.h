// The online server's settings, taken from the command line.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "server/service/protocol_numbers.h"

namespace velmora {

struct OnlineConfig {
  std::string bind;
  std::string opening;
  std::optional<std::string> replays;
  std::chrono::seconds idle{600};
  std::chrono::seconds away{30};
  std::uint32_t speed = 1;
  std::uint16_t port = default_port;
  std::optional<std::uint16_t> metrics_port;
  bool agones = false;
  bool dev = false;
};

}  // namespace velmora
