#include "server/online/online_transport.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "core/base/text.h"
#include "server/online/online_protocol.h"
#include "server/service/local_server.h"

namespace velmora {

namespace {

// Where the readers' threads come from, and the count of those that could not start.
struct SessionSpawn {
  ThreadSpawner& threads;
  RefusedThreads refused;
};

// A reader thread and whether it has finished, so that finished readers are
// joined as the server goes on rather than piling up.
struct Reader {
  Thread thread;
  std::shared_ptr<std::atomic<bool>> finished;
};

void join_finished(std::vector<Reader>& readers) {
  std::erase_if(readers, [](Reader& r) {
    if (!r.finished->load()) return false;
    r.thread.join();
    return true;
  });
}

// Hands one accepted connection to the loop and starts its reader. Without a
// reader the loop is told at once that the connection ended, and closes it.
void start_session(std::unique_ptr<Stream> stream, std::uint64_t key, EventChannel& channel, SessionSpawn& spawn,
                   std::vector<Reader>& readers) {
  auto reading = stream->duplicate();
  if (!reading) {
    stream->close();
    return;
  }
  std::unique_ptr<Stream> reader_stream = std::move(*reading);
  if (!channel.send(NewConnection{key, std::move(stream)})) {
    reader_stream->close();
    return;
  }
  auto finished = std::make_shared<std::atomic<bool>>(false);
  auto reader = start_thread(
      [s = std::move(reader_stream), key, &channel, finished]() mutable {
        session_reader(std::move(s), key, channel);
        finished->store(true);
      },
      connection_stack_bytes, spawn.threads);
  if (!reader) {
    (void)channel.send(ConnectionEnd{key});
    spawn.refused.closed(reader.message());
    return;
  }
  spawn.refused.started();
  readers.push_back(Reader{std::move(*reader), std::move(finished)});
}

}  // namespace

void session_accept_loop(Listener& listener, EventChannel& channel, ThreadSpawner& threads, LogLine log) {
  SessionSpawn spawn{threads, RefusedThreads("session", std::move(log))};
  std::vector<Reader> readers;
  std::uint64_t key = 0;
  while (!channel.closed()) {
    auto accepted = listener.accept();
    const std::uint64_t this_key = key++;
    if (!accepted) {
      // Out of descriptors, say: try again after a pause, never spin.
      if (!channel.closed()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      continue;
    }
    start_session(std::move(*accepted), this_key, channel, spawn, readers);
    join_finished(readers);
  }
  for (Reader& r : readers) r.thread.join();
}

void session_reader(std::unique_ptr<Stream> stream, std::uint64_t key, EventChannel& channel) {
  LineReader reader(*stream, max_request_line);
  std::string line;
  for (bool first = true;; first = false) {
    const LineReader::Outcome outcome = reader.next(line);
    // The loop answers an over-long line before it closes the connection.
    if (outcome == LineReader::Outcome::too_long) (void)channel.send(LineTooLong{key});
    if (outcome != LineReader::Outcome::line || !valid_utf8(line)) break;
    // The first line decides whether the connection joins: read here, so
    // that its text never reaches the loop.
    const bool sent =
        first ? channel.send(JoinRequest{key, read_connect(line)}) : channel.send(ConnectionLine{key, line});
    if (!sent) break;
  }
  // Only this handle goes: the loop may still be writing its last lines on
  // its own, and shuts the connection down when it closes the session.
  stream.reset();
  (void)channel.send(ConnectionEnd{key});
}

}  // namespace velmora
