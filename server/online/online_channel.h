// The one road from the session threads to the online server's loop: the
// events that travel on its channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>

#include "web/channel.h"
#include "web/sockets.h"

namespace velmora {

// A connection was accepted: the loop's handle, for writing.
struct NewConnection {
  std::uint64_t key = 0;
  std::unique_ptr<Stream> stream;
};

// One line of a connection, without its line end.
struct ConnectionLine {
  std::uint64_t key = 0;
  std::string text;
};

// The connection sent a line longer than a request line may be; its reader
// reads no more, and the end of the connection follows.
struct LineTooLong {
  std::uint64_t key = 0;
};

// The connection ended (its reader has closed its own handle).
struct ConnectionEnd {
  std::uint64_t key = 0;
};

using ServerEvent = std::variant<NewConnection, ConnectionLine, LineTooLong, ConnectionEnd>;
using EventChannel = Channel<ServerEvent>;

// Events waiting at most: with request lines of at most 64 KiB this bounds
// what the session threads can hold in the channel.
inline constexpr std::size_t event_channel_capacity = 256;

}  // namespace velmora
