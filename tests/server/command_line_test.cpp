#include "server/command_line.h"

#include <gtest/gtest.h>

#include <sstream>

#include "core/base/text.h"
#include "core/data/game_data.h"
#include "tests/support/support.h"

namespace velmora {
namespace {

using testing::DataTexts;
using testing::MemoryDisk;

struct Program {
  MemoryDisk disk;
  std::ostringstream out, err;
  ProgramIo io{disk, out, err};

  Settings parse(std::vector<std::string> args) {
    ParsedOptions p = parse_options(args, io);
    EXPECT_FALSE(p.exit_status) << err.str();
    return p.settings;
  }
  int run(std::vector<std::string> args) { return run_program(args, io); }
  void put_data(const std::string& dir, const DataTexts& d) {
    for (std::size_t i = 0; i < data_file_count; ++i) {
      disk.files[join_path(dir, std::string(data_file_names[i]))] = d.texts[i];
    }
  }
};

TEST(Options, NumbersFallBackEachInItsOwnWay) {
  Program r;
  EXPECT_EQ(r.parse({}).port, 7790);
  EXPECT_FALSE(r.parse({}).replays);
  EXPECT_EQ(r.parse({"--port", "+8000"}).port, 8000);
  EXPECT_EQ(r.parse({"--port", "70000"}).port, 7790);
  EXPECT_EQ(r.parse({"--port", "9000", "--port", "x"}).port, 9000);
  EXPECT_EQ(r.parse({"--port"}).port, 7790);
  EXPECT_FALSE(r.parse({"--port", "--check"}).check);  // consumed even when not a number

  const Settings s = r.parse({"--seed", "5", "--seed", "x", "--idle", "5", "--idle", "x", "--players", "x",
                              "--speed", "4294967298", "--metrics-port", "65537", "--slot", "3", "--session", "-1",
                              "--ticks", "9", "--ticks", "", "--away", "+7", "--drop-at", "12"});
  EXPECT_FALSE(s.seed);
  EXPECT_EQ(s.idle_seconds, 5u);
  EXPECT_EQ(s.players, 1u);
  EXPECT_EQ(s.speed, 2u);  // the low 32 bits
  EXPECT_EQ(s.metrics_port, 1);
  EXPECT_EQ(s.slot, 3u);
  EXPECT_FALSE(s.session);
  EXPECT_EQ(s.ticks, 9u);
  EXPECT_EQ(s.away_seconds, 7u);
  EXPECT_EQ(s.drop_at, 12u);
  EXPECT_EQ(r.parse({"--speed", "x"}).speed, 1u);
  EXPECT_EQ(r.parse({"--speed", "0"}).speed, 0u);
  EXPECT_FALSE(r.parse({"--metrics-port", "9100", "--metrics-port", "x"}).metrics_port);
  EXPECT_EQ(r.err.str(), "");
}

TEST(Options, ValuesAreTakenWhateverTheyLookLike) {
  Program r;
  const Settings s = r.parse({"--bind", "--check", "--replays", "--online", "--goto-at", "+30", "--bot", "--bye"});
  EXPECT_EQ(s.bind, "--check");
  EXPECT_EQ(s.replays, "--online");
  EXPECT_FALSE(s.check || s.online || s.bot);
  EXPECT_EQ(s.goto_at, (GotoAt{30, "--bot"}));
  EXPECT_TRUE(s.bye);
  EXPECT_FALSE(r.parse({"--replays", "dir", "--replays"}).replays);
}

TEST(Options, ExitStatusesAndTheirLines) {
  const std::string hash = hex16(game_data().data_hash);
  const std::string usage =
      "velmora-server [--port N] [--replays DIR] [--data DIR]  (line protocol on 127.0.0.1, see "
      "documentation/protocol.md)\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string out, err;
  };
  const Case cases[] = {
      {{"--bogus"}, 2, "", "unknown option --bogus\n"},
      {{"run"}, 2, "", "unknown option run\n"},
      {{"--PORT", "1"}, 2, "", "unknown option --PORT\n"},
      {{"--seed"}, 2, "", "--seed needs a value\n"},
      {{"--check", "--classes"}, 2, "", "--classes needs a value\n"},
      {{"--goto-at", "10"}, 2, "", "--goto-at needs a tick count and an area\n"},
      {{"--goto-at", "x", "town"}, 2, "", "--goto-at needs a tick count and an area\n"},
      {{"--data"}, 2, "", "--data needs a folder\n"},
      {{"--bogus", "--help"}, 2, "", "unknown option --bogus\n"},
      {{"--port", "1", "-h", "--bogus"}, 0, usage, ""},
      {{"--help"}, 0, usage, ""},
      {{"--versions", "--check"}, 0, "game data valid " + hash + "\n", ""},
      {{"--versions"}, 0, "protocol 2 data " + hash + "\n", ""},
  };
  for (const Case& c : cases) {
    Program r;
    EXPECT_EQ(r.run(c.args), c.status) << c.args[0];
    EXPECT_EQ(r.out.str(), c.out) << c.args[0];
    EXPECT_EQ(r.err.str(), c.err) << c.args[0];
  }
}

TEST(DataFolder, AFolderThatCannotBeLoadedExitsOne) {
  struct Case {
    std::string dir, file, append;
    bool remove;
    std::string err;  // the start of standard error
    long lines;
  };
  const Case cases[] = {
      {"set", "loot.txt", "", true, "cannot read set/loot.txt: No such file or directory\n", 1},
      {"set/", "kinds.txt", "# \xFF\n", false, "cannot read set/kinds.txt: invalid UTF-8\n", 1},
      // Each fault on a line of its own, as the loader words it.
      {"set", "moves.txt", "\nstray line\n[bad\n", false, "moves.txt:", 2},
  };
  for (const Case& c : cases) {
    Program r;
    r.put_data(c.dir, DataTexts::builtin());
    const std::string path = join_path(c.dir, c.file);
    if (c.remove) r.disk.files.erase(path);
    else r.disk.files[path] += c.append;
    EXPECT_EQ(r.run({"--data", c.dir, "--check"}), 1) << c.file;
    const std::string err = r.err.str();
    EXPECT_TRUE(err.starts_with(c.err)) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), c.lines) << err;
    EXPECT_EQ(r.out.str(), "");
  }
}

TEST(DataFolder, TheFolderIsInstalledInPlaceOfTheBuiltInSet) {
  Program r;
  auto d = DataTexts::builtin();
  std::string& region = d.file("region.txt");
  region.replace(region.find("The Bandit King"), 15, "The Bandit Queen");
  r.put_data("set", d);
  ASSERT_EQ(r.run({"--data", "set", "--check"}), 0) << r.err.str();
  const std::array<std::string_view, data_file_count> texts{d.texts[0], d.texts[1], d.texts[2],
                                                             d.texts[3], d.texts[4], d.texts[5]};
  ASSERT_NE(data_hash(texts), data_hash(builtin_texts()));
  EXPECT_EQ(r.out.str(), "game data valid " + hex16(data_hash(texts)) + "\n");
}

TEST(DataFolder, SecondInstallIsRefusedWithoutACrash) {
  Program r;
  r.put_data("a", DataTexts::builtin());
  r.put_data("b", DataTexts::builtin());
  EXPECT_EQ(r.run({"--data", "a", "--data", "b", "--check"}), 1);
  EXPECT_EQ(r.err.str(), "game data is already in use\n");
}

TEST(OnlineSetup, OpeningRequestLine) {
  EXPECT_EQ(opening_request_line(7, 2, "A,B", "C"), "new 7 2 A B campaign=C");
  EXPECT_EQ(opening_request_line(1, 1, std::nullopt, std::nullopt), "new 1 1");
  EXPECT_EQ(opening_request_line(1, 3, "a,,b", std::nullopt), "new 1 3 a  b");
}

}  // namespace
}  // namespace velmora
