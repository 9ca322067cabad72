// The command line: options, start-up and the choice of mode.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "core/base/disk.h"
#include "server/client/script_config.h"
#include "server/online/online_config.h"
#include "server/service/protocol_numbers.h"

namespace velmora {

struct Settings {
  std::uint16_t port = default_port;
  std::optional<std::string> replays;
  std::string bind = "0.0.0.0";
  std::optional<std::uint64_t> seed;
  std::uint64_t players = 1;
  std::optional<std::string> classes;
  std::optional<std::string> campaign;
  std::uint64_t idle_seconds = 600;
  std::uint64_t away_seconds = 30;
  std::uint32_t speed = 1;
  std::optional<std::uint16_t> metrics_port;
  std::optional<std::string> connect;
  std::optional<std::string> code;
  std::optional<std::uint64_t> slot;
  std::optional<std::uint64_t> session;
  std::uint64_t ticks = 1200;
  std::optional<std::uint64_t> drop_at;
  std::optional<GotoAt> goto_at;
  bool check = false;
  bool versions = false;
  bool online = false;
  bool agones = false;
  bool dev = false;
  bool bot = false;
  bool swaps = false;
  bool bye = false;
};

inline constexpr const char* usage_text =
    "velmora-server [--port N] [--replays DIR] [--data DIR]  "
    "(line protocol on 127.0.0.1, see documentation/protocol.md)";

// What start-up touches outside itself.
struct ProgramIo {
  Disk& disk;
  std::ostream& out;
  std::ostream& err;
};

// Runs the program on its arguments (without the program name); returns the exit status.
int run_program(const std::vector<std::string>& args, ProgramIo& io);

// "new {seed} {players}", each class piece, then " campaign={name}".
std::string opening_request_line(std::uint64_t seed, std::uint64_t players,
                                 const std::optional<std::string>& classes,
                                 const std::optional<std::string>& campaign);

OnlineConfig online_config(const Settings& settings, std::string opening);
ScriptConfig script_config(const Settings& settings);

// The walk over the options. Exposed for tests: an exit status when the
// program ends during the walk, else the settings.
struct ParsedOptions {
  Settings settings;
  std::optional<int> exit_status;
};
ParsedOptions parse_options(const std::vector<std::string>& args, ProgramIo& io);

}  // namespace velmora
