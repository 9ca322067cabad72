// Cross-file validation of a loaded data set.
#pragma once

#include "core/data/data_file.h"

namespace velmora {

struct GameData;

// Every fault of the data set, each naming its record; empty when valid.
Faults validate_data(const GameData& data);

}  // namespace velmora
