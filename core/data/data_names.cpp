#include "core/data/data_names.h"

namespace velmora {

bool has_kind(const Section& section, std::string_view accepted, std::string_view holds, Faults& faults) {
  if (section.kind == accepted) return true;
  faults.push_back(fault_at(section.file, section.line,
                            "unknown section [" + section.kind + "] (this file holds [" +
                                std::string(holds) + " ...])"));
  return false;
}

}  // namespace velmora
