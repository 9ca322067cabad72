// The scripted bot client's settings, taken from the command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmora {

struct GotoAt {
  std::uint64_t tick = 0;
  std::string area;
  bool operator==(const GotoAt&) const = default;
};

struct ScriptConfig {
  std::optional<std::uint64_t> drop_at;
  std::optional<GotoAt> goto_at;
  std::uint64_t ticks = 1200;
  bool swaps = false;
  bool bye = false;
};

}  // namespace velmora
