// A bounded channel of values between threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

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

}  // namespace velmora
