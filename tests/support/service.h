// A ServerState served in-process, with every reply checked to be one strict
// JSON object.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/clock.h"
#include "core/disk.h"
#include "server/protocol.h"
#include "web/json_parser.h"

namespace velmora::testing {

struct Service {
  explicit Service(std::optional<std::string> folder = std::nullopt);

  JsonValue ask(std::string_view line);
  // The message of a refused request, which holds nothing but ok and message.
  std::string refusal(std::string_view line);
  // The message of a granted request.
  std::string granted(std::string_view line);

  RealDisk disk;
  FakeClock clock;
  ServerState state;
};

std::vector<std::string> keys_of(const JsonValue& object);

// The text at a key; "<none>" when it is missing or not a text.
std::string text_at(const JsonValue& object, std::string_view key);

// A folder of its own under /tmp, removed with everything in it.
struct ScratchFolder {
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  std::vector<std::string> replay_files() const;  // sorted paths
  std::string path;
};

}  // namespace velmora::testing
