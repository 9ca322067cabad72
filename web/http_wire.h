// What the HTTP client and server share: a buffered reader whose lines,
// header blocks and bodies are all bounded, and the text helpers of the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/base/result.h"
#include "core/base/text.h"
#include "web/sockets.h"

namespace velmora {

// Longest line, request line and status line included (line end not counted).
inline constexpr std::size_t http_max_line = 8192;
// Most header lines, and most bytes of them, in one head.
inline constexpr std::size_t http_max_header_lines = 100;
inline constexpr std::size_t http_max_header_bytes = 64 * 1024;
// Largest body read or accepted.
inline constexpr std::size_t http_max_body = 1'048'576;

// Reads an HTTP exchange through an 8192-byte buffer. Nothing grows beyond
// the caps above, whatever the peer sends; bodies grow only as bytes arrive.
class HttpReader {
 public:
  explicit HttpReader(Stream& stream) : stream_(stream) {}

  // The next line without its line feed (a carriage return stays; callers
  // trim). A line ends at a line feed or at the end of the input; at the end
  // of the input the line is empty. Fails on a read error, on a line longer
  // than http_max_line and on a line that is not UTF-8.
  Status line(std::string& out);

  // Reads the header lines up to the first one that is blank after trimming
  // (or the end of the input) and calls on_line(trimmed line) for each other
  // line; a failure it returns ends the block. Fails beyond the header caps.
  template <class F>
  Status header_block(F&& on_line);

  // Appends exactly n bytes; fails when the input ends first.
  Status exact(std::size_t n, std::string& out);

  // Appends bytes up to the end of the input, at most max of them.
  Status until_end(std::size_t max, std::string& out);

 private:
  Status fill();
  Status count_header_line(std::size_t bytes);

  Stream& stream_;
  char buffer_[8192];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  bool ended_ = false;
  std::size_t header_lines_ = 0;
  std::size_t header_bytes_ = 0;
};

template <class F>
Status HttpReader::header_block(F&& on_line) {
  std::string line;
  for (;;) {
    if (auto read = this->line(line); !read) return read;
    const std::string_view trimmed = trim_white(line);
    if (trimmed.empty()) return done();
    if (auto counted = count_header_line(line.size()); !counted) return counted;
    if (auto taken = on_line(trimmed); !taken) return taken;
  }
}

// The bytes as text, each invalid UTF-8 sequence replaced by U+FFFD.
std::string utf8_lossy(std::string_view bytes);

// ASCII letters compared without case; every other byte exactly.
bool equals_ascii_nocase(std::string_view a, std::string_view b);

// An unsigned hexadecimal number (an optional "+"), or the reason it is not one.
Result<std::uint64_t> parse_hex_u64(std::string_view text);

}  // namespace velmora
