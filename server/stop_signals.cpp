#include "server/stop_signals.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <unistd.h>

#include "core/base/panic.h"

namespace velmora {

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the handler needs a lock-free flag");

std::atomic<int> received{0};
std::atomic<int> wake_read{-1};
std::atomic<int> wake_write{-1};

// Async-signal-safe only: an atomic exchange and one write.
extern "C" void note_stop_signal(int signal) {
  const int saved = errno;
  int none = 0;
  received.compare_exchange_strong(none, signal);
  const char byte = 1;
  // A full pipe is already readable: the byte is not needed then.
  [[maybe_unused]] const ssize_t n = ::write(wake_write.load(), &byte, 1);
  errno = saved;
}

void make_pipe() {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) panic("cannot make the stop signal pipe");
  wake_read.store(ends[0]);
  wake_write.store(ends[1]);
}

}  // namespace

void catch_stop_signals(std::initializer_list<int> signals) {
  static std::once_flag pipe_made;
  std::call_once(pipe_made, make_pipe);
  struct sigaction action {};
  action.sa_handler = note_stop_signal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (const int signal : signals) ::sigaction(signal, &action, nullptr);
}

int stop_signal() { return received.load(); }

int stop_signal_fd() { return wake_read.load(); }

std::string signal_name(int signal) {
  if (signal == SIGTERM) return "SIGTERM";
  if (signal == SIGINT) return "SIGINT";
  return "signal " + std::to_string(signal);
}

}  // namespace velmora
