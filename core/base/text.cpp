#include "core/base/text.h"

namespace velmora {

namespace {

unsigned char byte_at(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

// Length of the White_Space character whose UTF-8 bytes are b0 b1 b2 (the
// later bytes only consulted when the lead byte asks for them).
std::size_t white_space_length(std::string_view s, std::size_t i) {
  const std::size_t left = s.size() - i;
  const unsigned char b0 = byte_at(s, i);
  if (b0 == ' ' || (b0 >= 0x09 && b0 <= 0x0D)) return 1;
  if (b0 == 0xC2 && left >= 2) {
    const unsigned char b1 = byte_at(s, i + 1);
    return (b1 == 0x85 || b1 == 0xA0) ? 2 : 0;  // U+0085, U+00A0
  }
  if (left < 3) return 0;
  const unsigned char b1 = byte_at(s, i + 1);
  const unsigned char b2 = byte_at(s, i + 2);
  if (b0 == 0xE1) return (b1 == 0x9A && b2 == 0x80) ? 3 : 0;  // U+1680
  if (b0 == 0xE2 && b1 == 0x80) {
    // U+2000..U+200A, U+2028, U+2029, U+202F
    return ((b2 >= 0x80 && b2 <= 0x8A) || b2 == 0xA8 || b2 == 0xA9 || b2 == 0xAF) ? 3 : 0;
  }
  if (b0 == 0xE2 && b1 == 0x81) return b2 == 0x9F ? 3 : 0;  // U+205F
  if (b0 == 0xE3) return (b1 == 0x80 && b2 == 0x80) ? 3 : 0;  // U+3000
  return 0;
}

}  // namespace

std::size_t white_space_at(std::string_view s, std::size_t i) {
  if (i >= s.size()) return 0;
  return white_space_length(s, i);
}

std::size_t white_space_before(std::string_view s, std::size_t end) {
  for (std::size_t n = 1; n <= 3 && n <= end; ++n) {
    if (white_space_at(s, end - n) == n) return n;
  }
  return 0;
}

std::string_view trim_white(std::string_view s) {
  std::size_t begin = 0;
  while (std::size_t n = white_space_at(s, begin)) begin += n;
  std::size_t end = s.size();
  while (end > begin) {
    std::size_t n = white_space_before(s, end);
    if (n == 0 || end - n < begin) break;
    end -= n;
  }
  return s.substr(begin, end - begin);
}

std::vector<std::string_view> split_words(std::string_view s) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < s.size()) {
    if (std::size_t n = white_space_at(s, i)) {
      i += n;
      continue;
    }
    std::size_t start = i;
    while (i < s.size() && white_space_at(s, i) == 0) ++i;
    words.push_back(s.substr(start, i - start));
  }
  return words;
}

void WordCursor::skip_white() {
  while (std::size_t n = white_space_at(rest_, 0)) rest_.remove_prefix(n);
}

bool WordCursor::at_end() {
  skip_white();
  return rest_.empty();
}

std::optional<std::string_view> WordCursor::next() {
  if (at_end()) return std::nullopt;
  std::size_t end = 0;
  while (end < rest_.size() && white_space_at(rest_, end) == 0) ++end;
  const std::string_view word = rest_.substr(0, end);
  rest_.remove_prefix(end);
  return word;
}

bool WordCursor::take(std::string_view word) {
  skip_white();
  if (!rest_.starts_with(word)) return false;
  // The word ends where the text does or white space begins (at most three bytes read).
  if (rest_.size() > word.size() && white_space_at(rest_, word.size()) == 0) return false;
  rest_.remove_prefix(word.size());
  return true;
}

std::optional<std::int32_t> parse_whole(std::string_view s) {
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  // The magnitude is kept below 2^32, so any number of digits is safe.
  std::uint64_t magnitude = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
    if (magnitude > 2147483648ULL) return std::nullopt;
  }
  if (negative) return static_cast<std::int32_t>(-static_cast<std::int64_t>(magnitude));
  if (magnitude > 2147483647ULL) return std::nullopt;
  return static_cast<std::int32_t>(magnitude);
}

std::optional<std::uint64_t> parse_unsigned(std::string_view s, std::uint64_t max) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    const std::uint64_t digit = static_cast<std::uint64_t>(c - '0');
    if (value > max / 10) return std::nullopt;
    value *= 10;
    if (digit > max - value) return std::nullopt;
    value += digit;
  }
  return value;
}

bool valid_utf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const unsigned char b0 = byte_at(s, i);
    if (b0 < 0x80) {
      ++i;
      continue;
    }
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
      length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
      length = 3;
      if (b0 == 0xE0) low = 0xA0;
      if (b0 == 0xED) high = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
      length = 4;
      if (b0 == 0xF0) low = 0x90;
      if (b0 == 0xF4) high = 0x8F;
    } else {
      return false;
    }
    if (s.size() - i < length) return false;
    const unsigned char b1 = byte_at(s, i + 1);
    if (b1 < low || b1 > high) return false;
    for (std::size_t k = 2; k < length; ++k) {
      const unsigned char b = byte_at(s, i + k);
      if (b < 0x80 || b > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

std::string hex16(std::uint64_t value) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i) {
    out[static_cast<std::size_t>(i)] = digits[value & 0xF];
    value >>= 4;
  }
  return out;
}

std::string join(const std::vector<std::string>& pieces, std::string_view separator) {
  std::string out;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += separator;
    out += pieces[i];
  }
  return out;
}

}  // namespace velmora
