// Signed 32-bit fixed-point numbers with 8 fraction bits (256 is 1.0).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velmora {

struct Fx {
  std::int32_t raw = 0;

  static constexpr Fx from_raw(std::int32_t raw) { return Fx{raw}; }
  // n × 256, cut to 32 bits.
  static constexpr Fx from_int(std::int32_t n) {
    return Fx{static_cast<std::int32_t>(static_cast<std::uint32_t>(n) << 8)};
  }
  // The whole part, rounded toward minus infinity (an arithmetic shift).
  constexpr std::int32_t floor_int() const { return raw >> 8; }

  constexpr bool operator==(const Fx&) const = default;
  constexpr auto operator<=>(const Fx&) const = default;
};

// Reads a whole number, a decimal ("0.75") or a ratio ("3/4"); none otherwise.
std::optional<Fx> parse_fx(std::string_view text);

}  // namespace velmora
