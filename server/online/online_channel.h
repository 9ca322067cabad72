// The one road from the session threads to the online server's loop: the
// events that travel on its channel.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>

#include "core/base/result.h"
#include "web/channel.h"
#include "web/sockets.h"

namespace velmora {

// A connection was accepted: the loop's handle, for writing.
struct NewConnection {
  std::uint64_t key = 0;
  std::unique_ptr<Stream> stream;
};

// What a "connect" line asks for, once it passes the checks before the slot choice.
struct ConnectWish {
  std::optional<std::size_t> slot;
  std::optional<std::uint64_t> session;
};

// The first line of a connection (the one that decides whether it joins),
// read by its reader only as far as the join rules look: what it asks for, or
// its refusal. The loop never sees, nor frees, the text of a line from a
// peer that has not joined, so a long one costs it no more than a short one.
struct JoinRequest {
  std::uint64_t key = 0;
  Result<ConnectWish> wish;
};

// A later line of a connection, without its line end.
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

using ServerEvent = std::variant<NewConnection, JoinRequest, ConnectionLine, LineTooLong, ConnectionEnd>;
using EventChannel = Channel<ServerEvent>;

// Events waiting at most: with request lines of at most 64 KiB (and those of
// peers that have not joined never in it) this bounds what the session
// threads can hold in the channel.
inline constexpr std::size_t event_channel_capacity = 256;

}  // namespace velmora
