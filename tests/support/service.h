// A ServerState served in-process; every reply must be one strict JSON object.
#pragma once

#include <string>
#include <string_view>

#include "core/base/clock.h"
#include "core/base/disk.h"
#include "server/service/protocol.h"
#include "web/json_parser.h"

namespace velmora::testing {

struct Service {
  explicit Service(std::optional<std::string> folder = std::nullopt);
  JsonValue ask(std::string_view line);
  std::string message(std::string_view line);  // the reply's message
  // Watches a replay file to its end: its "verified" (false when it never ends).
  bool watch_verified(const std::string& path);
  RealDisk disk;
  FakeClock clock;
  ServerState state;
};

std::int64_t num_at(const JsonValue& object, std::string_view key);  // -999 when missing
bool flag_at(const JsonValue& object, std::string_view key);         // false when missing

}  // namespace velmora::testing
