// The 16-bit input word of one slot for one tick.
#pragma once

#include <cstdint>

namespace velmora {

using Buttons = std::uint16_t;

namespace button {
inline constexpr Buttons left = 1;
inline constexpr Buttons right = 2;
inline constexpr Buttons down = 4;
inline constexpr Buttons up = 8;
inline constexpr Buttons attack = 16;
inline constexpr Buttons jump = 32;
inline constexpr Buttons guard = 64;
inline constexpr Buttons dash = 128;
inline constexpr Buttons use = 256;
inline constexpr Buttons special = 512;
inline constexpr Buttons quick = 1024;
inline constexpr Buttons quick_next = 2048;
inline constexpr Buttons quick_previous = 4096;
inline constexpr int art_shift = 13;  // bits 13-15: special number 1-7, 0 none
}  // namespace button

// The special number a word selects (0 none).
constexpr int art_of(Buttons b) { return b >> button::art_shift; }

}  // namespace velmora
