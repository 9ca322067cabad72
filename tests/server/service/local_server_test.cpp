#include "server/service/local_server.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/base/panic.h"

namespace velmora {
namespace {

// A stream that hands out its input in chunks and keeps what is written.
struct ScriptedStream : Stream {
  explicit ScriptedStream(std::string in, std::size_t chunk = 5) : input(std::move(in)), chunk(chunk) {}
  Result<std::size_t> read(char* buffer, std::size_t size) override {
    if (fail_reads) return error("Connection reset by peer");
    const std::size_t n = std::min({size, chunk, input.size() - at});
    input.copy(buffer, n, at);
    at += n;
    return n;
  }
  Status write(std::string_view bytes) override {
    if (fail_writes) return error("Broken pipe");
    output += bytes;
    return done();
  }
  void close() override { closed = true; }

  std::string input, output;
  std::size_t chunk, at = 0;
  bool closed = false, fail_writes = false, fail_reads = false;
};

// Hands out the scripted streams in turn; they stay here so that the test
// can look at them afterwards.
struct ScriptedListener : Listener {
  struct Forward : Stream {
    explicit Forward(ScriptedStream& s) : s(s) {}
    Result<std::size_t> read(char* b, std::size_t n) override { return s.read(b, n); }
    Status write(std::string_view bytes) override { return s.write(bytes); }
    void close() override { s.close(); }
    ScriptedStream& s;
  };
  Result<std::unique_ptr<Stream>> accept() override {
    if (next == streams.size()) panic("no more connections");
    return std::unique_ptr<Stream>(new Forward(*streams[next++]));
  }
  std::uint16_t port() const override { return 1; }
  void close() override { closed = true; }

  std::vector<std::unique_ptr<ScriptedStream>> streams;
  std::size_t next = 0;
  bool closed = false;
};

struct EchoService : LineService {
  std::string handle(std::string_view line) override {
    lines.emplace_back(line);
    return "{\"echo\":" + std::to_string(line.size()) + "}";
  }
  void save_unsaved() override { ++saves; }
  std::vector<std::string> lines;
  int saves = 0;
};

constexpr std::string_view bye = "{\"ok\":true,\"message\":\"bye\"}\n";

TEST(LocalServer, LineEndsAndQuit) {
  struct Case {
    std::string input;
    bool quit;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {"hello\r\n\n  \nnew 42 1\n  quit \r\n after\n", true, {"hello", "", "  ", "new 42 1"}},
      {"quit now\nquit", true, {"quit now"}},
      {"tick\nstate", false, {"tick", "state"}},
      {"x\r", false, {"x\r"}},  // only a "\r" before "\n" is a line end
  };
  for (const Case& c : cases) {
    ScriptedStream stream(c.input);
    EchoService service;
    EXPECT_EQ(serve_connection(stream, service), c.quit) << c.input;
    EXPECT_EQ(service.lines, c.lines) << c.input;
    EXPECT_EQ(service.saves, c.quit ? 1 : 0);
    std::string replies;
    for (const std::string& line : c.lines) replies += "{\"echo\":" + std::to_string(line.size()) + "}\n";
    EXPECT_EQ(stream.output, replies + (c.quit ? std::string(bye) : ""));
  }
}

TEST(LocalServer, BadLinesEndTheConnectionOnly) {
  const std::string too_long = "{\"ok\":false,\"message\":\"request line too long\"}\n";
  const std::string longest(max_request_line, 'y');
  struct Case {
    std::string input;
    std::vector<std::string> lines;
    std::string output;
  };
  const Case cases[] = {
      {"state\n\xFF\xFE\nnever\n", {"state"}, "{\"echo\":5}\n"},
      {"ok\n" + longest + "y\nnever\n", {"ok"}, "{\"echo\":2}\n" + too_long},
      {longest + "y", {}, too_long},
      // The line end is not counted.
      {longest + "\r\n" + longest + "\n", {longest, longest}, "{\"echo\":65536}\n{\"echo\":65536}\n"},
  };
  for (const Case& c : cases) {
    ScriptedStream stream(c.input, 8192);
    EchoService service;
    EXPECT_FALSE(serve_connection(stream, service));
    EXPECT_EQ(service.lines, c.lines);
    EXPECT_EQ(stream.output, c.output);
  }
}

TEST(LocalServer, EveryEndedConnectionSavesAndTheNextIsServed) {
  ScriptedListener listener;
  listener.streams.push_back(std::make_unique<ScriptedStream>("a\nb\n"));
  listener.streams.back()->fail_writes = true;
  listener.streams.push_back(std::make_unique<ScriptedStream>("c\n"));
  listener.streams.back()->fail_reads = true;
  listener.streams.push_back(std::make_unique<ScriptedStream>("d\n" + std::string(max_request_line + 1, 'z')));
  listener.streams.push_back(std::make_unique<ScriptedStream>("e\nquit\n"));
  EchoService service;
  EXPECT_EQ(serve_lines(listener, service), 0);
  EXPECT_EQ(service.lines, (std::vector<std::string>{"a", "d", "e"}));
  EXPECT_EQ(service.saves, 4);  // three ended connections and quit
  EXPECT_TRUE(listener.closed);
  for (const auto& s : listener.streams) EXPECT_TRUE(s->closed);
}

}  // namespace
}  // namespace velmora
