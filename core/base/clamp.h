// Clamping and saturating helpers for the simulation. None of them can fail
// or overflow, whatever the data: a bound pair in the wrong order, a product
// of two large values or a counter at its top all give a defined result.
#pragma once

#include <cstdint>
#include <limits>

#include "core/base/fx.h"

namespace velmora {

// v limited to [low, high]. When low > high the range is empty and low wins,
// so a stage narrower than its view puts the camera at half the view.
template <class T>
constexpr T clamp_value(T v, T low, T high) {
  if (v > high) v = high;
  if (v < low) v = low;
  return v;
}

// A 64-bit value stored into a narrower field: the nearest value of the field.
constexpr std::int32_t saturate_i32(std::int64_t v) {
  return static_cast<std::int32_t>(
      clamp_value<std::int64_t>(v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

constexpr std::uint32_t saturate_u32(std::int64_t v) {
  return static_cast<std::uint32_t>(clamp_value<std::int64_t>(v, 0, std::numeric_limits<std::uint32_t>::max()));
}

constexpr std::uint16_t saturate_u16(std::int64_t v) {
  return static_cast<std::uint16_t>(clamp_value<std::int64_t>(v, 0, std::numeric_limits<std::uint16_t>::max()));
}

// a × b, held at the ends of the 64-bit range instead of overflowing.
constexpr std::int64_t saturating_mul64(std::int64_t a, std::int64_t b) {
  std::int64_t product = 0;
  if (!__builtin_mul_overflow(a, b, &product)) return product;
  return ((a < 0) != (b < 0)) ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

// a + b, held at the ends of the 64-bit range instead of overflowing.
constexpr std::int64_t saturating_add64(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b < 0 ? std::numeric_limits<std::int64_t>::min() : std::numeric_limits<std::int64_t>::max();
}

// Tick counters stop at their top instead of wrapping to 0.
constexpr std::uint16_t saturating_add16(std::uint16_t counter, std::uint32_t step) {
  return saturate_u16(static_cast<std::int64_t>(counter) + step);
}

// One step of a countdown that rests at 0.
constexpr std::uint16_t count_down(std::uint16_t counter) {
  return counter > 0 ? static_cast<std::uint16_t>(counter - 1) : std::uint16_t{0};
}

// Whole centimetres as an Fx position; values beyond the Fx range are held at
// its ends instead of wrapping.
constexpr Fx fx_from_cm(std::int64_t cm) {
  constexpr std::int64_t low = std::numeric_limits<std::int32_t>::min() / 256;
  constexpr std::int64_t high = std::numeric_limits<std::int32_t>::max() / 256;
  return Fx::from_raw(static_cast<std::int32_t>(clamp_value(cm, low, high) * 256));
}

}  // namespace velmora
