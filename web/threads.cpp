#include "web/threads.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/base/panic.h"

namespace velmora {

namespace {

using namespace std::chrono_literals;

// The stack size rounded up to whole pages and to the least the system takes.
std::size_t usable_stack(std::size_t bytes) {
  const long page_size = ::sysconf(_SC_PAGESIZE);
  const std::size_t page = page_size > 0 ? static_cast<std::size_t>(page_size) : 4096;
  const long least_size = ::sysconf(_SC_THREAD_STACK_MIN);
  const std::size_t least = least_size > 0 ? static_cast<std::size_t>(least_size) : 16384;
  bytes = std::max(bytes, least);
  return (bytes + page - 1) / page * page;
}

}  // namespace

Result<pthread_t> ThreadSpawner::spawn(void* (*entry)(void*), void* arg, std::size_t stack_bytes) {
  pthread_attr_t attributes;
  if (const int failed = ::pthread_attr_init(&attributes)) return error(std::strerror(failed));
  int failed = ::pthread_attr_setstacksize(&attributes, usable_stack(stack_bytes));
  pthread_t handle{};
  if (failed == 0) failed = ::pthread_create(&handle, &attributes, entry, arg);
  ::pthread_attr_destroy(&attributes);
  if (failed != 0) return error(std::strerror(failed));
  return handle;
}

ThreadSpawner& system_threads() {
  static ThreadSpawner threads;
  return threads;
}

Thread::~Thread() {
  if (!joinable_) return;
  request_stop();
  join();
}

Thread::Thread(Thread&& other) noexcept
    : handle_(other.handle_), stop_(std::move(other.stop_)), joinable_(std::exchange(other.joinable_, false)) {}

Thread& Thread::operator=(Thread&& other) noexcept {
  if (this != &other) {
    if (joinable_) {
      request_stop();
      join();
    }
    handle_ = other.handle_;
    stop_ = std::move(other.stop_);
    joinable_ = std::exchange(other.joinable_, false);
  }
  return *this;
}

void Thread::join() {
  if (!joinable_) panic("join of a thread that is not joinable");
  if (::pthread_equal(handle_, ::pthread_self())) panic("a thread cannot join itself");
  ::pthread_join(handle_, nullptr);
  joinable_ = false;
}

void Thread::detach() {
  if (!joinable_) panic("detach of a thread that is not joinable");
  ::pthread_detach(handle_);
  joinable_ = false;
}

RefusedThreads::RefusedThreads(std::string what, LogLine log, Clock& clock)
    : what_(std::move(what)), log_(std::move(log)), clock_(clock) {}

void RefusedThreads::closed(std::string_view reason) {
  ++unreported_;
  reason_ = reason;
  if (!reported_at_ || clock_.monotonic() - *reported_at_ >= 1s) report();
}

void RefusedThreads::started() {
  if (unreported_ > 0 && clock_.monotonic() - *reported_at_ >= 1s) report();
}

void RefusedThreads::report() {
  if (log_) {
    log_(what_ + " connections without a thread: " + std::to_string(unreported_) + " closed (" + reason_ + ")");
  }
  unreported_ = 0;
  reported_at_ = clock_.monotonic();
}

}  // namespace velmora
