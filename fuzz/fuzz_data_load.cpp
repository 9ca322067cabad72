// Arbitrary bytes, split into six texts at byte 0x01, go to the loader: it
// must never crash, and every fault must name one of the six files.
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string_view>
#include <vector>

#include "core/data/game_data.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string_view> texts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t cut = input.find('\x01', start);
    if (cut == std::string_view::npos) {
      texts.push_back(input.substr(start));
      break;
    }
    texts.push_back(input.substr(start, cut - start));
    start = cut + 1;
  }
  velmora::DataLoad load = velmora::load_game_data(texts);
  if (load.ok()) return 0;
  // Faults of the parse and the readers name their file; validation faults
  // name their record instead, and validation only runs on a clean parse.
  std::size_t named = 0;
  for (const std::string& fault : load.faults()) {
    bool has_file = fault == "expected 6 data files";
    for (std::string_view file : velmora::data_file_names) has_file = has_file || fault.rfind(file, 0) == 0;
    if (has_file) ++named;
  }
  if (load.faults().empty() || (named != 0 && named != load.faults().size())) {
    for (const std::string& fault : load.faults()) std::fprintf(stderr, "%s\n", fault.c_str());
    std::abort();
  }
  return 0;
}
