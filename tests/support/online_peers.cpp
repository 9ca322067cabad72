#include "tests/support/online_peers.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "core/base/panic.h"
#include "core/base/text.h"
#include "core/data/game_data.h"
#include "web/http_client.h"

namespace velmora::testing {

using namespace std::chrono_literals;

LoopbackPlayer::LoopbackPlayer(std::uint16_t port) : port_(port) {
  auto stream = connect_tcp("127.0.0.1", port, 5000ms);
  if (!stream) panic("cannot connect: " + stream.message());
  stream_ = std::move(*stream);
  set_socket_timeouts(stream_->fd(), 5s, 5s);
  reader_ = std::make_unique<LineReader>(*stream_, 1 << 20);
  auto udp = bind_udp("127.0.0.1", 0);
  if (!udp) panic("cannot bind: " + udp.message());
  udp_ = std::move(*udp);
}

void LoopbackPlayer::send(std::string_view line) { ASSERT_TRUE(stream_->write(std::string(line) + "\n")); }

std::string LoopbackPlayer::line() {
  std::string l;
  return reader_->next(l) == LineReader::Outcome::line ? l : "<end>";
}

std::size_t LoopbackPlayer::join() {
  send("connect 2 " + hex16(game_data().data_hash));
  const std::string welcome = line();
  const auto words = split_words(welcome);
  EXPECT_EQ(words.at(0), "welcome");
  session_ = parse_unsigned(words.at(2)).value();
  while (!line().starts_with("looks")) {
  }
  return parse_unsigned(words.at(1)).value();
}

std::vector<TickDatagram> LoopbackPlayer::exchange(Buttons word, std::uint64_t acked) {
  InputMessage m;
  m.acked = acked;
  m.first = next_input_++;
  m.count = 1;
  m.inputs[0] = word;
  std::vector<std::uint8_t> bytes;
  encode_input_datagram(session_, m, bytes);
  (void)udp_->send_to(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                      loopback_address(port_));
  std::vector<TickDatagram> got;
  char buffer[2048];
  SocketAddress from;
  for (auto wait = 16ms; auto n = udp_->receive(buffer, from, wait); wait = 0ms) {
    auto d = decode_tick_datagram(std::span(reinterpret_cast<const std::uint8_t*>(buffer), *n), acked);
    if (d) got.push_back(*d);
  }
  return got;
}

PromtoolVerdict promtool_check_metrics(const std::string& text) {
  char name[] = "/tmp/velmora-metrics-XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) panic("cannot make a temporary file");
  ::close(fd);
  std::ofstream(name) << text;
  PromtoolVerdict verdict;
  FILE* pipe = ::popen((std::string("promtool check metrics < ") + name + " 2>&1").c_str(), "r");
  if (pipe != nullptr) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) verdict.output.append(buffer, n);
    const int status = ::pclose(pipe);
    verdict.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::filesystem::remove(name);
  const std::string allowed =
      "velmora_game_tick_microseconds_max use base unit \"seconds\" instead of \"microseconds\"";
  for (std::size_t start = 0; start < verdict.output.size();) {
    std::size_t end = verdict.output.find('\n', start);
    if (end == std::string::npos) end = verdict.output.size();
    const std::string line = verdict.output.substr(start, end - start);
    if (!line.empty() && line != allowed) verdict.complaints += line + "\n";
    start = end + 1;
  }
  return verdict;
}

std::uint16_t free_loopback_port() {
  auto probe = listen_tcp("127.0.0.1", 0);
  if (!probe) panic("cannot listen on loopback: " + probe.message());
  return (*probe)->port();
}

PrometheusServer::PrometheusServer(std::uint16_t target_port) : web_port_(free_loopback_port()) {
  char name[] = "/tmp/velmora-prometheus-XXXXXX";
  if (::mkdtemp(name) == nullptr) panic("cannot make a temporary folder");
  folder_ = name;
  std::ofstream(folder_ + "/prometheus.yml") << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                                                "scrape_configs:\n  - job_name: velmora\n    static_configs:\n"
                                                "      - targets: ['127.0.0.1:"
                                             << target_port << "']\n";
  // Everything the child needs is made before the fork: it only redirects and execs.
  const std::string config = "--config.file=" + folder_ + "/prometheus.yml";
  const std::string storage = "--storage.tsdb.path=" + folder_ + "/data";
  const std::string listen = "--web.listen-address=127.0.0.1:" + std::to_string(web_port_);
  const int quiet = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  pid_ = ::fork();
  if (pid_ < 0) panic("fork");
  if (pid_ == 0) {
    ::dup2(quiet, 1);
    ::dup2(quiet, 2);
    ::execlp("prometheus", "prometheus", config.c_str(), storage.c_str(), listen.c_str(), nullptr);
    ::_exit(127);
  }
  ::close(quiet);
}

PrometheusServer::~PrometheusServer() {
  ::kill(pid_, SIGTERM);
  ::waitpid(pid_, nullptr, 0);
  std::filesystem::remove_all(folder_);
}

std::string PrometheusServer::query(std::string_view expression) {
  const std::string url =
      "http://127.0.0.1:" + std::to_string(web_port_) + "/api/v1/query?query=" + std::string(expression);
  auto reply = http_request("GET", url, std::nullopt, std::nullopt, 2);
  return reply && reply->status == 200 ? reply->body : "";
}

}  // namespace velmora::testing
