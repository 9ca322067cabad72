#include "server/service/recording.h"

#include <gtest/gtest.h>

#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <stdlib.h>
#include <sys/stat.h>

#include "core/replay/replay.h"
#include "core/world/state_hash.h"
#include "server/service/local_server.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

// A real disk in a folder of its own, whose writes or renames can be made to fail.
class TestDisk : public RealDisk {
 public:
  TestDisk() {
    char name[] = "/tmp/velmora-recording-XXXXXX";
    if (::mkdtemp(name) == nullptr) panic("cannot make a temporary folder");
    folder = name;
  }
  ~TestDisk() override {
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  Result<NewName> write_new_file(const std::string& path, std::string_view content) override {
    if (fail_write) return error("No space left on device");
    return RealDisk::write_new_file(path, content);
  }
  Result<NewName> move_to_new_name(const std::string& from, const std::string& to) override {
    if (fail_move) return error("Input/output error");
    return RealDisk::move_to_new_name(from, to);
  }

  std::string at(const std::string& name) const { return join_path(folder, name); }
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(folder)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  void put(const std::string& name, const std::string& text, std::int64_t mtime) {
    ASSERT_EQ(RealDisk::write_new_file(at(name), text).value(), NewName::made) << name;
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, at(name).c_str(), times, 0), 0);
  }
  std::string text(const std::string& name) { return read_file(at(name), max_replay_file_bytes).value(); }

  std::string folder;
  bool fail_write = false;
  bool fail_move = false;
};

// A service state saving into the disk's folder (or `sub` below it) at a fixed time.
struct Recorder {
  explicit Recorder(bool with_folder = true, const std::string& sub = "")
      : state(new_server_state(with_folder ? std::optional(sub.empty() ? disk.folder : disk.at(sub)) : std::nullopt,
                               disk, clock)) {
    clock.set_wall_seconds(1'700'000'000);
    state.log_error = [this](std::string_view line) { logged.emplace_back(line); };
  }
  // A fresh two-player game of the first stage with a record.
  void start(std::uint64_t seed) {
    state.campaign = new_campaign_state(0, new_party({default_class(), default_class()}));
    begin_node_stage(state, seed);
  }
  Result<std::string> save() { return save_replay_file(state); }
  TestDisk disk;
  FakeClock clock;
  ServerState state;
  std::vector<std::string> logged;
};

TEST(StepTick, RecordsTheWordsAndRunsTheTick) {
  Recorder r(false);
  EXPECT_FALSE(step_tick(r.state, {}));  // no game
  r.start(5);
  step_tick(r.state, std::array<Buttons, 1>{16});
  EXPECT_EQ(r.state.record->commands, (std::vector<Command>{TicksCommand{{16, 0, 0, 0}, 1}}));
  EXPECT_EQ(r.state.game->tick, 1u);
  EXPECT_TRUE(r.state.unsaved);

  // Without a record the game still runs, and nothing is unsaved.
  r.start(5);
  r.state.record.reset();
  step_tick(r.state, {});
  EXPECT_EQ(r.state.game->tick, 1u);
  EXPECT_FALSE(r.state.unsaved);
}

TEST(StepTick, AWipedStageIsSavedOnceAndThenStands) {
  Recorder r;
  r.start(12);
  step_tick(r.state, {});
  for (Actor& a : r.state.game->actors) {
    if (a.team == 0) a.state = ActorState::ko;
  }
  EXPECT_EQ(step_tick(r.state, {}), r.disk.at("replay-1700000000-s12.txt"));
  EXPECT_EQ(r.state.game->over, GameStatus::wiped);
  EXPECT_FALSE(r.state.unsaved);
  EXPECT_EQ(r.state.record->end, (ReplayEnd{2, state_hash(*r.state.game)}));
  const World ended = *r.state.game;
  const std::size_t commands = r.state.record->commands.size();
  EXPECT_FALSE(step_tick(r.state, {}));
  EXPECT_EQ(*r.state.game, ended);
  EXPECT_EQ(r.state.record->commands.size(), commands);
  EXPECT_EQ(r.disk.names(), std::vector<std::string>{"replay-1700000000-s12.txt"});
  // Only a cleared stage marks the campaign's node.
  EXPECT_EQ(r.state.campaign->cleared, std::vector<std::uint8_t>(r.state.campaign->cleared.size(), 0));
}

TEST(SaveReplayFile, RefusalsInOrder) {
  Recorder none(false);
  EXPECT_EQ(none.save().message(), "nothing recorded");
  none.start(1);
  EXPECT_EQ(none.save().message(), "this server has no replay folder (start it with --replays DIR)");

  Recorder blocked(true, "plain/replays");
  blocked.disk.put("plain", "x", 1000);
  blocked.start(1);
  step_tick(blocked.state, {});
  EXPECT_EQ(blocked.save().message(), "cannot create " + blocked.disk.at("plain/replays") + ": Not a directory");
  EXPECT_TRUE(blocked.state.unsaved);  // a later save tries again
  EXPECT_TRUE(blocked.state.record->end);
  // A save that could not be written is logged; a save with nothing to do is not.
  EXPECT_TRUE(none.logged.empty());
  EXPECT_EQ(blocked.logged,
            std::vector<std::string>{"cannot create " + blocked.disk.at("plain/replays") + ": Not a directory"});
}

TEST(SaveReplayFile, WritesTheRecordUnderAFreeName) {
  Recorder r(true, "deep//er/");  // missing parents are made; doubled slashes do no harm
  r.start(3);
  step_tick(r.state, std::array<Buttons, 2>{2, 2});
  EXPECT_EQ(r.save().value(), r.disk.at("deep//er/replay-1700000000-s3.txt"));
  EXPECT_EQ(read_replay(r.disk.text("deep/er/replay-1700000000-s3.txt")).value(), *r.state.record);
  EXPECT_FALSE(r.state.unsaved);
  EXPECT_EQ(save_replay_if_unsaved(r.state), std::nullopt);

  // A leftover temporary file is stepped around; a name in use is never replaced.
  r.disk.put("deep/er/.writing-1700000000-s3-0.part", "left by a crash", 1000);
  EXPECT_EQ(r.save().value(), r.disk.at("deep//er/replay-1700000000-s3-1.txt"));
  r.disk.put("deep/er/replay-1700000000-s3-2.txt", "theirs", 1000);
  EXPECT_EQ(r.save().value(), r.disk.at("deep//er/replay-1700000000-s3-3.txt"));
  EXPECT_EQ(r.disk.text("deep/er/replay-1700000000-s3-2.txt"), "theirs");
  r.clock.advance(std::chrono::seconds(1));
  EXPECT_EQ(r.save().value(), r.disk.at("deep//er/replay-1700000001-s3.txt"));
  EXPECT_EQ(r.disk.read_file(r.disk.at("deep/er/replay-1700000001-s3.txt"), 10).message(), "file too large");
}

TEST(SaveReplayFile, AFailureLeavesNoFileBehind) {
  Recorder r;
  r.start(8);
  step_tick(r.state, {});
  const std::string path = r.disk.at("replay-1700000000-s8.txt");
  r.disk.fail_write = true;
  EXPECT_EQ(r.save().message(), "cannot write " + path + ": No space left on device");
  EXPECT_TRUE(r.disk.names().empty());
  r.disk.fail_write = false;
  r.disk.fail_move = true;
  EXPECT_EQ(r.save().message(), "cannot write " + path + ": Input/output error");
  EXPECT_TRUE(r.disk.names().empty());
  EXPECT_TRUE(r.state.unsaved);
  r.disk.fail_move = false;
  EXPECT_EQ(save_replay_if_unsaved(r.state), path);
  EXPECT_EQ(r.disk.names(), std::vector<std::string>{"replay-1700000000-s8.txt"});
  EXPECT_EQ(r.logged, (std::vector<std::string>{"cannot write " + path + ": No space left on device",
                                                "cannot write " + path + ": Input/output error"}));
}

// 35 older replay files, and things that only look like replay files.
void fill_folder(TestDisk& disk, std::int64_t first_mtime) {
  for (int i = 0; i < 35; ++i) disk.put("replay-" + std::to_string(1000 + i) + "-s1.txt", "old", first_mtime + i);
  disk.put("notes.txt", "mine", 1);
  disk.put("replay-notes.md", "mine", 1);
  fs::create_directory(disk.at("replay-folder.txt"));
  fs::create_symlink(disk.at("notes.txt"), disk.at("replay-link.txt"));
}

std::vector<std::string> replay_names(TestDisk& disk) {
  const auto files = list_replay_files(disk, disk.folder);
  std::vector<std::string> out;
  if (files) {
    for (const ReplayFile& f : *files) out.push_back(fs::path(f.path).filename());
  }
  return out;
}

// 35 older replay files (or, from the future, newer ones, so that the new
// file looks oldest): 35 + 1 - 30 = 6 go, oldest first, never the new one.
TEST(Pruning, KeepsTheThirtyNewestAndTouchesNothingElse) {
  for (const std::int64_t first_mtime : {1'000'000LL, 4'000'000'000LL}) {
    Recorder r;
    fill_folder(r.disk, first_mtime);
    r.start(9);
    const std::string path = r.save().value();
    auto kept = replay_names(r.disk);
    ASSERT_EQ(kept.size(), replays_kept);
    std::erase(kept, fs::path(path).filename());
    EXPECT_EQ(kept.front(), "replay-1006-s1.txt");
    EXPECT_EQ(r.disk.text("notes.txt"), "mine");
    EXPECT_TRUE(fs::exists(r.disk.at("replay-notes.md")));
    EXPECT_TRUE(fs::is_directory(r.disk.at("replay-folder.txt")));
    EXPECT_TRUE(fs::is_symlink(r.disk.at("replay-link.txt")));
  }
}

TEST(Pruning, ListsReplayFilesOldestFirstTiesByPath) {
  TestDisk disk;
  for (const char* name : {"replay-a.txt", "replay-b.txt", "replay-c.txt", "replay-d.txt", "replay-e.txt"}) {
    disk.put(name, "", 20);
  }
  disk.put("replay-z.txt", "", 10);
  disk.put("replay.txt", "", 1);
  disk.put("replay-x.txt.bak", "", 1);
  EXPECT_EQ(replay_names(disk), (std::vector<std::string>{"replay-z.txt", "replay-a.txt", "replay-b.txt",
                                                          "replay-c.txt", "replay-d.txt", "replay-e.txt"}));
  EXPECT_FALSE(list_replay_files(disk, disk.at("missing")));
}

// Connections of scripted input whose replies go nowhere.
class ScriptListener : public Listener {
  struct Script : Stream {
    std::string input;
    std::size_t at = 0;
    Result<std::size_t> read(char* buffer, std::size_t size) override {
      const std::size_t n = input.copy(buffer, size, at);
      at += n;
      return n;
    }
    Status write(std::string_view) override { return done(); }
    void close() override {}
  };

 public:
  Result<std::unique_ptr<Stream>> accept() override {
    if (inputs.empty()) panic("a test connection script did not end with quit");
    auto stream = std::make_unique<Script>();
    stream->input = inputs.front();
    inputs.pop_front();
    return std::unique_ptr<Stream>(std::move(stream));
  }
  std::uint16_t port() const override { return 1; }
  void close() override {}
  std::deque<std::string> inputs;
};

TEST(LocalService, SavesWhenAConnectionEndsMidStageAndOnQuit) {
  Recorder r;
  RequestService service(r.state);
  ScriptListener listener;
  listener.inputs = {"new 5 1\ntick 2\ntick 2\n", "hash\ntick 2\nquit\n"};
  EXPECT_EQ(serve_lines(listener, service), 0);
  EXPECT_EQ(r.disk.names(), (std::vector<std::string>{"replay-1700000000-s5-1.txt", "replay-1700000000-s5.txt"}));
  EXPECT_NE(r.disk.text("replay-1700000000-s5.txt").find("ticks 2 2 0 0 0\nend 2 "), std::string::npos);
  // The game lived on into the second connection.
  EXPECT_NE(r.disk.text("replay-1700000000-s5-1.txt").find("ticks 3 2 0 0 0\nend 3 "), std::string::npos);
}

// A replay folder that cannot be made, even by root (its parent is a file):
// every save the server tries is logged with the path and the reason, and
// the game goes on across connections as before.
TEST(LocalService, AFailedSaveIsLoggedAndTheGameGoesOn) {
  Recorder r(true, "plain/replays");
  r.disk.put("plain", "x", 1000);
  RequestService service(r.state);
  ScriptListener listener;
  listener.inputs = {"new 5 1\ntick 2\n", "tick 2\nsave_replay\nquit\n"};
  EXPECT_EQ(serve_lines(listener, service), 0);
  const std::string failure = "cannot create " + r.disk.at("plain/replays") + ": Not a directory";
  // The end of the first connection, the request and "quit".
  EXPECT_EQ(r.logged, std::vector<std::string>(3, failure));
  EXPECT_EQ(r.state.game->tick, 2u);
  EXPECT_TRUE(r.state.unsaved);
}

}  // namespace
}  // namespace velmora
