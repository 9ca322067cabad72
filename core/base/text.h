// Byte-exact text helpers shared by the data files, requests and replays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velmora {

// Length in bytes of the Unicode White_Space character (UTF-8) that starts at
// s[i], or 0 when none starts there.
std::size_t white_space_at(std::string_view s, std::size_t i);

// Length in bytes of the White_Space character that ends just before s[end], or 0.
std::size_t white_space_before(std::string_view s, std::size_t end);

// Cuts Unicode White_Space from both ends.
std::string_view trim_white(std::string_view s);

// Maximal runs of non-white-space bytes, in order.
std::vector<std::string_view> split_words(std::string_view s);

// The words of a text read one at a time, each only as far as it is asked
// for: whoever needs the first few words of a long line never reads the rest.
class WordCursor {
 public:
  explicit WordCursor(std::string_view text) : rest_(text) {}
  // The next word, whole; none at the end of the text.
  std::optional<std::string_view> next();
  // Takes the next word when it is exactly `word`, reading no further than
  // the white space before it, its length and one character more; otherwise
  // leaves it (and false).
  bool take(std::string_view word);
  // No word is left.
  bool at_end();

 private:
  void skip_white();
  std::string_view rest_;
};

// Calls f(line_number, line) for every line of a text: lines end at "\n", a
// "\r" before that "\n" is dropped, a final piece without "\n" counts when
// not empty. Line numbers start at 1.
template <class F>
void for_each_line(std::string_view text, F&& f) {
  std::uint64_t number = 0;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    std::string_view line;
    if (end == std::string_view::npos) {
      line = text.substr(start);
      start = text.size();
    } else {
      line = text.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      start = end + 1;
    }
    f(++number, line);
  }
}

// A whole number: optional "+" or "-", one or more decimal digits, within the
// signed 32-bit range (leading zeros allowed, any number of digits).
std::optional<std::int32_t> parse_whole(std::string_view s);

// An unsigned decimal number: optional "+", one or more digits, no larger than max.
std::optional<std::uint64_t> parse_unsigned(std::string_view s, std::uint64_t max = UINT64_MAX);

// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates).
bool valid_utf8(std::string_view s);

// Sixteen lower-case hexadecimal digits, zero-padded.
std::string hex16(std::uint64_t value);

// Joins the pieces with a separator.
std::string join(const std::vector<std::string>& pieces, std::string_view separator);

}  // namespace velmora
