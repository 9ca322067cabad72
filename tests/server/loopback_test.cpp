// Real online games on loopback: the program as an online server and four
// scripted bot clients, each a process of its own, read by their status
// lines; then the server's replay of the stage played back in local mode.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <iostream>
#include <poll.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "core/base/disk.h"
#include "core/base/text.h"
#include "web/sockets.h"

namespace velmora {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

struct Exit {
  int status = -1;
  std::uint64_t cpu_ms = 0;
};

// Limits a child process starts under: its number of processes and threads
// (counted for its user), and the user it runs as.
struct Confinement {
  rlim_t threads = RLIM_INFINITY;
  std::optional<uid_t> user;
};

// The program as a child process: standard output through a pipe, standard
// error into a file of the run's folder.
class Process {
 public:
  Process(std::vector<std::string> args, const std::string& err_path, const Confinement& confined = {}) {
    args.insert(args.begin(), VELMORA_SERVER_BINARY);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) panic("pipe");
    pid_ = ::fork();
    if (pid_ < 0) panic("fork");
    if (pid_ == 0) {
      const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      ::dup2(out[1], 1);
      ::dup2(err, 2);
      const rlimit threads{confined.threads, confined.threads};
      if (confined.threads != RLIM_INFINITY && ::setrlimit(RLIMIT_NPROC, &threads) != 0) ::_exit(126);
      if (confined.user && (::setgid(*confined.user) != 0 || ::setuid(*confined.user) != 0)) ::_exit(126);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(out[1]);
    out_ = Fd(out[0]);
    err_path_ = err_path;
  }
  ~Process() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  // One line of standard output; empty when none came within the wait.
  std::string line(std::chrono::milliseconds wait) {
    std::string text;
    char c = 0;
    pollfd p{out_.get(), POLLIN, 0};
    while (::poll(&p, 1, static_cast<int>(wait.count())) > 0 && ::read(out_.get(), &c, 1) == 1 && c != '\n') text += c;
    return text;
  }
  std::string standard_error() const {
    auto text = RealDisk().read_file(err_path_, 1 << 20);
    return text ? *text : "";
  }
  void kill() { ::kill(pid_, SIGKILL); }
  void signal(int number) { ::kill(pid_, number); }
  // Waits for the end, at most `wait`.
  Exit wait(std::chrono::milliseconds wait) {
    Exit e;
    for (auto left = wait; left > 0ms; left -= 10ms) {
      int status = 0;
      rusage usage{};
      if (::wait4(pid_, &status, WNOHANG, &usage) == pid_) {
        pid_ = -1;
        e.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        e.cpu_ms = static_cast<std::uint64_t>((usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000 +
                                              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000);
        return e;
      }
      std::this_thread::sleep_for(10ms);
    }
    return e;
  }

 private:
  pid_t pid_ = -1;
  Fd out_;
  std::string err_path_;
};

// The numbers of a status line by name ("slot", "fighters", "compared", ...).
std::map<std::string, std::uint64_t> status_numbers(const std::string& line) {
  std::map<std::string, std::uint64_t> out;
  const auto words = split_words(line);
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (auto n = parse_unsigned(words[i])) out[std::string(words[i - 1])] = *n;
  }
  return out;
}

struct Variant {
  std::uint64_t ticks = 600;
  std::vector<std::string> server;                 // options beyond the common ones
  std::array<std::vector<std::string>, 4> client;  // options of each client
  int killed = -1;                                 // a client killed half-way
};

struct ClientRun {
  Exit exit;
  std::string line;
  std::map<std::string, std::uint64_t> numbers;
  std::string log;
};

struct GameRun {
  std::vector<ClientRun> clients;
  Exit server;
  std::string server_log;
  std::vector<std::string> replays;
};

class LoopbackGame {
 public:
  LoopbackGame() {
    char name[] = "/tmp/velmora-loopback-XXXXXX";
    if (::mkdtemp(name) == nullptr) panic("cannot make a temporary folder");
    folder_ = name;
  }
  ~LoopbackGame() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  GameRun play(const Variant& v) {
    std::vector<std::string> options{"--online", "--port", "0", "--players", "4", "--seed", "7",
                                     "--idle", "2", "--away", "2", "--replays", folder_ + "/replays"};
    options.insert(options.end(), v.server.begin(), v.server.end());
    Process server(options, folder_ + "/server.err");
    const std::string listening = server.line(10s);
    EXPECT_TRUE(listening.starts_with("LISTENING ")) << listening;
    const std::string address = "127.0.0.1:" + listening.substr(std::min<std::size_t>(10, listening.size()));
    std::vector<std::unique_ptr<Process>> clients;
    for (std::size_t i = 0; i < 4; ++i) {
      std::vector<std::string> args{"--connect", address, "--bot", "--ticks", std::to_string(v.ticks)};
      args.insert(args.end(), v.client[i].begin(), v.client[i].end());
      clients.push_back(std::make_unique<Process>(args, folder_ + "/client" + std::to_string(i) + ".err"));
    }
    if (v.killed >= 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(v.ticks * 1000 / 60 / 2));
      clients[static_cast<std::size_t>(v.killed)]->kill();
    }
    const auto budget = std::chrono::milliseconds(v.ticks * 1000 / 60 * 3 + 30000);
    GameRun run;
    for (auto& c : clients) {
      ClientRun r;
      r.line = c->line(budget);
      r.exit = c->wait(30s);
      r.numbers = status_numbers(r.line);
      r.log = c->standard_error();
      run.clients.push_back(std::move(r));
    }
    run.server = server.wait(30s);
    run.server_log = server.standard_error();
    if (fs::exists(folder_ + "/replays")) {
      for (const auto& e : fs::directory_iterator(folder_ + "/replays")) run.replays.push_back(e.path().string());
    }
    std::sort(run.replays.begin(), run.replays.end());
    return run;
  }

  const std::string& folder() const { return folder_; }

  // Plays a replay file back in local mode: its "verified" text ("true",
  // "false", or what went wrong).
  std::string verify(const std::string& path) {
    Process local({"--port", "0"}, folder_ + "/local.err");
    const std::string listening = local.line(10s);
    auto stream = connect_tcp("127.0.0.1", static_cast<std::uint16_t>(parse_unsigned(listening.substr(10)).value_or(0)), 5s);
    if (!stream) return "no local server: " + listening;
    set_socket_timeouts((*stream)->fd(), 30s, 5s);
    LineReader reader(**stream, 64 << 20);
    std::string reply;
    (void)(*stream)->write("watch " + path + "\n");
    if (reader.next(reply) != LineReader::Outcome::line || !reply.starts_with("{\"ok\":true")) return reply;
    for (int i = 0; i < 2000; ++i) {
      (void)(*stream)->write("run 600\n");
      if (reader.next(reply) != LineReader::Outcome::line) return "no reply";
      if (reply.find("\"done\":true") == std::string::npos) continue;
      const auto at = reply.find("\"verified\":");
      return at == std::string::npos ? "no verdict" : reply.substr(at + 11, reply.find_first_of(",}", at) - at - 11);
    }
    return "the replay never ended";
  }

 private:
  std::string folder_;
};

// Every client that ran to its end: status 0, no desync, its hashes
// compared about once a second of confirmed play, and no sanitizer report.
void expect_in_step(const GameRun& run, int killed = -1) {
  for (std::size_t i = 0; i < run.clients.size(); ++i) {
    const ClientRun& c = run.clients[i];
    EXPECT_EQ(c.log.find("Sanitizer"), std::string::npos) << c.log;
    if (static_cast<int>(i) == killed) continue;
    EXPECT_EQ(c.exit.status, 0) << c.line << "\n" << c.log;
    EXPECT_EQ(c.numbers.at("desyncs"), 0u) << c.line;
    const std::uint64_t confirmed = c.numbers.at("confirmed");
    EXPECT_GE(c.numbers.at("compared") + 2, confirmed / 60) << c.line;
    EXPECT_GT(c.numbers.at("compared"), 0u) << c.line;
  }
  EXPECT_EQ(run.server.status, 0) << run.server_log;
  EXPECT_EQ(run.server_log.find("Sanitizer"), std::string::npos) << run.server_log;
}

// The log line of a client that begins with the words, without its line end.
std::string log_line(const std::string& log, std::string_view words) {
  const auto at = log.find(words);
  return at == std::string::npos ? "" : log.substr(at, log.find('\n', at) - at);
}

// The figures of a run, one line per process, for the log of the test.
void print_figures(const GameRun& run) {
  for (const ClientRun& c : run.clients) {
    std::cout << c.line.substr(0, c.line.find(" session")) << ": " << log_line(c.log, "rolled back") << ", deepest "
              << (c.numbers.count("deepest") ? c.numbers.at("deepest") : 0) << "; "
              << log_line(c.log, "first confirmed ticks after ") << "; cpu " << c.exit.cpu_ms << " ms\n";
  }
  // Peak memory is left to tools/soak: wait4's ru_maxrss would count the
  // pages a child had from this test before its exec.
  std::cout << "server: cpu " << run.server.cpu_ms << " ms\n";
}

TEST(Loopback, FourBotsPlayAMinuteInStepAndTheReplayVerifies) {
  LoopbackGame game;
  const GameRun run = game.play(Variant{3600, {}, {}, -1});
  expect_in_step(run);
  print_figures(run);
  for (const ClientRun& c : run.clients) EXPECT_EQ(c.numbers.at("reconnects"), 0u) << c.line;
  ASSERT_EQ(run.replays.size(), 1u);
  EXPECT_EQ(game.verify(run.replays[0]), "true");
}

// One client drops its session and comes back to its slot; another is killed
// half-way, and its fighter leaves once the away time has passed.
TEST(Loopback, ADroppedClientReconnectsAndAKilledClientsFighterLeaves) {
  LoopbackGame game;
  const GameRun run = game.play(Variant{600, {}, {{{"--drop-at", "200"}, {}, {}, {}}}, 3});
  expect_in_step(run, 3);
  EXPECT_EQ(run.clients[3].exit.status, 128 + SIGKILL);
  const ClientRun& dropped = run.clients[0];
  EXPECT_EQ(dropped.numbers.at("reconnects"), 1u) << dropped.line;
  const std::string joined = "joined slot " + std::to_string(dropped.numbers.at("slot")) + " in ";
  const auto first = dropped.log.find(joined);
  ASSERT_NE(first, std::string::npos) << dropped.log;
  EXPECT_NE(dropped.log.find(joined, first + 1), std::string::npos) << dropped.log;
  // The first fighter to leave is the killed client's (the others leave once
  // their clients have ended).
  std::uint64_t killed = 0 + 1 + 2 + 3;
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(run.clients[i].numbers.at("fighters"), 3u) << run.clients[i].line;
    killed -= run.clients[i].numbers.at("slot");
  }
  const auto first_leave = run.server_log.find(" left the stage");
  ASSERT_NE(first_leave, std::string::npos) << run.server_log;
  EXPECT_EQ(run.server_log.rfind("slot " + std::to_string(killed), first_leave), first_leave - 6) << run.server_log;
}

// A goto in the server's development mode moves every client to the next
// epoch; at the end every client says goodbye and none reconnects. Both
// stages' replays verify.
TEST(Loopback, AGotoMovesEveryClientAndClientsThatSayByeEnd) {
  LoopbackGame game;
  Variant v{600, {"--dev"}, {}, -1};
  for (auto& c : v.client) c = {"--bye"};
  v.client[0].insert(v.client[0].end(), {"--goto-at", "200", "millbrook"});
  const GameRun run = game.play(v);
  expect_in_step(run);
  for (const ClientRun& c : run.clients) {
    EXPECT_EQ(c.numbers.at("epoch"), 1u) << c.line;
    EXPECT_EQ(c.numbers.at("reconnects"), 0u) << c.line;
    EXPECT_EQ(c.log.find("goto refused"), std::string::npos) << c.log;
    EXPECT_EQ(c.log.find("reconnection"), std::string::npos) << c.log;
  }
  ASSERT_EQ(run.replays.size(), 2u);  // the road until the goto, and the town
  for (const std::string& replay : run.replays) EXPECT_EQ(game.verify(replay), "true") << replay;
}

// At its thread limit, run as an unprivileged user with room for two
// connection threads, the server closes the connections it has no thread for
// and logs them, instead of ending: once a crowd of idle connections has
// gone, a bot joins and plays, and SIGTERM ends the server with status 0.
TEST(Loopback, AtItsThreadLimitTheServerClosesConnectionsAndPlaysOn) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the server as another user";
  LoopbackGame game;
  // A user of its own, so that no other process counts against its limit:
  // the main and accept threads and two readers.
  const Confinement confined{4, 64123};
  Process server({"--online", "--port", "0", "--bind", "127.0.0.1", "--idle", "30"}, game.folder() + "/server.err",
                 confined);
  const std::string listening = server.line(10s);
  if (listening.empty() && server.wait(1s).status >= 126) GTEST_SKIP() << "cannot run the program confined here";
  ASSERT_TRUE(listening.starts_with("LISTENING ")) << listening << server.standard_error();
  const std::string port = listening.substr(10);
  std::vector<std::unique_ptr<SocketStream>> crowd;
  for (int i = 0; i < 4; ++i) {
    crowd.push_back(connect_tcp("127.0.0.1", static_cast<std::uint16_t>(parse_unsigned(port).value_or(0)), 5s).value());
  }
  std::this_thread::sleep_for(500ms);
  crowd.clear();
  std::this_thread::sleep_for(300ms);  // their readers end
  Process bot({"--connect", "127.0.0.1:" + port, "--bot", "--ticks", "60", "--bye"}, game.folder() + "/bot.err");
  EXPECT_EQ(bot.wait(30s).status, 0) << bot.standard_error();
  server.signal(SIGTERM);
  EXPECT_EQ(server.wait(10s).status, 0) << server.standard_error();
  const std::string log = server.standard_error();
  EXPECT_NE(log.find("session connections without a thread: "), std::string::npos) << log;
  EXPECT_NE(log.find("slot 0 joined"), std::string::npos) << log;
}

}  // namespace
}  // namespace velmora
