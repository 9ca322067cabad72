#include "server/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/game_data.h"
#include "core/text.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using testing::DataTexts;
using testing::MemoryDisk;

struct Program {
  MemoryDisk disk;
  std::ostringstream out, err;
  ProgramIo io{disk, out, err};

  ParsedOptions parse(std::vector<std::string> args) { return parse_options(args, io); }
  int run(std::vector<std::string> args) { return run_program(args, io); }
  void put_data(const std::string& dir, const DataTexts& d) {
    for (std::size_t i = 0; i < data_file_count; ++i) {
      disk.files[join_path(dir, std::string(data_file_names[i]))] = d.texts[i];
    }
  }
};

TEST(Options, DefaultsWithNoArguments) {
  Program r;
  auto p = r.parse({});
  EXPECT_FALSE(p.exit_status);
  EXPECT_EQ(p.settings.port, 7790);
  EXPECT_FALSE(p.settings.replays);
  EXPECT_EQ(p.settings.bind, "0.0.0.0");
  EXPECT_EQ(p.settings.players, 1u);
  EXPECT_EQ(p.settings.idle_seconds, 600u);
  EXPECT_EQ(p.settings.away_seconds, 30u);
  EXPECT_EQ(p.settings.ticks, 1200u);
}

TEST(Options, PortKeepsItsValueUnlessANumberFits) {
  Program r;
  EXPECT_EQ(r.parse({"--port", "+8000"}).settings.port, 8000);
  EXPECT_EQ(r.parse({"--port", "70000"}).settings.port, 7790);
  EXPECT_EQ(r.parse({"--port", "9000", "--port", "x"}).settings.port, 9000);
  auto last = r.parse({"--port"});
  EXPECT_FALSE(last.exit_status);
  EXPECT_EQ(last.settings.port, 7790);
  // The value is consumed even when it is not a number.
  EXPECT_FALSE(r.parse({"--port", "--check"}).settings.check);
  EXPECT_EQ(r.err.str(), "");
}

TEST(Options, EachNumberOptionHasItsOwnFallback) {
  Program r;
  auto p = r.parse({"--seed", "5", "--seed", "x", "--idle", "5", "--idle", "x", "--players", "x", "--speed",
                    "0", "--metrics-port", "65537", "--slot", "3", "--session", "-1", "--ticks", "9",
                    "--ticks", "", "--away", "+7", "--drop-at", "12"});
  EXPECT_FALSE(p.settings.seed);
  EXPECT_EQ(p.settings.idle_seconds, 5u);
  EXPECT_EQ(p.settings.players, 1u);
  EXPECT_EQ(p.settings.speed, 0u);
  EXPECT_EQ(p.settings.metrics_port, 1);
  EXPECT_EQ(p.settings.slot, 3u);
  EXPECT_FALSE(p.settings.session);
  EXPECT_EQ(p.settings.ticks, 9u);
  EXPECT_EQ(p.settings.away_seconds, 7u);
  EXPECT_EQ(p.settings.drop_at, 12u);
  EXPECT_EQ(r.parse({"--speed", "4294967297"}).settings.speed, 1u);
  EXPECT_EQ(r.parse({"--speed", "x"}).settings.speed, 1u);
  EXPECT_FALSE(r.parse({"--metrics-port", "9100", "--metrics-port", "x"}).settings.metrics_port);
}

TEST(Options, ValuesAreTakenWhateverTheyLookLike) {
  Program r;
  auto p = r.parse({"--bind", "--check", "--classes", "a,,b", "--replays", "--online", "--connect", "h:1"});
  EXPECT_FALSE(p.exit_status);
  EXPECT_EQ(p.settings.bind, "--check");
  EXPECT_FALSE(p.settings.check);
  EXPECT_EQ(p.settings.replays, "--online");
  EXPECT_FALSE(p.settings.online);
  EXPECT_EQ(p.settings.connect, "h:1");
  auto none = r.parse({"--replays", "dir", "--replays"});
  EXPECT_FALSE(none.exit_status);
  EXPECT_FALSE(none.settings.replays);
}

TEST(Options, CommandLineErrorsExitTwo) {
  struct Case {
    std::vector<std::string> args;
    std::string err;
  };
  const Case cases[] = {
      {{"--bogus"}, "unknown option --bogus\n"},
      {{"run"}, "unknown option run\n"},
      {{"--PORT", "1"}, "unknown option --PORT\n"},
      {{"--seed"}, "--seed needs a value\n"},
      {{"--check", "--classes"}, "--classes needs a value\n"},
      {{"--goto-at", "10"}, "--goto-at needs a tick count and an area\n"},
      {{"--goto-at", "x", "town"}, "--goto-at needs a tick count and an area\n"},
      {{"--data"}, "--data needs a folder\n"},
      {{"--bogus", "--help"}, "unknown option --bogus\n"},
  };
  for (const Case& c : cases) {
    Program r;
    EXPECT_EQ(r.run(c.args), 2) << c.args[0];
    EXPECT_EQ(r.err.str(), c.err);
    EXPECT_EQ(r.out.str(), "");
  }
}

TEST(Options, HelpStopsTheWalk) {
  Program r;
  EXPECT_EQ(r.run({"--port", "1", "-h", "--bogus"}), 0);
  EXPECT_EQ(r.out.str(), std::string(usage_text) + "\n");
  EXPECT_EQ(r.err.str(), "");
  EXPECT_EQ(std::string(usage_text),
            "velmora-server [--port N] [--replays DIR] [--data DIR]  (line protocol on 127.0.0.1, see "
            "documentation/protocol.md)");
}

TEST(Options, GotoAtTakesTwoValues) {
  Program r;
  auto p = r.parse({"--goto-at", "+30", "--bot", "--bye"});
  ASSERT_TRUE(p.settings.goto_at);
  EXPECT_EQ(p.settings.goto_at->tick, 30u);
  EXPECT_EQ(p.settings.goto_at->area, "--bot");
  EXPECT_FALSE(p.settings.bot);
  EXPECT_TRUE(p.settings.bye);
}

TEST(Utilities, CheckWinsOverVersions) {
  Program r;
  EXPECT_EQ(r.run({"--versions", "--check"}), 0);
  EXPECT_EQ(r.out.str(), "game data valid " + hex16(game_data().data_hash) + "\n");
  Program v;
  EXPECT_EQ(v.run({"--versions"}), 0);
  EXPECT_EQ(v.out.str(), "protocol 2 data " + hex16(game_data().data_hash) + "\n");
}

TEST(DataFolder, MissingFileExitsOneNamingIt) {
  Program r;
  auto d = DataTexts::builtin();
  r.put_data("set", d);
  r.disk.files.erase("set/loot.txt");
  EXPECT_EQ(r.run({"--data", "set", "--check"}), 1);
  EXPECT_EQ(r.err.str(), "cannot read set/loot.txt: No such file or directory\n");
  EXPECT_EQ(r.out.str(), "");
}

TEST(DataFolder, InvalidUtf8CannotBeRead) {
  Program r;
  auto d = DataTexts::builtin();
  d.file("kinds.txt") += "# \xFF\n";
  r.put_data("set/", d);
  EXPECT_EQ(r.run({"--data", "set/"}), 1);
  EXPECT_EQ(r.err.str(), "cannot read set/kinds.txt: invalid UTF-8\n");
}

TEST(DataFolder, FaultsArePrintedOnePerLine) {
  Program r;
  auto d = DataTexts::builtin();
  d.file("moves.txt") += "\nstray line\n";
  d.file("region.txt") += "\n[bad]\n";
  r.put_data("set", d);
  EXPECT_EQ(r.run({"--data", "set", "--check"}), 1);
  const std::string err = r.err.str();
  EXPECT_NE(err.find("moves.txt:"), std::string::npos);
  EXPECT_NE(err.find(": expected key = value\n"), std::string::npos);
  EXPECT_NE(err.find("region.txt:"), std::string::npos);
  EXPECT_LT(err.find("moves.txt:"), err.find("region.txt:"));
  EXPECT_EQ(r.out.str(), "");
}

TEST(DataFolder, InstallsTheFolderSoTheBuiltInSetIsNeverParsed) {
  Program r;
  auto d = DataTexts::builtin();
  d.file("stage.txt") = "# a comment changes nothing\n" + d.file("stage.txt");
  d.file("loot.txt") += "\n# trailing note\n";
  r.put_data("set", d);
  ASSERT_EQ(r.run({"--data", "set", "--check"}), 0) << r.err.str();
  EXPECT_EQ(r.out.str(), "game data valid " + hex16(data_hash(builtin_texts())) + "\n");
}

TEST(DataFolder, SecondInstallIsRefusedWithoutACrash) {
  Program r;
  auto d = DataTexts::builtin();
  r.put_data("a", d);
  r.put_data("b", d);
  EXPECT_EQ(r.run({"--data", "a", "--data", "b", "--check"}), 1);
  EXPECT_EQ(r.err.str(), "game data is already in use\n");
}

TEST(OnlineSetup, OpeningRequestLine) {
  EXPECT_EQ(opening_request_line(7, 2, "A,B", "C"), "new 7 2 A B campaign=C");
  EXPECT_EQ(opening_request_line(1, 1, std::nullopt, std::nullopt), "new 1 1");
  EXPECT_EQ(opening_request_line(1, 3, "a,,b", std::nullopt), "new 1 3 a  b");
  EXPECT_EQ(opening_request_line(1, 1, "", std::nullopt), "new 1 1 ");
}

TEST(OnlineSetup, ConfigsCarryTheSettings) {
  Program r;
  auto p = r.parse({"--online", "--bind", "127.0.0.1", "--idle", "99", "--away", "5", "--speed", "3",
                    "--port", "1234", "--metrics-port", "9100", "--agones", "--dev", "--replays", "r",
                    "--ticks", "50", "--swaps", "--drop-at", "20"});
  OnlineConfig c = online_config(p.settings, "new 1 1");
  EXPECT_EQ(c.bind, "127.0.0.1");
  EXPECT_EQ(c.opening, "new 1 1");
  EXPECT_EQ(c.replays, "r");
  EXPECT_EQ(c.idle.count(), 99);
  EXPECT_EQ(c.away.count(), 5);
  EXPECT_EQ(c.speed, 3u);
  EXPECT_EQ(c.port, 1234);
  EXPECT_EQ(c.metrics_port, 9100);
  EXPECT_TRUE(c.agones && c.dev);
  ScriptConfig s = script_config(p.settings);
  EXPECT_EQ(s.ticks, 50u);
  EXPECT_TRUE(s.swaps);
  EXPECT_FALSE(s.bye);
  EXPECT_EQ(s.drop_at, 20u);
}

}  // namespace
}  // namespace velmora
