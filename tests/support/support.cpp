#include "tests/support/support.h"

#include "core/base/panic.h"

namespace velmora::testing {

DataTexts DataTexts::builtin() {
  DataTexts d;
  auto texts = builtin_texts();
  for (std::size_t i = 0; i < data_file_count; ++i) d.texts[i] = std::string(texts[i]);
  return d;
}

std::string& DataTexts::file(std::string_view name) {
  for (std::size_t i = 0; i < data_file_count; ++i) {
    if (data_file_names[i] == name) return texts[i];
  }
  panic("no data file named " + std::string(name));
}

DataLoad DataTexts::load() const {
  std::array<std::string_view, data_file_count> views;
  for (std::size_t i = 0; i < data_file_count; ++i) views[i] = texts[i];
  return load_game_data(views);
}

Result<std::string> MemoryDisk::read_file(const std::string& path, std::uint64_t max_bytes) {
  auto it = files.find(path);
  if (it == files.end()) return error("No such file or directory");
  if (it->second.size() > max_bytes) return error("file too large");
  return it->second;
}

Faults faults_of(const DataLoad& load) { return load.ok() ? Faults{} : load.faults(); }

}  // namespace velmora::testing
