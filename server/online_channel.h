// The one road from the session threads to the online server's loop: a
// bounded channel of values, and the events that travel on it.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>

#include "web/sockets.h"

namespace velmora {

// A queue between threads. Senders wait while it is full, so a peer that
// floods the server is slowed at its own socket instead of filling memory.
// The server's loop never waits on it; the client may wait for a value with a
// time-out. Closing wakes every sender and waiting receiver; later sends fail,
// and what was sent before can still be taken.
template <class T>
class Channel {
 public:
  explicit Channel(std::size_t capacity) : capacity_(capacity == 0 ? 1 : capacity) {}

  // False once the channel is closed (the value is dropped then).
  bool send(T value) {
    std::unique_lock lock(mutex_);
    room_.wait(lock, [&] { return closed_ || queue_.size() < capacity_; });
    if (closed_) return false;
    queue_.push_back(std::move(value));
    ready_.notify_one();
    return true;
  }

  // The next value, waiting at most `wait` for one; none when none came in
  // time or the channel is closed and empty.
  std::optional<T> recv_for(std::chrono::nanoseconds wait) {
    std::unique_lock lock(mutex_);
    ready_.wait_for(lock, wait, [&] { return closed_ || !queue_.empty(); });
    if (queue_.empty()) return std::nullopt;
    T value = std::move(queue_.front());
    queue_.pop_front();
    room_.notify_one();
    return value;
  }

  std::optional<T> try_recv() {
    std::lock_guard lock(mutex_);
    if (queue_.empty()) return std::nullopt;
    T value = std::move(queue_.front());
    queue_.pop_front();
    room_.notify_one();
    return value;
  }

  void close() {
    std::lock_guard lock(mutex_);
    closed_ = true;
    room_.notify_all();
    ready_.notify_all();
  }

  bool closed() const {
    std::lock_guard lock(mutex_);
    return closed_;
  }

  // Closed with nothing left to take: the sender is gone for good.
  bool drained() const {
    std::lock_guard lock(mutex_);
    return closed_ && queue_.empty();
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable room_;
  std::condition_variable ready_;
  std::deque<T> queue_;
  std::size_t capacity_;
  bool closed_ = false;
};

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
