// Helpers shared by the tests.
#pragma once

#include <array>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/disk.h"
#include "core/data/data_file.h"
#include "core/data/game_data.h"

namespace velmora::testing {

// A data set of six texts that tests edit file by file.
struct DataTexts {
  std::array<std::string, data_file_count> texts;

  static DataTexts builtin();
  std::string& file(std::string_view name);
  DataLoad load() const;
};

// A disk held in memory.
class MemoryDisk : public Disk {
 public:
  std::map<std::string, std::string> files;
  Result<std::string> read_file(const std::string& path, std::uint64_t max_bytes) override;
};

// The faults of a load, or an empty list when it succeeded.
Faults faults_of(const DataLoad& load);

}  // namespace velmora::testing
