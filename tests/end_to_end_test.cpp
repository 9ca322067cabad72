// The real program, started as a front end would start it, played over TCP.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/disk.h"
#include "core/text.h"
#include "web/json_parser.h"
#include "web/sockets.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/velmora-e2e-XXXXXX";
    const char* made = ::mkdtemp(name);
    if (made == nullptr) panic("cannot make a temporary folder");
    path = made;
  }
  ~TempFolder() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::vector<std::string> replay_files() const {
    std::vector<std::string> out;
    if (!fs::exists(path + "/replays")) return out;
    for (const auto& e : fs::directory_iterator(path + "/replays")) out.push_back(e.path().string());
    std::sort(out.begin(), out.end());
    return out;
  }
  std::string path;
};

// The server binary running as a child process, its standard output read
// through a pipe and its standard error kept in a file.
class ServerProcess {
 public:
  ServerProcess(const std::vector<std::string>& options, const std::string& err_file) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) panic("pipe");
    std::vector<std::string> args{VELMORA_SERVER_BINARY};
    args.insert(args.end(), options.begin(), options.end());
    pid_ = ::fork();
    if (pid_ < 0) panic("fork");
    if (pid_ == 0) {
      const int err = ::open(err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out[1], 1);
      if (err >= 0) ::dup2(err, 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = Fd(out[0]);
  }
  ~ServerProcess() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The first line of standard output, waiting at most five seconds.
  std::string first_line() {
    std::string line;
    char c = 0;
    while (line.size() < 200) {
      pollfd p{out_.get(), POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) break;
      if (::read(out_.get(), &c, 1) != 1 || c == '\n') break;
      line += c;
    }
    return line;
  }

  // The port of the "LISTENING" line; 0 when it did not come.
  std::uint16_t port() {
    const std::string line = first_line();
    EXPECT_TRUE(line.starts_with("LISTENING ")) << line;
    if (!line.starts_with("LISTENING ")) return 0;
    return static_cast<std::uint16_t>(parse_unsigned(std::string_view(line).substr(10), 65535).value_or(0));
  }

  // The exit status, waiting at most five seconds; -1 when it did not end.
  int exit_status() {
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(10ms);
    }
    return -1;
  }

 private:
  pid_t pid_ = -1;
  Fd out_;
};

// Every reply must be one strict JSON object with nothing after it.
JsonValue parse_reply(const std::string& text) {
  JsonCursor cursor{text, 0};
  auto value = json_parse(cursor);
  if (!value || value->kind() != JsonValue::Kind::Obj) {
    ADD_FAILURE() << "not a JSON object: " << text.substr(0, 300);
    return JsonValue(JsonValue::Object{});
  }
  json_skip_white(cursor);
  EXPECT_EQ(cursor.pos, text.size()) << "text after the reply: " << text.substr(0, 300);
  return std::move(*value);
}

class FrontEnd {
 public:
  explicit FrontEnd(std::uint16_t port) {
    auto stream = connect_tcp("127.0.0.1", port, 5000ms);
    if (!stream) panic("cannot connect: " + stream.message());
    stream_ = std::move(*stream);
    set_socket_timeouts(stream_->fd(), 10s, 10s);
    reader_ = std::make_unique<LineReader>(*stream_, 16 * 1024 * 1024);
  }

  void send(std::string_view line) { ASSERT_TRUE(stream_->write(std::string(line) + "\n")) << line; }

  // The next reply line; empty when the server closed the connection.
  std::string receive() {
    std::string line;
    if (reader_->next(line) != LineReader::Outcome::line) return "";
    return line;
  }

  JsonValue ask(std::string_view line) {
    send(line);
    const std::string reply = receive();
    EXPECT_FALSE(reply.empty()) << "no reply to " << line;
    ++replies;
    return parse_reply(reply);
  }

  std::string refusal(std::string_view line) {
    const JsonValue reply = ask(line);
    EXPECT_EQ(reply.get("ok")->as_bool(), false) << line;
    return *reply.get("message")->as_str();
  }

  void close() { stream_->close(); }

  int replies = 0;

 private:
  std::unique_ptr<SocketStream> stream_;
  std::unique_ptr<LineReader> reader_;
};

std::string status_of(const JsonValue& reply) { return *reply.get("state")->get("status")->as_str(); }

std::int64_t tick_of(const JsonValue& reply) { return *reply.get("state")->get("tick")->as_num(); }

// Runs a watched replay to its end (and one request past it); "verified".
JsonValue watch_verified(FrontEnd& fe, const std::string& path) {
  const JsonValue start = fe.ask("watch " + path);
  EXPECT_EQ(*start.get("message")->as_str(), "watching");
  for (int i = 0; i < 200; ++i) {
    const JsonValue reply = fe.ask("run 600");
    if (reply.get("watch")->get("done")->as_bool() == true) return *reply.get("watch")->get("verified");
  }
  ADD_FAILURE() << "the replay never ended";
  return JsonValue();
}

struct Running {
  TempFolder folder;
  std::unique_ptr<ServerProcess> server;
  std::uint16_t port = 0;

  Running() {
    server = std::make_unique<ServerProcess>(
        std::vector<std::string>{"--port", "0", "--replays", folder.path + "/replays"}, folder.path + "/stderr");
    port = server->port();
  }
};

TEST(EndToEnd, AFrontEndPlaysAStageAndWatchesItsReplay) {
  Running run;
  ASSERT_NE(run.port, 0);
  FrontEnd fe(run.port);

  const JsonValue hello = fe.ask("hello");
  EXPECT_EQ(hello.get("has_game")->as_bool(), false);
  EXPECT_EQ(fe.refusal("state"), "no game: send new first");
  const JsonValue started = fe.ask("new 42 1");
  EXPECT_EQ(*started.get("message")->as_str(), "new game");
  EXPECT_EQ(status_of(started), "playing");

  // Errors are answered and change nothing.
  EXPECT_EQ(fe.refusal("TICK"), "unknown request TICK");
  EXPECT_EQ(fe.refusal("run 601 2"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(fe.refusal("tick 70000"), "buttons must be a bitfield number or bot");
  EXPECT_EQ(fe.refusal("give 0 dagger"), "give needs debug on");
  EXPECT_EQ(fe.refusal(""), "empty request");

  // Walk right and strike now and then.
  std::int64_t tick = 0;
  for (int i = 0; i < 40; ++i) {
    EXPECT_EQ(tick_of(fe.ask("tick 18")), ++tick);
    const JsonValue walked = fe.ask("run 30 2");
    tick += 30;
    EXPECT_EQ(tick_of(walked), tick);
    if (status_of(walked) != "playing") break;
  }
  const JsonValue first_x = fe.ask("state");
  const auto* actors = first_x.get("state")->get("actors")->as_arr();
  ASSERT_FALSE(actors->empty());
  EXPECT_GT(*(*actors)[0].get("x")->as_num(), 400);

  // Debug on adds the boxes; the town is a stage a walk right clears.
  EXPECT_EQ(*fe.ask("debug on").get("message")->as_str(), "debug on");
  const JsonValue boxed = fe.ask("state");
  ASSERT_NE(boxed.get("boxes"), nullptr);
  ASSERT_FALSE(boxed.get("boxes")->as_arr()->empty());
  const JsonValue& box = boxed.get("boxes")->as_arr()->front();
  EXPECT_TRUE(box.get("kind")->as_str()->starts_with("hurt"));
  EXPECT_NE(box.get("z1"), nullptr);
  EXPECT_EQ(*fe.ask("goto millbrook").get("message")->as_str(), "moved");
  ASSERT_EQ(run.folder.replay_files().size(), 1u);  // the road so far, saved before the move

  std::string saved;
  std::string outcome = "playing";
  for (int i = 0; i < 30 && outcome == "playing"; ++i) {
    const JsonValue reply = fe.ask("run 600 2");
    outcome = status_of(reply);
    if (reply.get("replay_saved") != nullptr) saved = *reply.get("replay_saved")->as_str();
  }
  EXPECT_EQ(outcome, "cleared");
  ASSERT_FALSE(saved.empty());
  EXPECT_EQ(run.folder.replay_files().size(), 2u);

  for (const std::string& file : run.folder.replay_files()) {
    EXPECT_EQ(watch_verified(fe, file).as_bool(), true) << file;
  }
  EXPECT_EQ(fe.refusal("save_replay"), "watching a replay");

  fe.send("quit");
  EXPECT_EQ(fe.receive(), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_EQ(run.server->exit_status(), 0);
  EXPECT_GT(fe.replies, 90);
}

TEST(EndToEnd, TwoServersFedTheSameScriptAgree) {
  Running a;
  Running b;
  ASSERT_NE(a.port, 0);
  ASSERT_NE(b.port, 0);
  FrontEnd fa(a.port);
  FrontEnd fb(b.port);
  const std::vector<std::string> script{"new 99 3 wizard thief", "run 120 2 2 2", "tick 16 32 64", "run 45 18 0 2 1",
                                        "tick 1024 2048 4096", "run 300 2 18 130"};
  for (const std::string& line : script) {
    const JsonValue ra = fa.ask(line);
    const JsonValue rb = fb.ask(line);
    EXPECT_EQ(ra, rb) << line;
  }
  const JsonValue ha = fa.ask("hash");
  EXPECT_EQ(*ha.get("tick")->as_num(), 467);
  EXPECT_EQ(ha, fb.ask("hash"));
  fa.send("quit");
  fb.send("quit");
  EXPECT_EQ(a.server->exit_status(), 0);
  EXPECT_EQ(b.server->exit_status(), 0);
  // "quit" saved both records, under the same name in each folder.
  ASSERT_EQ(a.folder.replay_files().size(), 1u);
  ASSERT_EQ(b.folder.replay_files().size(), 1u);
}

TEST(EndToEnd, TheGameOutlivesItsConnections) {
  Running run;
  ASSERT_NE(run.port, 0);
  {
    FrontEnd fe(run.port);
    fe.ask("new 7 2");
    fe.ask("run 50 2 2");
    fe.close();  // in the middle of the stage
  }
  {
    // Requests sent without waiting for their replies, then gone.
    FrontEnd fe(run.port);
    for (int i = 0; i < 50; ++i) fe.send("run 2 2");
    fe.close();
  }
  {
    // A line that is not UTF-8 ends the connection without a reply.
    FrontEnd fe(run.port);
    fe.send("tick \xFF");
    EXPECT_EQ(fe.receive(), "");
  }
  {
    // A line past 64 KiB is refused and ends the connection.
    FrontEnd fe(run.port);
    fe.send(std::string(70 * 1024, 'a'));
    EXPECT_EQ(fe.receive(), "{\"ok\":false,\"message\":\"request line too long\"}");
    EXPECT_EQ(fe.receive(), "");
  }
  FrontEnd fe(run.port);
  const JsonValue hash = fe.ask("hash");
  const std::int64_t tick = *hash.get("tick")->as_num();
  EXPECT_GE(tick, 50);
  EXPECT_LE(tick, 150);
  // Each connection that ended with new ticks left a replay file behind.
  const auto files = run.folder.replay_files();
  ASSERT_GE(files.size(), 1u);
  EXPECT_EQ(watch_verified(fe, files.back()).as_bool(), true);
  fe.send("  quit \r");
  EXPECT_EQ(fe.receive(), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_EQ(run.server->exit_status(), 0);
}

TEST(EndToEnd, ATakenPortEndsTheProgram) {
  Running first;
  ASSERT_NE(first.port, 0);
  TempFolder folder;
  ServerProcess second({"--port", std::to_string(first.port)}, folder.path + "/stderr");
  EXPECT_EQ(second.exit_status(), 1);
  RealDisk disk;
  const std::string err = disk.read_file(folder.path + "/stderr", 4096).value();
  EXPECT_NE(err.find("cannot bind 127.0.0.1:" + std::to_string(first.port) + ": Address already in use\n"),
            std::string::npos)
      << err;
  FrontEnd fe(first.port);
  fe.send("quit");
  EXPECT_EQ(first.server->exit_status(), 0);
}

}  // namespace
}  // namespace velmora
