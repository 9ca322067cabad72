#include "web/http_wire.h"

#include <algorithm>
#include <cstring>

namespace velmora {

Status HttpReader::fill() {
  begin_ = end_ = 0;
  if (ended_) return done();
  auto n = stream_.read(buffer_, sizeof buffer_);
  if (!n) return error(n.message());
  if (*n == 0) ended_ = true;
  end_ = *n;
  return done();
}

Status HttpReader::line(std::string& out) {
  out.clear();
  for (;;) {
    const char* start = buffer_ + begin_;
    const void* lf = std::memchr(start, '\n', end_ - begin_);
    const std::size_t take =
        lf != nullptr ? static_cast<std::size_t>(static_cast<const char*>(lf) - start) : end_ - begin_;
    // One byte past the cap may be the "\r" of the line end.
    if (out.size() + take > http_max_line + 1) return error("a line longer than 8192 bytes");
    out.append(start, take);
    if (lf != nullptr) {
      begin_ += take + 1;
      break;
    }
    begin_ = end_;
    if (ended_) break;
    if (auto filled = fill(); !filled) return filled;
    if (ended_) break;
  }
  const std::size_t length = !out.empty() && out.back() == '\r' ? out.size() - 1 : out.size();
  if (length > http_max_line) return error("a line longer than 8192 bytes");
  if (!valid_utf8(out)) return error("a line that is not UTF-8");
  return done();
}

Status HttpReader::count_header_line(std::size_t bytes) {
  ++header_lines_;
  header_bytes_ += bytes;
  if (header_lines_ > http_max_header_lines) return error("more than 100 header lines");
  if (header_bytes_ > http_max_header_bytes) return error("a header block larger than 65536 bytes");
  return done();
}

Status HttpReader::exact(std::size_t n, std::string& out) {
  while (n > 0) {
    if (begin_ == end_) {
      if (ended_) return error("the stream ended early");
      if (auto filled = fill(); !filled) return filled;
      continue;
    }
    const std::size_t take = std::min(n, end_ - begin_);
    out.append(buffer_ + begin_, take);
    begin_ += take;
    n -= take;
  }
  return done();
}

Status HttpReader::until_end(std::size_t max, std::string& out) {
  std::size_t room = max;
  while (room > 0) {
    if (begin_ == end_) {
      if (ended_) return done();
      if (auto filled = fill(); !filled) return filled;
      continue;
    }
    const std::size_t take = std::min(room, end_ - begin_);
    out.append(buffer_ + begin_, take);
    begin_ += take;
    room -= take;
  }
  return done();
}

namespace {

// The allowed range of the second byte after a lead byte, and the length of
// the sequence; length 0 for a byte that cannot start one.
struct Lead {
  std::size_t length;
  unsigned char low, high;
};

Lead lead_of(unsigned char b) {
  if (b >= 0xC2 && b <= 0xDF) return {2, 0x80, 0xBF};
  if (b == 0xE0) return {3, 0xA0, 0xBF};
  if (b == 0xED) return {3, 0x80, 0x9F};
  if (b >= 0xE1 && b <= 0xEF) return {3, 0x80, 0xBF};
  if (b == 0xF0) return {4, 0x90, 0xBF};
  if (b >= 0xF1 && b <= 0xF3) return {4, 0x80, 0xBF};
  if (b == 0xF4) return {4, 0x80, 0x8F};
  return {0, 0, 0};
}

constexpr std::string_view replacement = "\xEF\xBF\xBD";

}  // namespace

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out += static_cast<char>(b);
      ++i;
      continue;
    }
    const Lead lead = lead_of(b);
    // The longest prefix of a valid sequence is replaced as one.
    std::size_t j = i + 1;
    bool whole = lead.length != 0;
    for (std::size_t k = 1; whole && k < lead.length; ++k, ++j) {
      const unsigned char low = k == 1 ? lead.low : 0x80, high = k == 1 ? lead.high : 0xBF;
      if (j >= bytes.size()) {
        whole = false;
        break;
      }
      const auto c = static_cast<unsigned char>(bytes[j]);
      if (c < low || c > high) whole = false;
      if (!whole) break;
    }
    if (whole) {
      out.append(bytes.substr(i, lead.length));
    } else {
      out.append(replacement);
    }
    i = j;
  }
  return out;
}

bool equals_ascii_nocase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

Result<std::uint64_t> parse_hex_u64(std::string_view text) {
  if (text.empty()) return error("cannot parse integer from empty string");
  if (text.front() == '+') text.remove_prefix(1);
  if (text.empty()) return error("invalid digit found in string");
  std::uint64_t value = 0;
  for (const char c : text) {
    std::uint64_t digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<std::uint64_t>(c - '0');
    } else if (c >= 'a' && c <= 'f') {
      digit = static_cast<std::uint64_t>(c - 'a' + 10);
    } else if (c >= 'A' && c <= 'F') {
      digit = static_cast<std::uint64_t>(c - 'A' + 10);
    } else {
      return error("invalid digit found in string");
    }
    if (value > (UINT64_MAX >> 4)) return error("number too large to fit in target type");
    value = (value << 4) | digit;
  }
  return value;
}

}  // namespace velmora
