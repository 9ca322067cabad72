// The server binary as a child process with a folder of its own: replay
// files go to DIR/replays, standard error to DIR/stderr, and standard output
// is read through a pipe.
#pragma once

#include <cstdint>
#include <string>
#include <sys/types.h>
#include <vector>

#include "web/sockets.h"

namespace velmora::testing {

class ServerProcess {
 public:
  // An option with this text stands for the process's replay folder.
  static constexpr const char* replay_folder = "{replays}";

  // Without options: a free port and the replay folder; `more` follows them.
  // `environment` ("NAME=value") is added to the program's environment.
  explicit ServerProcess(std::vector<std::string> options, const std::vector<std::string>& more = {},
                         std::vector<std::string> environment = {});
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // The port of the "LISTENING" line on standard output; 0 when it did not
  // come within five seconds.
  std::uint16_t port();
  // The exit status, waiting at most five seconds; -1 when it did not end.
  int exit_status();
  void send_signal(int signal);
  std::string standard_error() const;
  std::vector<std::string> replay_files() const;

 private:
  std::string folder_;
  pid_t pid_ = -1;
  Fd out_;
};

}  // namespace velmora::testing
