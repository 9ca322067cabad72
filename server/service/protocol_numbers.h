// The numbers a front end and the program agree on: the local line server's
// default port, and the number of the online protocol that "hello" and
// --versions report and that a client names in "connect".
#pragma once

#include <cstdint>

namespace velmora {

inline constexpr std::uint16_t default_port = 7790;
inline constexpr std::uint32_t online_protocol = 2;

}  // namespace velmora
