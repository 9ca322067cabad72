// The client's own line protocol against an online game run in-process: the
// requests answered locally, refused and forwarded, the paced "tick" with its
// net and looks, the prediction limit, and a session that reconnects.
#include <gtest/gtest.h>

#include <future>
#include <sstream>
#include <thread>

#include "core/base/text.h"
#include "core/bot/bot.h"
#include "core/data/game_data.h"
#include "server/client/client_local_server.h"
#include "server/online/online_server.h"
#include "tests/support/service.h"
#include "web/json_parser.h"

namespace velmora {
namespace {

using namespace std::chrono_literals;
using testing::flag_at;
using testing::num_at;

std::vector<std::string> keys_of(const JsonValue& object) {
  std::vector<std::string> keys;
  if (object.as_obj() != nullptr) {
    for (const auto& entry : *object.as_obj()) keys.push_back(entry.first);
  }
  return keys;
}

std::string text_at(const JsonValue& object, std::string_view key) {
  const JsonValue* at = object.get(key);
  return at != nullptr && at->as_str() != nullptr ? *at->as_str() : "<none>";
}

struct QuietHooks : OnlineHooks {
  void log_info(std::string_view) override {}
  void log_error(std::string_view) override {}
  void listening(std::uint16_t port) override { bound.set_value(port); }
  std::promise<std::uint16_t> bound;
};

// Datagrams that go nowhere and never come: the server hears nothing of the
// client and confirms nothing to it.
struct Silence : Datagrams {
  Result<std::size_t> receive(std::span<char>, SocketAddress&, std::chrono::nanoseconds) override {
    return error("timed out");
  }
  Status send_to(std::string_view, const SocketAddress&) override { return done(); }
};

// An online game of two in-process, and one client of it seen through the
// client's own protocol. The server stops a second after the client leaves.
class OnlineFront : public ::testing::Test {
 protected:
  virtual std::chrono::seconds idle() const { return 1s; }
  void SetUp() override {
    OnlineConfig config;
    config.bind = "127.0.0.1";
    config.port = 0;
    config.opening = "new 3 2";
    config.idle = idle();
    auto bound = hooks_.bound.get_future();
    server_ = std::thread([this, config] { status_.set_value(run_online_server(config, hooks_)); });
    const std::uint16_t port = bound.get();
    ClientTimings timings;
    timings.answer_wait = 2s;
    timings.reply_poll = 5ms;
    auto opened = open_client(ClientEnv{real_clock(), log_, timings},
                              ClientJoin{"127.0.0.1:" + std::to_string(port), std::nullopt, std::nullopt, std::nullopt});
    ASSERT_TRUE(opened) << opened.message();
    session_ = std::move(*opened);
    front_ = std::make_unique<ClientFront>(*session_);
  }
  void TearDown() override {
    front_.reset();
    if (session_) close_client(*session_);
    session_.reset();
    auto done = status_.get_future();
    ASSERT_EQ(done.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(done.get(), 0);
    server_.join();
  }

  JsonValue ask(std::string_view line) {
    const std::string reply = client_local_request(*front_, line);
    JsonCursor cursor{reply, 0};
    auto parsed = json_parse(cursor);
    if (!parsed || parsed->kind() != JsonValue::Kind::Obj || cursor.pos != reply.size()) {
      ADD_FAILURE() << line << ": not one JSON object: " << reply;
      return JsonValue(JsonValue::Object{});
    }
    return std::move(*parsed);
  }
  std::string message(std::string_view line) { return text_at(ask(line), "message"); }
  // Ticks about every frame until the predicate holds or two seconds pass.
  template <class Done>
  JsonValue tick_until(std::string_view line, Done done) {
    JsonValue reply;
    for (const auto until = real_clock().monotonic() + 2s; real_clock().monotonic() < until;) {
      reply = ask(line);
      if (done(reply)) break;
      std::this_thread::sleep_for(2ms);
    }
    return reply;
  }

  QuietHooks hooks_;
  std::promise<int> status_;
  std::thread server_;
  std::ostringstream log_;
  std::unique_ptr<ClientSession> session_;
  std::unique_ptr<ClientFront> front_;
};

const JsonValue& net_of(const JsonValue& reply) {
  static const JsonValue none{JsonValue::Object{}};
  const JsonValue* net = reply.get("net");
  return net != nullptr ? *net : none;
}

// The four look numbers of a tick reply.
std::vector<std::int64_t> looks_of(const JsonValue& reply) {
  std::vector<std::int64_t> looks;
  const JsonValue* list = reply.get("looks");
  if (list != nullptr && list->as_arr() != nullptr) {
    for (const JsonValue& look : *list->as_arr()) looks.push_back(look.as_num().value_or(-999));
  }
  return looks;
}

TEST_F(OnlineFront, RequestsAnsweredHereRefusedOrForwarded) {
  struct Row {
    const char* line;
    bool ok;
    const char* message;  // "" for a reply without a message to check
  };
  const Row rows[] = {
      {"", false, "empty request"},
      {" \t ", false, "empty request"},
      // Only a local game does these.
      {"new 1 2", false, "not available in an online game"},
      {"run 10", false, "not available in an online game"},
      {"watch replay.txt", false, "not available in an online game"},
      {"boost 0 silver 5", false, "not available in an online game"},
      {"give 0 dagger", false, "not available in an online game"},
      {"save_replay", false, "not available in an online game"},
      // The server's answer to "ping" is no reply; the front end gets one.
      {"ping", false, "unknown request ping"},
      // The debug switch of the views is the front end's; the server's reply
      // (no --dev here) is dropped.
      {"debug", true, "debug off"},
      {"debug on", true, "debug on"},
      {"debug maybe", true, "debug off"},
      // Forwarded: the server's replies, word for word.
      {"party", true, ""},
      {"inventory", true, ""},
      {"buy 1 dagger", false, "a player may only act for their own slot"},
      {"goto millbrook", false, "goto is not available online"},
      {"TICK", false, "TICK is not available online"},
      {"look 0 -5", true, "look"},
      // A button word that is neither a number nor "bot" steps nothing.
      {"tick 70000", false, "buttons must be a bitfield number or bot"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const JsonValue reply = ask(row.line);
    EXPECT_EQ(flag_at(reply, "ok"), row.ok);
    if (*row.message != '\0') {
      EXPECT_EQ(text_at(reply, "message"), row.message);
    }
  }
  EXPECT_FALSE(front_->debug);

  const JsonValue hello = ask("hello");
  const std::vector<std::string> keys = keys_of(hello);
  ASSERT_GE(keys.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(keys.end() - 3, keys.end()), (std::vector<std::string>{"online", "slot", "session"}));
  EXPECT_TRUE(flag_at(hello, "online"));
  EXPECT_EQ(num_at(hello, "slot"), 0);
  EXPECT_EQ(text_at(hello, "session"), std::to_string(session_->session_id));
  EXPECT_EQ(text_at(hello, "data"), hex16(game_data().data_hash));
  EXPECT_FALSE(flag_at(hello, "has_game"));

  // The looks line that answered "look" reached every client, this one too.
  const JsonValue ticked = tick_until("tick", [](const JsonValue& r) { return looks_of(r).at(0) == -5; });
  EXPECT_EQ(looks_of(ticked), (std::vector<std::int64_t>{-5, 0, 0, 0}));
}

TEST_F(OnlineFront, StateAndTickShowThePredictedWorld) {
  const JsonValue state = ask("state");
  EXPECT_EQ(keys_of(state), (std::vector<std::string>{"ok", "message", "events", "state"}));
  EXPECT_EQ(num_at(*state.get("state"), "tick"), static_cast<std::int64_t>(session_->rollback.predicted.tick));
  EXPECT_EQ(message("debug on"), "debug on");
  EXPECT_NE(ask("state").get("boxes"), nullptr);

  const JsonValue first = ask("tick");
  EXPECT_EQ(keys_of(first), (std::vector<std::string>{"ok", "message", "events", "state", "boxes", "net", "looks"}));
  EXPECT_EQ(keys_of(net_of(first)), (std::vector<std::string>{"slot", "ahead", "slack", "rollbacks", "desyncs",
                                                              "waiting", "reconnecting", "lost"}));
  EXPECT_EQ(looks_of(first), (std::vector<std::int64_t>{0, 0, 0, 0}));
  ask("debug off");

  // A second of play with the bot: the prediction runs a few ticks ahead of
  // what the server confirmed, and the two stay in step.
  const JsonValue played = tick_until("tick bot", [&](const JsonValue&) {
    return session_->rollback.counters.hashes_compared > 0 && session_->rollback.confirmed.tick >= 90;
  });
  EXPECT_GE(session_->rollback.counters.hashes_compared, 1u);
  EXPECT_EQ(num_at(net_of(played), "desyncs"), 0);
  EXPECT_LE(num_at(net_of(played), "ahead"), 10);
  EXPECT_FALSE(flag_at(net_of(played), "waiting"));
  EXPECT_EQ(num_at(*played.get("state"), "tick"), static_cast<std::int64_t>(session_->rollback.predicted.tick));
  EXPECT_TRUE(session_->events.empty());  // taken by the reply
}

TEST(ClientTickInput, TheOwnWordOfATickRequest) {
  testing::Service service;
  service.ask("new 3 2");
  const World& world = *service.state.game;
  struct Row {
    const char* line;
    std::uint64_t slot;
    int word;  // -1: the bot's; -2: refused
  };
  const Row rows[] = {
      {"tick", 0, 0},          {"tick 1 2 4 8", 2, 4}, {"tick 1 2 4 8", 0, 1}, {"tick 5", 3, 5},
      {"tick 1 2", 3, 1},      {"tick +7", 0, 7},      {"tick 65535", 0, 65535},
      {"tick bot", 0, -1},     {"tick 1 bot", 1, -1},  {"tick bot 1", 1, 1},
      // Only the own word counts, and a word that is neither is refused.
      {"tick 65536", 0, -2},   {"tick x", 1, -2},      {"tick 1 x", 0, 1},     {"tick BOT", 2, -2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const auto words = split_words(row.line);
    const auto input = tick_input(words, row.slot);
    if (row.word == -2) {
      EXPECT_FALSE(input);
      continue;
    }
    ASSERT_TRUE(input);
    EXPECT_EQ((*input)(world), row.word == -1 ? bot_input(world, row.slot) : row.word);
  }
}

TEST_F(OnlineFront, AtThePredictionLimitTickStepsNothingAndWaits) {
  session_->udp = std::make_unique<Silence>();
  session_->speed = 100;  // ticks come due at once
  const JsonValue limit = tick_until("tick", [](const JsonValue& r) { return flag_at(net_of(r), "waiting"); });
  ASSERT_TRUE(flag_at(net_of(limit), "waiting"));
  EXPECT_EQ(num_at(net_of(limit), "ahead"), 30);
  const std::uint64_t predicted = session_->rollback.predicted.tick;
  std::this_thread::sleep_for(20ms);
  const JsonValue again = ask("tick");
  EXPECT_EQ(session_->rollback.predicted.tick, predicted);
  EXPECT_TRUE(flag_at(net_of(again), "waiting"));
}

// The client retries once a second: a server that stopped a second after
// the stream was lost could be gone before the retry, so this one waits longer.
class OnlineFrontRejoin : public OnlineFront {
 protected:
  std::chrono::seconds idle() const override { return 4s; }
};

TEST_F(OnlineFrontRejoin, ALostStreamIsRejoinedWhileTheFrontEndTicks) {
  session_->connection.shut_down();
  const JsonValue noticed = tick_until("tick", [](const JsonValue& r) { return flag_at(net_of(r), "reconnecting"); });
  EXPECT_TRUE(flag_at(net_of(noticed), "reconnecting"));
  EXPECT_EQ(message("party"), "reconnecting to the online game");
  // One attempt a second: rejoined within two.
  JsonValue back;
  for (int i = 0; i < 2 && !session_->reconnects; ++i) {
    back = tick_until("tick", [&](const JsonValue&) { return session_->reconnects > 0; });
  }
  EXPECT_EQ(session_->reconnects, 1u);
  EXPECT_FALSE(flag_at(net_of(back), "reconnecting"));
  EXPECT_TRUE(flag_at(ask("party"), "ok"));

  // A session lost for good shows only that.
  session_->lost = std::string(unreachable_message);
  session_->reconnecting = real_clock().monotonic();
  const JsonValue lost = ask("tick");
  EXPECT_TRUE(flag_at(net_of(lost), "lost"));
  EXPECT_FALSE(flag_at(net_of(lost), "reconnecting"));
  EXPECT_EQ(message("party"), unreachable_message);
  session_->reconnecting.reset();
}

// After an ok "bye" the client has left: "tick" moves nothing and shows the
// session as lost (not reconnecting), forwarded requests are answered at once,
// and what the client answers itself still works.
TEST_F(OnlineFront, AfterByeTheClientHasLeft) {
  (void)tick_until("tick", [&](const JsonValue&) { return session_->rollback.confirmed.tick > 0; });
  const JsonValue bye = ask("bye");
  EXPECT_TRUE(flag_at(bye, "ok"));
  EXPECT_EQ(text_at(bye, "message"), "bye");
  const std::int64_t predicted = static_cast<std::int64_t>(session_->rollback.predicted.tick);
  std::this_thread::sleep_for(50ms);  // ticks that a running client would have stepped
  const JsonValue ticked = ask("tick bot");
  EXPECT_TRUE(flag_at(net_of(ticked), "lost"));
  EXPECT_FALSE(flag_at(net_of(ticked), "reconnecting"));
  ASSERT_NE(ticked.get("events"), nullptr);
  EXPECT_TRUE(ticked.get("events")->as_arr()->empty());
  EXPECT_EQ(num_at(*ticked.get("state"), "tick"), predicted);
  const Instant asked = real_clock().monotonic();
  EXPECT_EQ(message("party"), "you have left the online game");
  EXPECT_EQ(message("bye"), "you have left the online game");
  EXPECT_LT(real_clock().monotonic() - asked, 100ms);
  EXPECT_EQ(message("debug on"), "debug on");
  EXPECT_TRUE(flag_at(ask("hello"), "online"));
  EXPECT_EQ(num_at(*ask("state").get("state"), "tick"), predicted);
}

}  // namespace
}  // namespace velmora
