#include "server/command_line.h"

#include <array>
#include <ostream>
#include <string_view>

#include "core/base/text.h"
#include "core/data/data_file.h"
#include "core/data/game_data.h"
#include "server/modes.h"
#include "web/error_reporter.h"

namespace velmora {

namespace {

// A data file larger than this is refused rather than read into memory.
constexpr std::uint64_t max_data_file_bytes = 16u << 20;

enum class Kind { flag, help, port, replays, goto_at, data, value };

struct Option {
  std::string_view name;
  Kind kind;
  bool Settings::*flag = nullptr;
};

constexpr std::array options = {
    Option{"--port", Kind::port},        Option{"--data", Kind::data},
    Option{"--replays", Kind::replays},  Option{"--check", Kind::flag, &Settings::check},
    Option{"--versions", Kind::flag, &Settings::versions},
    Option{"--help", Kind::help},        Option{"-h", Kind::help},
    Option{"--online", Kind::flag, &Settings::online},
    Option{"--agones", Kind::flag, &Settings::agones},
    Option{"--dev", Kind::flag, &Settings::dev},
    Option{"--bind", Kind::value},       Option{"--seed", Kind::value},
    Option{"--players", Kind::value},    Option{"--classes", Kind::value},
    Option{"--campaign", Kind::value},   Option{"--idle", Kind::value},
    Option{"--away", Kind::value},       Option{"--speed", Kind::value},
    Option{"--metrics-port", Kind::value},
    Option{"--connect", Kind::value},    Option{"--code", Kind::value},
    Option{"--slot", Kind::value},       Option{"--session", Kind::value},
    Option{"--bot", Kind::flag, &Settings::bot},
    Option{"--ticks", Kind::value},
    Option{"--swaps", Kind::flag, &Settings::swaps},
    Option{"--bye", Kind::flag, &Settings::bye},
    Option{"--drop-at", Kind::value},    Option{"--goto-at", Kind::goto_at},
};

const Option* find_option(std::string_view arg) {
  for (const Option& o : options) {
    if (o.name == arg) return &o;
  }
  return nullptr;
}

// Applies one value option whose value is present.
void apply_value(std::string_view name, const std::string& value, Settings& s) {
  const auto u64 = parse_unsigned(value);
  if (name == "--bind") s.bind = value;
  else if (name == "--classes") s.classes = value;
  else if (name == "--campaign") s.campaign = value;
  else if (name == "--connect") s.connect = value;
  else if (name == "--code") s.code = value;
  else if (name == "--seed") s.seed = u64;
  else if (name == "--slot") s.slot = u64;
  else if (name == "--session") s.session = u64;
  else if (name == "--drop-at") s.drop_at = u64;
  else if (name == "--players") s.players = u64.value_or(1);
  else if (name == "--speed") s.speed = u64 ? static_cast<std::uint32_t>(*u64) : 1;
  else if (name == "--metrics-port") {
    if (u64) s.metrics_port = static_cast<std::uint16_t>(*u64);
    else s.metrics_port.reset();
  } else if (name == "--idle") s.idle_seconds = u64.value_or(s.idle_seconds);
  else if (name == "--away") s.away_seconds = u64.value_or(s.away_seconds);
  else if (name == "--ticks") s.ticks = u64.value_or(s.ticks);
}

// Reads the six files of a folder and installs them; an exit status on failure.
std::optional<int> load_data_folder(const std::string& dir, ProgramIo& io) {
  std::array<std::string, data_file_count> texts;
  for (std::size_t i = 0; i < data_file_count; ++i) {
    const std::string path = join_path(dir, std::string(data_file_names[i]));
    auto text = io.disk.read_file(path, max_data_file_bytes);
    if (text && !valid_utf8(*text)) text = error("invalid UTF-8");
    if (!text) {
      io.err << "cannot read " << path << ": " << text.message() << "\n";
      return 1;
    }
    texts[i] = std::move(*text);
  }
  std::array<std::string_view, data_file_count> views;
  for (std::size_t i = 0; i < data_file_count; ++i) views[i] = texts[i];
  DataLoad load = load_game_data(views);
  if (!load.ok()) {
    for (const std::string& fault : load.faults()) io.err << fault << "\n";
    return 1;
  }
  if (Status installed = install_game_data(std::move(load.data())); !installed) {
    io.err << installed.message() << "\n";
    return 1;
  }
  return std::nullopt;
}

}  // namespace

namespace {

// Where the walk stands: the arguments, the index of the option being read,
// and the exit status once the program is to end.
struct Walk {
  const std::vector<std::string>& args;
  std::size_t i = 0;
  std::optional<int> exit_status;

  // The argument k places after the option, if there is one.
  const std::string* next(std::size_t k) const { return i + k < args.size() ? &args[i + k] : nullptr; }
  void stop(std::ostream& err, std::string_view message, int status) {
    err << message << "\n";
    exit_status = status;
  }
};

void take_port(Walk& w, Settings& s) {
  if (const std::string* v = w.next(1)) {
    if (auto port = parse_unsigned(*v, UINT16_MAX)) s.port = static_cast<std::uint16_t>(*port);
  }
  w.i += 2;
}

void take_replays(Walk& w, Settings& s) {
  if (const std::string* v = w.next(1)) s.replays = *v;
  else s.replays.reset();
  w.i += 2;
}

void take_goto_at(Walk& w, Settings& s, ProgramIo& io) {
  const std::string* tick = w.next(1);
  const std::string* area = w.next(2);
  const auto count = tick ? parse_unsigned(*tick) : std::nullopt;
  if (!count || area == nullptr) return w.stop(io.err, "--goto-at needs a tick count and an area", 2);
  s.goto_at = GotoAt{*count, *area};
  w.i += 3;
}

void take_data(Walk& w, ProgramIo& io) {
  const std::string* dir = w.next(1);
  if (dir == nullptr) return w.stop(io.err, "--data needs a folder", 2);
  w.exit_status = load_data_folder(*dir, io);
  w.i += 2;
}

void take_value(Walk& w, const Option& option, Settings& s, ProgramIo& io) {
  const std::string* v = w.next(1);
  if (v == nullptr) return w.stop(io.err, std::string(option.name) + " needs a value", 2);
  apply_value(option.name, *v, s);
  w.i += 2;
}

// Reads the option at the walk's index and moves past it.
void take_option(Walk& w, Settings& s, ProgramIo& io) {
  const Option* option = find_option(w.args[w.i]);
  if (option == nullptr) return w.stop(io.err, "unknown option " + w.args[w.i], 2);
  switch (option->kind) {
    case Kind::flag:
      s.*(option->flag) = true;
      w.i += 1;
      return;
    case Kind::help:
      io.out << usage_text << "\n";
      w.exit_status = 0;
      return;
    case Kind::port: return take_port(w, s);
    case Kind::replays: return take_replays(w, s);
    case Kind::goto_at: return take_goto_at(w, s, io);
    case Kind::data: return take_data(w, io);
    case Kind::value: return take_value(w, *option, s, io);
  }
}

// The online server reports its errors to the collector named by SENTRY_DSN;
// what is still queued when it ends gets at most 5 seconds.
int run_mode_reported(const Settings& s, ProgramIo& io) {
  if (choose_mode(s) != Mode::online_server) return run_mode(s, io);
  // A reporter whose worker cannot start ends the program (its line is written).
  if (!sentry_init().ok()) return 1;
  const int status = run_mode(s, io);
  sentry_flush();
  return status;
}

}  // namespace

ParsedOptions parse_options(const std::vector<std::string>& args, ProgramIo& io) {
  ParsedOptions parsed;
  Walk walk{args, 0, std::nullopt};
  while (walk.i < args.size() && !walk.exit_status) take_option(walk, parsed.settings, io);
  parsed.exit_status = walk.exit_status;
  return parsed;
}

std::string opening_request_line(std::uint64_t seed, std::uint64_t players,
                                 const std::optional<std::string>& classes,
                                 const std::optional<std::string>& campaign) {
  std::string line = "new " + std::to_string(seed) + " " + std::to_string(players);
  if (classes) {
    std::size_t start = 0;
    for (;;) {
      const std::size_t comma = classes->find(',', start);
      line += " ";
      line += classes->substr(start, comma == std::string::npos ? std::string::npos : comma - start);
      if (comma == std::string::npos) break;
      start = comma + 1;
    }
  }
  if (campaign) line += " campaign=" + *campaign;
  return line;
}

OnlineConfig online_config(const Settings& s, std::string opening) {
  OnlineConfig c;
  c.bind = s.bind;
  c.opening = std::move(opening);
  c.replays = s.replays;
  c.idle = std::chrono::seconds(static_cast<std::chrono::seconds::rep>(
      std::min<std::uint64_t>(s.idle_seconds, INT64_MAX / 1000000000)));
  c.away = std::chrono::seconds(static_cast<std::chrono::seconds::rep>(
      std::min<std::uint64_t>(s.away_seconds, INT64_MAX / 1000000000)));
  c.speed = s.speed;
  c.port = s.port;
  c.metrics_port = s.metrics_port;
  c.agones = s.agones;
  c.dev = s.dev;
  return c;
}

ScriptConfig script_config(const Settings& s) {
  return ScriptConfig{s.drop_at, s.goto_at, s.ticks, s.swaps, s.bye};
}

int run_program(const std::vector<std::string>& args, ProgramIo& io) {
  ParsedOptions parsed = parse_options(args, io);
  if (parsed.exit_status) return *parsed.exit_status;
  const Settings& s = parsed.settings;
  if (s.check) {
    io.out << "game data valid " << hex16(game_data().data_hash) << "\n";
    return 0;
  }
  if (s.versions) {
    io.out << "protocol " << online_protocol << " data " << hex16(game_data().data_hash) << "\n";
    return 0;
  }
  io.err << "game data " << hex16(game_data().data_hash) << "\n";
  return run_mode_reported(s, io);
}

}  // namespace velmora
