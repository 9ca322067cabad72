// The name-to-id maps of one load, built from section names before the
// readers run, so that a reference may name a record read later.
#pragma once

#include <string_view>
#include <vector>

#include "core/data/data_file.h"
#include "core/data/value_readers.h"

namespace velmora {

struct DataNames {
  NameList moves;
  NameList kinds;
  NameList items;
  NameList loot;
  NameList stages;
  NameList nodes;
};

// True when the section is of the expected kind (or of the file's other kind,
// when accepted is that kind); otherwise records "unknown section [{kind}]
// (this file holds [{holds} ...])" and the section is skipped.
bool has_kind(const Section& section, std::string_view accepted, std::string_view holds, Faults& faults);

}  // namespace velmora
