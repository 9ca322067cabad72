// The local line-protocol server: one request line in, one JSON line out,
// one connection at a time, the game kept across connections.
#pragma once

#include <cstddef>
#include <iosfwd>
#include <string>
#include <string_view>

#include "web/sockets.h"

namespace velmora {

// A request line longer than this is refused and its connection closed.
inline constexpr std::size_t max_request_line = 64 * 1024;

// What the server does with the lines it reads.
class LineService {
 public:
  virtual ~LineService() = default;
  // The one-line JSON reply to a request line (without its line end).
  virtual std::string handle(std::string_view line) = 0;
  // Saves a record that has not been saved yet (on "quit" and when a
  // connection ends); failures are dropped.
  virtual void save_unsaved() = 0;
};

// Serves connections until "quit"; returns the exit status (0).
int serve_lines(Listener& listener, LineService& service);

// Serves one connection; true when it ended with "quit".
bool serve_connection(Stream& stream, LineService& service);

}  // namespace velmora
