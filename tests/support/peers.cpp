#include "tests/support/peers.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string_view>

#include "core/base/panic.h"

namespace velmora::testing {

bool have_program(const char* program) {
  return std::system((std::string("command -v ") + program + " >/dev/null 2>&1").c_str()) == 0;
}

bool have_sentry_sdk() {
  // An empty sentry_sdk folder still imports (as a namespace package), so the
  // module the collector uses is asked for.
  return std::system("/usr/bin/python3 -c 'from sentry_sdk.envelope import Envelope' >/dev/null 2>&1") == 0;
}

bool peers_required() {
  const char* value = std::getenv("VELMORA_REQUIRE_PEERS");
  return value != nullptr && std::string_view(value) != "" && std::string_view(value) != "0";
}

std::string peer_missing(const char* peer, const char* package) {
  return std::string(peer) + " is missing: install the Debian package " + package;
}

Finished run_to_end(const std::vector<std::string>& argv, const std::vector<std::string>& environment) {
  char name[] = "/tmp/velmora-run-XXXXXX";
  const int out = ::mkstemp(name);
  if (out < 0) panic("cannot make a temporary file");
  std::vector<std::string> args = argv, env = environment;
  std::vector<char*> argp, envp;
  for (auto& a : args) argp.push_back(a.data());
  for (auto& e : env) envp.push_back(e.data());
  argp.push_back(nullptr);
  envp.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) panic("fork");
  if (pid == 0) {
    ::dup2(out, 1);
    ::dup2(out, 2);
    ::execve(argp[0], argp.data(), envp.data());
    ::_exit(127);
  }
  ::close(out);
  int status = 0;
  ::waitpid(pid, &status, 0);
  Finished finished;
  finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  std::ostringstream text;
  text << std::ifstream(name).rdbuf();
  finished.output = text.str();
  std::filesystem::remove(name);
  return finished;
}

}  // namespace velmora::testing
