// The online server's session threads: one accepts connections, one per
// connection reads its lines. They only read sockets and send events to the
// loop; every write to a connection is the loop's.
#pragma once

#include <cstdint>
#include <memory>

#include "server/online/online_channel.h"
#include "web/sockets.h"
#include "web/threads.h"

namespace velmora {

// Thread body: accepts connections until the channel is closed and the
// listener interrupted. Each accepted connection gets the next key (failed
// attempts use one too), its loop handle is sent as a new connection and a
// reader thread reads a second handle. A connection whose reader cannot start
// is ended at once (the loop closes it) and counted in a log line at most
// once a second; the loop goes on. The readers are joined before this returns.
void session_accept_loop(Listener& listener, EventChannel& channel, ThreadSpawner& threads, LogLine log);

// Thread body: sends every line of the stream (at most a request line long,
// valid UTF-8) to the loop, the first as the join request read from it, then
// drops its own handle and sends the end of the connection. A longer line is
// reported to the loop, which answers it, and ends the reading; a line that
// is not UTF-8 ends it without a word.
void session_reader(std::unique_ptr<Stream> stream, std::uint64_t key, EventChannel& channel);

}  // namespace velmora
