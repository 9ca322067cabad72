#include "server/online/online_hooks.h"

#include <iostream>
#include <random>
#include <unistd.h>

namespace velmora {

namespace {

// One write per line, so that lines of several threads never interleave.
void write_line(int fd, std::string_view line) {
  std::string text(line);
  text += '\n';
  std::string_view rest = text;
  while (!rest.empty()) {
    const ssize_t n = ::write(fd, rest.data(), rest.size());
    if (n <= 0) return;
    rest.remove_prefix(static_cast<std::size_t>(n));
  }
}

}  // namespace

void OnlineHooks::log_info(std::string_view line) { write_line(2, line); }

void OnlineHooks::log_error(std::string_view line) { write_line(2, line); }

void OnlineHooks::listening(std::uint16_t port) { std::cout << "LISTENING " << port << "\n" << std::flush; }

std::uint64_t OnlineHooks::new_session_id() {
  std::random_device device;
  return (static_cast<std::uint64_t>(device()) << 32) ^ device();
}

}  // namespace velmora
