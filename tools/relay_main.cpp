// velmora-relay: a bad network between online clients and a server on this
// machine, for tests and soak runs.
//
//   velmora-relay --to PORT [--port N] [--seed N] [--delay MS] [--jitter MS]
//                 [--loss PCT] [--reorder PCT] [--duplicate PCT]
//
// Each impairment takes one value for both directions or "UP/DOWN" (client to
// server, then server to client). Datagrams get all of them; the streams get
// the delay alone. Prints "LISTENING <port>" once ready; on SIGINT or SIGTERM
// prints one JSON line of what each direction did and ends with status 0.
// --help (or -h) prints the usage and ends with status 0; a bad argument
// prints it on standard error and ends with status 2.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/text.h"
#include "tools/relay.h"
#include "web/json.h"

namespace {

using namespace velmora;

constexpr std::string_view usage =
    "velmora-relay --to PORT [--port N] [--seed N] [--delay MS] [--jitter MS] "
    "[--loss PCT] [--reorder PCT] [--duplicate PCT]\n";

volatile std::sig_atomic_t stop_asked = 0;

void ask_stop(int) { stop_asked = 1; }

void on_stop_signals() {
  struct sigaction action {};
  action.sa_handler = ask_stop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: the wait ends at once
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
}

Result<RelayConfig> parse(const std::vector<std::string_view>& args) {
  RelayConfig config;
  bool have_server = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (!arg.starts_with("--") || i + 1 >= args.size()) return error("bad argument " + std::string(arg));
    const std::string_view option = arg.substr(2);
    const std::string_view value = args[++i];
    if (option == "port" || option == "to") {
      const auto port = parse_unsigned(value, 65535);
      if (!port) return error("bad port " + std::string(value));
      (option == "port" ? config.port : config.server_port) = static_cast<std::uint16_t>(*port);
      have_server = have_server || option == "to";
    } else if (option == "seed") {
      const auto seed = parse_unsigned(value);
      if (!seed) return error("bad seed " + std::string(value));
      config.impairment.seed = *seed;
    } else if (auto set = set_impairment(config.impairment, option, value); !set) {
      return error(set.message());
    }
  }
  if (!have_server) return error("--to PORT is needed");
  return config;
}

Json line_json(const LineCounts& c) {
  Json out = Json::object(8);
  out.add("sent", c.sent).add("lost", c.lost).add("duplicated", c.duplicated).add("reordered", c.reordered);
  out.add("overflowed", c.overflowed).add("delivered", c.delivered);
  out.add("mean_delay_us", c.delivered == 0 ? 0 : c.delay_sum_us / c.delivered).add("max_delay_us", c.delay_max_us);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  for (const std::string_view arg : args) {
    if (arg == "--help" || arg == "-h") {
      std::cout << usage;
      return 0;
    }
  }
  auto config = parse(args);
  if (!config) {
    std::cerr << config.message() << "\n" << usage;
    return 2;
  }
  on_stop_signals();
  auto relay = Relay::open(*config, real_clock());
  if (!relay) {
    std::cerr << relay.message() << "\n";
    return 1;
  }
  std::cout << "LISTENING " << (*relay)->port() << std::endl;
  while (stop_asked == 0) (*relay)->pass(std::chrono::milliseconds(100));
  Json report = Json::object(3);
  report.add("up", line_json((*relay)->up())).add("down", line_json((*relay)->down()));
  report.add("streams", (*relay)->streams_relayed());
  std::cout << json_to_string(report) << std::endl;
  return 0;
}
