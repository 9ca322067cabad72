// Edits single values of the built-in data set and loads the result, so that
// data which parses but is odd (huge, negative, empty, dangling references)
// reaches the readers and the validation.
//
// Input: a list of edits, each two bytes choosing a "key = value" line of the
// six files and then the new value up to a "\n".
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "core/data/validation.h"

namespace {

struct Line {
  std::size_t file;
  std::size_t begin;  // first byte of the value
  std::size_t end;    // one past its last byte
};

// The key lines of the built-in texts, where their values sit.
std::vector<Line> value_lines(const std::array<std::string, 6>& texts) {
  std::vector<Line> lines;
  for (std::size_t f = 0; f < texts.size(); ++f) {
    const std::string& t = texts[f];
    std::size_t start = 0;
    while (start < t.size()) {
      std::size_t end = t.find('\n', start);
      if (end == std::string::npos) end = t.size();
      const std::size_t eq = t.find('=', start);
      const std::size_t hash = t.find('#', start);
      if (eq < end && (hash == std::string::npos || eq < hash) && t[start] != '[') {
        lines.push_back(Line{f, eq + 1, hash < end ? hash : end});
      }
      start = end + 1;
    }
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::array<std::string, 6> texts;
  for (std::size_t i = 0; i < 6; ++i) texts[i] = std::string(velmora::builtin_texts()[i]);
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  for (int edits = 0; edits < 8 && at + 2 <= input.size(); ++edits) {
    const std::vector<Line> lines = value_lines(texts);
    if (lines.empty()) break;
    const std::size_t pick = (static_cast<std::uint8_t>(input[at]) << 8 | static_cast<std::uint8_t>(input[at + 1]));
    at += 2;
    std::size_t end = input.find('\n', at);
    if (end == std::string_view::npos) end = input.size();
    const Line& line = lines[pick % lines.size()];
    texts[line.file].replace(line.begin, line.end - line.begin, " " + std::string(input.substr(at, end - at)));
    at = end + 1;
  }
  std::array<std::string_view, 6> views;
  for (std::size_t i = 0; i < 6; ++i) views[i] = texts[i];
  velmora::DataLoad load = velmora::load_game_data(views);
  if (!load.ok()) return 0;
  // Accepted data carries the hash of its texts and passes validation again.
  if (load.data().data_hash != velmora::data_hash(views)) std::abort();
  if (!velmora::validate_data(load.data()).empty()) std::abort();
  return 0;
}
