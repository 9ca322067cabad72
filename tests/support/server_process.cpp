#include "tests/support/server_process.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <thread>

#include "core/base/disk.h"
#include "core/base/panic.h"
#include "core/base/text.h"

namespace velmora::testing {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

ServerProcess::ServerProcess(std::vector<std::string> options, const std::vector<std::string>& more,
                             std::vector<std::string> environment) {
  char name[] = "/tmp/velmora-e2e-XXXXXX";
  if (::mkdtemp(name) == nullptr) panic("cannot make a temporary folder");
  folder_ = name;
  if (options.empty()) options = {"--port", "0", "--replays", folder_ + "/replays"};
  options.insert(options.end(), more.begin(), more.end());
  for (std::string& option : options) {
    if (option == replay_folder) option = folder_ + "/replays";
  }
  options.insert(options.begin(), VELMORA_SERVER_BINARY);
  std::vector<char*> envp;
  for (auto& e : environment) envp.push_back(e.data());
  for (char** e = environ; *e != nullptr; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) panic("pipe");
  pid_ = ::fork();
  if (pid_ < 0) panic("fork");
  if (pid_ == 0) {
    const int err = ::open((folder_ + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out[1], 1);
    ::dup2(err, 2);
    std::vector<char*> argv;
    for (auto& a : options) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  ::close(out[1]);
  out_ = Fd(out[0]);
}

ServerProcess::~ServerProcess() {
  if (pid_ > 0) {
    ::kill(pid_, SIGKILL);
    ::waitpid(pid_, nullptr, 0);
  }
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
}

std::uint16_t ServerProcess::port() {
  std::string line;
  char c = 0;
  pollfd p{out_.get(), POLLIN, 0};
  while (line.size() < 200 && ::poll(&p, 1, 5000) > 0 && ::read(out_.get(), &c, 1) == 1 && c != '\n') line += c;
  EXPECT_TRUE(line.starts_with("LISTENING ")) << line;
  if (!line.starts_with("LISTENING ")) return 0;
  return static_cast<std::uint16_t>(parse_unsigned(std::string_view(line).substr(10), 65535).value_or(0));
}

int ServerProcess::exit_status() {
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

void ServerProcess::send_signal(int signal) {
  if (pid_ > 0) ::kill(pid_, signal);
}

std::string ServerProcess::standard_error() const {
  auto text = RealDisk().read_file(folder_ + "/stderr", 4096);
  return text ? *text : "";
}

std::vector<std::string> ServerProcess::replay_files() const {
  std::vector<std::string> out;
  if (!fs::exists(folder_ + "/replays")) return out;
  for (const auto& e : fs::directory_iterator(folder_ + "/replays")) out.push_back(e.path().string());
  std::sort(out.begin(), out.end());
  return out;
}

}  // namespace velmora::testing
