#include "server/local_server.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>

namespace velmora {
namespace {

// A stream that hands out its input in chunks and keeps what is written.
class ScriptedStream : public Stream {
 public:
  explicit ScriptedStream(std::string input, std::size_t chunk = 5) : input_(std::move(input)), chunk_(chunk) {}
  Result<std::size_t> read(char* buffer, std::size_t size) override {
    if (fail_reads_) return error("Connection reset by peer");
    const std::size_t n = std::min({size, chunk_, input_.size() - at_});
    input_.copy(buffer, n, at_);
    at_ += n;
    return n;
  }
  Status write(std::string_view bytes) override {
    if (fail_writes_) return error("Broken pipe");
    output += bytes;
    return done();
  }
  void close() override { closed = true; }

  std::string output;
  bool closed = false;
  bool fail_writes_ = false;
  bool fail_reads_ = false;

 private:
  std::string input_;
  std::size_t chunk_;
  std::size_t at_ = 0;
};

class ScriptedListener : public Listener {
 public:
  std::deque<std::unique_ptr<ScriptedStream>> pending;
  std::vector<ScriptedStream*> served;
  Result<std::unique_ptr<Stream>> accept() override {
    if (pending.empty()) return error("no more connections");  // ends a test that forgot "quit"
    auto s = std::move(pending.front());
    pending.pop_front();
    served.push_back(s.get());
    kept_.push_back(std::move(s));
    return std::unique_ptr<Stream>(new Forward(*kept_.back()));
  }
  std::uint16_t port() const override { return 1; }
  void close() override { closed = true; }
  bool closed = false;

 private:
  // Ownership stays here so the test can read the output afterwards.
  struct Forward : Stream {
    explicit Forward(ScriptedStream& s) : s_(s) {}
    Result<std::size_t> read(char* b, std::size_t n) override { return s_.read(b, n); }
    Status write(std::string_view bytes) override { return s_.write(bytes); }
    void close() override { s_.close(); }
    ScriptedStream& s_;
  };
  std::vector<std::unique_ptr<ScriptedStream>> kept_;
};

class EchoService : public LineService {
 public:
  std::vector<std::string> lines;
  int saves = 0;
  std::string handle(std::string_view line) override {
    lines.emplace_back(line);
    return "{\"echo\":" + std::to_string(line.size()) + "}";
  }
  void save_unsaved() override { ++saves; }
};

TEST(LocalServer, AnswersEachLineAndEndsOnQuit) {
  ScriptedStream stream("hello\r\n\n  \nnew 42 1\n  quit \r\n after\n");
  EchoService service;
  EXPECT_TRUE(serve_connection(stream, service));
  EXPECT_EQ(service.lines, (std::vector<std::string>{"hello", "", "  ", "new 42 1"}));
  EXPECT_EQ(stream.output, "{\"echo\":5}\n{\"echo\":0}\n{\"echo\":2}\n{\"echo\":8}\n{\"ok\":true,\"message\":\"bye\"}\n");
  EXPECT_EQ(service.saves, 1);
}

TEST(LocalServer, QuitWithAnotherWordIsARequest) {
  ScriptedStream stream("quit now\nquit");
  EchoService service;
  EXPECT_TRUE(serve_connection(stream, service));
  EXPECT_EQ(service.lines, (std::vector<std::string>{"quit now"}));
}

TEST(LocalServer, InvalidUtf8EndsTheConnectionWithoutReply) {
  ScriptedStream stream("state\n\xFF\xFE\nnever\n");
  EchoService service;
  EXPECT_FALSE(serve_connection(stream, service));
  EXPECT_EQ(service.lines, (std::vector<std::string>{"state"}));
  EXPECT_EQ(stream.output, "{\"echo\":5}\n");
}

TEST(LocalServer, OverlongLineIsRefusedAndTheConnectionClosed) {
  std::string big(max_request_line + 1, 'x');
  ScriptedStream stream("ok\n" + big + "\nnever\n", 8192);
  EchoService service;
  EXPECT_FALSE(serve_connection(stream, service));
  EXPECT_EQ(service.lines, (std::vector<std::string>{"ok"}));
  EXPECT_EQ(stream.output, "{\"echo\":2}\n{\"ok\":false,\"message\":\"request line too long\"}\n");

  ScriptedStream exact(std::string(max_request_line, 'y') + "\n", 8192);
  EchoService s2;
  EXPECT_FALSE(serve_connection(exact, s2));
  ASSERT_EQ(s2.lines.size(), 1u);
  EXPECT_EQ(s2.lines[0].size(), max_request_line);
}

TEST(LocalServer, LastLineWithoutLineEndIsServed) {
  ScriptedStream stream("tick\nstate");
  EchoService service;
  EXPECT_FALSE(serve_connection(stream, service));
  EXPECT_EQ(service.lines, (std::vector<std::string>{"tick", "state"}));
}

TEST(LocalServer, FailedWriteOrReadEndsOnlyThatConnection) {
  ScriptedListener listener;
  listener.pending.push_back(std::make_unique<ScriptedStream>("a\nb\n"));
  listener.pending.back()->fail_writes_ = true;
  listener.pending.push_back(std::make_unique<ScriptedStream>("c\n"));
  listener.pending.back()->fail_reads_ = true;
  listener.pending.push_back(std::make_unique<ScriptedStream>("d\nquit\n"));
  EchoService service;
  EXPECT_EQ(serve_lines(listener, service), 0);
  EXPECT_EQ(service.lines, (std::vector<std::string>{"a", "d"}));
  // Each ended connection saved the record, and so did quit.
  EXPECT_EQ(service.saves, 3);
  EXPECT_TRUE(listener.closed);
  for (ScriptedStream* s : listener.served) EXPECT_TRUE(s->closed);
}

TEST(LocalServer, RealSocketsOnAFreePort) {
  auto listener = listen_tcp("127.0.0.1", 0);
  ASSERT_TRUE(listener.ok()) << listener.message();
  ASSERT_NE((*listener)->port(), 0);
  auto client = connect_tcp("127.0.0.1", (*listener)->port(), std::chrono::milliseconds(2000));
  ASSERT_TRUE(client.ok()) << client.message();
  ASSERT_TRUE((*client)->write("hello\nquit\n").ok());
  EchoService service;
  EXPECT_EQ(serve_lines(**listener, service), 0);
  std::string got;
  char buf[256];
  for (;;) {
    auto n = (*client)->read(buf, sizeof buf);
    if (!n || *n == 0) break;
    got.append(buf, *n);
  }
  EXPECT_EQ(got, "{\"echo\":5}\n{\"ok\":true,\"message\":\"bye\"}\n");
}

}  // namespace
}  // namespace velmora
