#include "server/recording.h"

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/replay.h"
#include "core/state_hash.h"
#include "server/local_server.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/velmora-recording-XXXXXX";
    const char* made = ::mkdtemp(name);
    if (made == nullptr) panic("cannot make a temporary folder");
    path = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string at(const std::string& name) const { return join_path(path, name); }
  // Every name in the folder, sorted.
  std::vector<std::string> names() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(path)) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string path;
};

void write_file(const std::string& path, const std::string& text, std::int64_t mtime_seconds) {
  RealDisk disk;
  ASSERT_EQ(disk.write_new_file(path, text).value(), NewName::made) << path;
  const timespec times[2] = {{mtime_seconds, 0}, {mtime_seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A real disk whose writes or renames can be made to fail.
class FlakyDisk : public RealDisk {
 public:
  Result<NewName> write_new_file(const std::string& path, std::string_view content) override {
    if (fail_write) {
      // Fails half way, as a full disk would, after leaving the part it wrote.
      (void)RealDisk::write_new_file(path, content.substr(0, content.size() / 2));
      (void)RealDisk::remove_file(path);
      return error("No space left on device");
    }
    return RealDisk::write_new_file(path, content);
  }
  Result<NewName> move_to_new_name(const std::string& from, const std::string& to) override {
    if (fail_move) return error("Input/output error");
    return RealDisk::move_to_new_name(from, to);
  }
  bool fail_write = false;
  bool fail_move = false;
};

struct Recorder {
  explicit Recorder(std::optional<std::string> folder = std::nullopt)
      : state(new_server_state(std::move(folder), disk, clock)) {
    clock.set_wall_seconds(1'700'000'000);
  }
  // A fresh two-player game of the first stage with a record.
  void start(std::uint64_t seed = 5) {
    state.campaign = new_campaign_state(0, new_party({default_class(), default_class()}));
    begin_node_stage(state, seed);
  }
  FlakyDisk disk;
  FakeClock clock;
  ServerState state;
};

std::vector<TicksCommand> ticks_of(const ReplayRecord& record) {
  std::vector<TicksCommand> out;
  for (const Command& c : record.commands) out.push_back(std::get<TicksCommand>(c));
  return out;
}

// ---------------------------------------------------------------------------
// step_tick

TEST(StepTick, RecordsTheWordsRunLength) {
  Recorder r;
  r.start();
  const std::array<Buttons, 4> walk{2, 1, 0, 0};
  for (int i = 0; i < 3; ++i) EXPECT_FALSE(step_tick(r.state, walk));
  const Buttons one[] = {16};
  EXPECT_FALSE(step_tick(r.state, one));
  EXPECT_EQ(ticks_of(*r.state.record),
            (std::vector<TicksCommand>{{{2, 1, 0, 0}, 3}, {{16, 0, 0, 0}, 1}}));
  EXPECT_EQ(r.state.game->tick, 4u);
  EXPECT_TRUE(r.state.unsaved);
}

TEST(StepTick, DoesNothingWithoutAGameOrAfterTheEnd) {
  Recorder r;
  EXPECT_FALSE(step_tick(r.state, {}));
  r.start();
  r.state.game->over = GameStatus::wiped;
  EXPECT_FALSE(step_tick(r.state, {}));
  EXPECT_EQ(r.state.game->tick, 0u);
  EXPECT_TRUE(r.state.record->commands.empty());
  EXPECT_FALSE(r.state.unsaved);

  // Without a record the game still runs.
  r.start();
  r.state.record.reset();
  EXPECT_FALSE(step_tick(r.state, {}));
  EXPECT_EQ(r.state.game->tick, 1u);
  EXPECT_FALSE(r.state.unsaved);
}

TEST(StepTick, AWipedStageIsSavedOnce) {
  TempFolder folder;
  Recorder r(folder.path);
  r.start(12);
  step_tick(r.state, {});
  for (Actor& a : r.state.game->actors) {
    if (a.team == 0) a.state = ActorState::ko;
  }
  const auto path = step_tick(r.state, {});
  ASSERT_TRUE(path);
  EXPECT_EQ(r.state.game->over, GameStatus::wiped);
  EXPECT_EQ(*path, folder.at("replay-1700000000-s12.txt"));
  EXPECT_FALSE(r.state.unsaved);
  EXPECT_EQ(r.state.record->end, (ReplayEnd{2, state_hash(*r.state.game)}));
  EXPECT_FALSE(step_tick(r.state, {}));
  EXPECT_EQ(folder.names(), std::vector<std::string>{"replay-1700000000-s12.txt"});
  // A wiped stage leaves the campaign's party as it was.
  EXPECT_EQ(r.state.campaign->cleared, std::vector<std::uint8_t>(r.state.campaign->cleared.size(), 0));
}

// ---------------------------------------------------------------------------
// save_replay_file

TEST(SaveReplayFile, Refusals) {
  TempFolder folder;
  Recorder none;
  EXPECT_EQ(save_replay_file(none.state).message(), "nothing recorded");
  none.start();
  EXPECT_EQ(save_replay_file(none.state).message(), "this server has no replay folder (start it with --replays DIR)");

  write_file(folder.at("plain"), "x", 1000);
  Recorder blocked(folder.at("plain/replays"));
  blocked.start();
  step_tick(blocked.state, {});
  EXPECT_EQ(save_replay_file(blocked.state).message(),
            "cannot create " + folder.at("plain/replays") + ": Not a directory");
  EXPECT_TRUE(blocked.state.unsaved);  // a later save tries again
  EXPECT_TRUE(blocked.state.record->end);
}

TEST(SaveReplayFile, CreatesTheFolderAndWritesTheRecord) {
  TempFolder folder;
  Recorder r(folder.at("deep/er/replays"));
  r.start(77);
  step_tick(r.state, std::array<Buttons, 2>{2, 2});
  const std::string path = save_replay_file(r.state).value();
  EXPECT_EQ(path, folder.at("deep/er/replays/replay-1700000000-s77.txt"));
  const std::string text = r.disk.read_file(path, max_replay_file_bytes).value();
  EXPECT_EQ(text, write_replay(*r.state.record));
  EXPECT_EQ(read_replay(text).value(), *r.state.record);
  EXPECT_EQ(save_replay_if_unsaved(r.state), std::nullopt);  // saved already
}

TEST(SaveReplayFile, SavesInTheSameSecondGetNumbers) {
  TempFolder folder;
  Recorder r(folder.path);
  r.start(3);
  EXPECT_EQ(save_replay_file(r.state).value(), folder.at("replay-1700000000-s3.txt"));
  EXPECT_EQ(save_replay_file(r.state).value(), folder.at("replay-1700000000-s3-1.txt"));
  EXPECT_EQ(save_replay_file(r.state).value(), folder.at("replay-1700000000-s3-2.txt"));
  r.clock.advance(std::chrono::seconds(1));
  EXPECT_EQ(save_replay_file(r.state).value(), folder.at("replay-1700000001-s3.txt"));
  // A file left by somebody else under the next name is never replaced.
  write_file(folder.at("replay-1700000001-s3-1.txt"), "theirs", 1000);
  EXPECT_EQ(save_replay_file(r.state).value(), folder.at("replay-1700000001-s3-2.txt"));
  EXPECT_EQ(r.disk.read_file(folder.at("replay-1700000001-s3-1.txt"), 100).value(), "theirs");
}

TEST(SaveReplayFile, AFailureLeavesNoFileBehind) {
  TempFolder folder;
  Recorder r(folder.path);
  r.start(8);
  step_tick(r.state, {});
  r.disk.fail_write = true;
  EXPECT_EQ(save_replay_file(r.state).message(),
            "cannot write " + folder.at("replay-1700000000-s8.txt") + ": No space left on device");
  EXPECT_TRUE(folder.names().empty());
  r.disk.fail_write = false;
  r.disk.fail_move = true;
  EXPECT_EQ(save_replay_file(r.state).message(),
            "cannot write " + folder.at("replay-1700000000-s8.txt") + ": Input/output error");
  EXPECT_TRUE(folder.names().empty());
  EXPECT_TRUE(r.state.unsaved);
  r.disk.fail_move = false;
  EXPECT_EQ(save_replay_if_unsaved(r.state), folder.at("replay-1700000000-s8.txt"));
  EXPECT_EQ(folder.names(), std::vector<std::string>{"replay-1700000000-s8.txt"});
}

TEST(SaveReplayFile, StepsAroundALeftoverTemporaryFile) {
  TempFolder folder;
  Recorder r(folder.path);
  r.start(4);
  write_file(folder.at(".writing-1700000000-s4-0.part"), "left by a crash", 1000);
  EXPECT_EQ(save_replay_file(r.state).value(), folder.at("replay-1700000000-s4.txt"));
  EXPECT_EQ(folder.names(), (std::vector<std::string>{".writing-1700000000-s4-0.part", "replay-1700000000-s4.txt"}));
}

// ---------------------------------------------------------------------------
// Pruning

// 35 replay files older than the one about to be written, and things that
// only look like replay files.
void fill_folder(const TempFolder& folder, std::int64_t first_mtime) {
  for (int i = 0; i < 35; ++i) {
    write_file(folder.at("replay-" + std::to_string(1000 + i) + "-s1.txt"), "old", first_mtime + i);
  }
  write_file(folder.at("notes.txt"), "mine", 1);
  write_file(folder.at("replay-notes.md"), "mine", 1);
  fs::create_directory(folder.at("replay-folder.txt"));
  fs::create_symlink(folder.at("notes.txt"), folder.at("replay-link.txt"));
}

std::size_t count_replays(const TempFolder& folder) {
  std::size_t n = 0;
  for (const auto& e : fs::directory_iterator(folder.path)) {
    n += e.is_regular_file() && !e.is_symlink() && is_replay_file_name(e.path().filename().string()) ? 1 : 0;
  }
  return n;
}

TEST(Pruning, KeepsTheThirtyNewestAndTouchesNothingElse) {
  TempFolder folder;
  fill_folder(folder, 1'000'000);
  Recorder r(folder.path);
  r.start(9);
  const std::string path = save_replay_file(r.state).value();
  EXPECT_EQ(count_replays(folder), replays_kept);
  EXPECT_TRUE(fs::exists(path));
  for (int i = 0; i < 35; ++i) {
    // The six oldest went: 35 + 1 - 30.
    EXPECT_EQ(fs::exists(folder.at("replay-" + std::to_string(1000 + i) + "-s1.txt")), i >= 6) << i;
  }
  EXPECT_EQ(r.disk.read_file(folder.at("notes.txt"), 100).value(), "mine");
  EXPECT_TRUE(fs::exists(folder.at("replay-notes.md")));
  EXPECT_TRUE(fs::is_directory(folder.at("replay-folder.txt")));
  EXPECT_TRUE(fs::is_symlink(folder.at("replay-link.txt")));
}

TEST(Pruning, NeverDeletesTheFileJustWritten) {
  TempFolder folder;
  fill_folder(folder, 4'000'000'000);  // files from the future: the new one looks oldest
  Recorder r(folder.path);
  r.start(9);
  const std::string path = save_replay_file(r.state).value();
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(count_replays(folder), replays_kept);
  EXPECT_FALSE(fs::exists(folder.at("replay-1005-s1.txt")));
  EXPECT_TRUE(fs::exists(folder.at("replay-1006-s1.txt")));
}

TEST(Pruning, ListsOnlyRegularReplayFilesOldestFirst) {
  TempFolder folder;
  write_file(folder.at("replay-b.txt"), "", 20);
  write_file(folder.at("replay-a.txt"), "", 20);
  write_file(folder.at("replay-0.txt"), "", 10);
  write_file(folder.at("replay.txt"), "", 1);
  write_file(folder.at("replay-x.txt.bak"), "", 1);
  RealDisk disk;
  const auto files = list_replay_files(disk, folder.path).value();
  std::vector<std::string> paths;
  for (const auto& f : files) paths.push_back(f.path);
  EXPECT_EQ(paths, (std::vector<std::string>{folder.at("replay-0.txt"), folder.at("replay-a.txt"),
                                             folder.at("replay-b.txt")}));
  EXPECT_FALSE(list_replay_files(disk, folder.at("missing")));
}

// ---------------------------------------------------------------------------
// The disk operations the saving rests on

TEST(RealDiskFiles, NewFilesAndNamesNeverReplace) {
  TempFolder folder;
  RealDisk disk;
  EXPECT_TRUE(disk.create_folders(folder.at("a/b//c/")));
  EXPECT_TRUE(disk.create_folders(folder.at("a/b")));
  EXPECT_TRUE(fs::is_directory(folder.at("a/b/c")));
  EXPECT_EQ(disk.write_new_file(folder.at("a/one"), "1").value(), NewName::made);
  EXPECT_EQ(disk.write_new_file(folder.at("a/one"), "2").value(), NewName::exists);
  EXPECT_EQ(disk.write_new_file(folder.at("a/two"), "2").value(), NewName::made);
  EXPECT_EQ(disk.move_to_new_name(folder.at("a/two"), folder.at("a/one")).value(), NewName::exists);
  EXPECT_EQ(disk.read_file(folder.at("a/one"), 10).value(), "1");
  EXPECT_EQ(disk.read_file(folder.at("a/two"), 10).value(), "2");
  EXPECT_EQ(disk.move_to_new_name(folder.at("a/two"), folder.at("a/three")).value(), NewName::made);
  EXPECT_FALSE(fs::exists(folder.at("a/two")));
  EXPECT_EQ(disk.read_file(folder.at("a/three"), 10).value(), "2");
  EXPECT_EQ(disk.create_folders(folder.at("a/one/x")).message(), "Not a directory");
  EXPECT_TRUE(disk.remove_file(folder.at("a/one")));
  EXPECT_EQ(disk.remove_file(folder.at("a/one")).message(), "No such file or directory");
  EXPECT_EQ(disk.read_file(folder.at("a/three"), 0).message(), "file too large");
}

// ---------------------------------------------------------------------------
// The local server keeps the game across connections and saves on the way

class ScriptStream : public Stream {
 public:
  explicit ScriptStream(std::string input) : input_(std::move(input)) {}
  Result<std::size_t> read(char* buffer, std::size_t size) override {
    const std::size_t n = std::min(size, input_.size() - at_);
    input_.copy(buffer, n, at_);
    at_ += n;
    return n;
  }
  Status write(std::string_view bytes) override {
    output->append(bytes);
    return done();
  }
  void close() override {}
  std::string* output = nullptr;

 private:
  std::string input_;
  std::size_t at_ = 0;
};

class ScriptListener : public Listener {
 public:
  Result<std::unique_ptr<Stream>> accept() override {
    if (inputs.empty()) panic("a test connection script did not end with quit");
    auto stream = std::make_unique<ScriptStream>(inputs.front());
    inputs.pop_front();
    outputs.emplace_back();
    stream->output = &outputs.back();
    return std::unique_ptr<Stream>(std::move(stream));
  }
  std::uint16_t port() const override { return 1; }
  void close() override {}
  std::deque<std::string> inputs;
  std::deque<std::string> outputs;
};

TEST(LocalService, SavesWhenAConnectionEndsMidStageAndOnQuit) {
  TempFolder folder;
  Recorder r(folder.path);
  RequestService service(r.state);
  ScriptListener listener;
  listener.inputs = {"new 5 1\ntick 2\ntick 2\n", "hash\ntick 2\nquit\n"};
  EXPECT_EQ(serve_lines(listener, service), 0);
  EXPECT_EQ(folder.names(), (std::vector<std::string>{"replay-1700000000-s5-1.txt", "replay-1700000000-s5.txt"}));
  EXPECT_NE(listener.outputs[1].find("\"tick\":2,"), std::string::npos) << listener.outputs[1];  // the same game
  EXPECT_TRUE(listener.outputs[1].ends_with("{\"ok\":true,\"message\":\"bye\"}\n"));
  const std::string first = r.disk.read_file(folder.at("replay-1700000000-s5.txt"), 4096).value();
  EXPECT_NE(first.find("ticks 2 2 0 0 0\nend 2 "), std::string::npos) << first;
  const std::string second = r.disk.read_file(folder.at("replay-1700000000-s5-1.txt"), 4096).value();
  EXPECT_NE(second.find("ticks 3 2 0 0 0\nend 3 "), std::string::npos) << second;
}

}  // namespace
}  // namespace velmora
