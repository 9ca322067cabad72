// Threads the program starts itself. A start the system refuses (at its
// thread or memory limit) is a value, never an exception, so a server can
// close the one connection that wanted the thread and go on; and each
// thread's stack is sized where it is started, so that a crowd of
// connection threads stays cheap.
#pragma once

#include <pthread.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "core/base/clock.h"
#include "core/base/result.h"

namespace velmora {

// A log call that may be made from any thread.
using LogLine = std::function<void(std::string_view)>;

// A connection's thread reads lines or serves one HTTP exchange; the
// services beside the loop (accepting, pinging, reporting) get more room.
inline constexpr std::size_t connection_stack_bytes = 256 * 1024;
inline constexpr std::size_t service_stack_bytes = 1024 * 1024;

// Where threads come from: the system, or a test's stand-in that refuses.
class ThreadSpawner {
 public:
  virtual ~ThreadSpawner() = default;
  // Starts entry(arg) on a new thread with a stack of that many bytes; the
  // system's error text when it cannot.
  virtual Result<pthread_t> spawn(void* (*entry)(void*), void* arg, std::size_t stack_bytes);
};

// The process-wide spawner that asks the system.
ThreadSpawner& system_threads();

// A started thread. Like std::jthread, destroying a joinable one asks it to
// stop (through the stop token its body may take) and joins it.
class Thread {
 public:
  Thread() = default;
  Thread(pthread_t handle, std::stop_source stop) : handle_(handle), stop_(std::move(stop)), joinable_(true) {}
  ~Thread();
  Thread(Thread&& other) noexcept;
  Thread& operator=(Thread&& other) noexcept;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  bool joinable() const { return joinable_; }
  void request_stop() { stop_.request_stop(); }
  void join();
  // Lets the thread run on by itself; it is no longer joinable.
  void detach();

 private:
  pthread_t handle_{};
  std::stop_source stop_{std::nostopstate};
  bool joinable_ = false;
};

namespace thread_detail {

template <class F>
struct Launch {
  std::stop_token stop;
  F body;
  static void* run(void* arg) {
    std::unique_ptr<Launch> launch(static_cast<Launch*>(arg));
    if constexpr (std::is_invocable_v<F&, std::stop_token>) {
      launch->body(launch->stop);
    } else {
      launch->body();
    }
    return nullptr;
  }
};

}  // namespace thread_detail

// Starts body() or body(stop_token) on a thread with a stack of that many
// bytes. When the thread cannot start, the body is destroyed unrun (with
// whatever it holds, a connection say) and the error is the system's text.
template <class F>
Result<Thread> start_thread(F body, std::size_t stack_bytes, ThreadSpawner& spawner = system_threads()) {
  std::stop_source stop;
  auto launch = std::make_unique<thread_detail::Launch<F>>(thread_detail::Launch<F>{stop.get_token(), std::move(body)});
  auto spawned = spawner.spawn(&thread_detail::Launch<F>::run, launch.get(), stack_bytes);
  if (!spawned) return error(spawned.message());
  (void)launch.release();  // the thread owns it now
  return Thread(*spawned, std::move(stop));
}

// Connections closed because no thread could start for them, logged at most
// once a second: the first at once, and the ones after it counted into the
// next line, which comes with the next refusal or start a second later.
// One thread uses it (the accept loop that starts the connection threads).
class RefusedThreads {
 public:
  // `what` names the connections ("session", "metrics").
  RefusedThreads(std::string what, LogLine log, Clock& clock = real_clock());
  // A connection was closed: its thread could not start, for that reason.
  void closed(std::string_view reason);
  // A thread started: a count still unreported is logged once a second has passed.
  void started();

 private:
  void report();
  std::string what_;
  LogLine log_;
  Clock& clock_;
  std::string reason_;
  std::uint64_t unreported_ = 0;
  std::optional<std::chrono::nanoseconds> reported_at_;
};

}  // namespace velmora
