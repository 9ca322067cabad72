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

#include "core/base/disk.h"
#include "core/base/text.h"
#include "core/data/data_file.h"
#include "core/data/game_data.h"
#include "tests/support/http_peers.h"
#include "tests/support/online_peers.h"
#include "tests/support/server_process.h"
#include "tests/support/service.h"
#include "web/http_client.h"
#include "web/json_parser.h"
#include "web/sockets.h"

namespace velmora {
namespace {

using testing::ServerProcess;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

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
    return reader_->next(line) == LineReader::Outcome::line ? line : "";
  }

  // Every reply must be one strict JSON object with nothing after it.
  JsonValue ask(std::string_view line) {
    send(line);
    const std::string reply = receive();
    JsonCursor cursor{reply, 0};
    auto value = json_parse(cursor);
    json_skip_white(cursor);
    if (!value || value->kind() != JsonValue::Kind::Obj || cursor.pos != reply.size()) {
      ADD_FAILURE() << line << " was answered with " << reply.substr(0, 300);
      return JsonValue(JsonValue::Object{});
    }
    return std::move(*value);
  }

  std::string message(std::string_view line) { return *ask(line).get("message")->as_str(); }

  // Runs a watched replay until it is done; "verified".
  JsonValue watch_verified(const std::string& path) {
    EXPECT_EQ(message("watch " + path), "watching");
    for (int i = 0; i < 200; ++i) {
      const JsonValue reply = ask("run 600");
      if (reply.get("watch")->get("done")->as_bool() == true) return *reply.get("watch")->get("verified");
    }
    ADD_FAILURE() << "the replay never ended";
    return JsonValue();
  }

  void close() { stream_->close(); }

 private:
  std::unique_ptr<SocketStream> stream_;
  std::unique_ptr<LineReader> reader_;
};

std::string status_of(const JsonValue& reply) { return *reply.get("state")->get("status")->as_str(); }
std::int64_t tick_of(const JsonValue& reply) { return *reply.get("state")->get("tick")->as_num(); }

TEST(EndToEnd, AFrontEndPlaysAStageAndWatchesItsReplay) {
  ServerProcess server({});
  const std::uint16_t port = server.port();
  ASSERT_NE(port, 0);
  FrontEnd fe(port);

  EXPECT_EQ(fe.ask("hello").get("has_game")->as_bool(), false);
  EXPECT_EQ(fe.message("state"), "no game: send new first");
  const JsonValue started = fe.ask("new 42 1");
  EXPECT_EQ(*started.get("message")->as_str(), "new game");
  EXPECT_EQ(status_of(started), "playing");

  // Errors are answered and change nothing.
  EXPECT_EQ(fe.message("TICK"), "unknown request TICK");
  EXPECT_EQ(fe.message("run 601 2"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(fe.message("tick 70000"), "buttons must be a bitfield number or bot");
  EXPECT_EQ(fe.message("give 0 dagger"), "give needs debug on");
  EXPECT_EQ(fe.message(""), "empty request");

  // Walk right and strike now and then.
  std::int64_t tick = 0;
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(tick_of(fe.ask("tick 18")), ++tick);
    EXPECT_EQ(tick_of(fe.ask("run 30 2")), tick += 30);
  }
  const JsonValue walked = fe.ask("state");
  EXPECT_GT(*walked.get("state")->get("actors")->as_arr()->front().get("x")->as_num(), 400);

  // Debug on adds the boxes; the town is a stage a walk right clears.
  EXPECT_EQ(fe.message("debug on"), "debug on");
  const JsonValue boxed = fe.ask("state");
  ASSERT_NE(boxed.get("boxes"), nullptr);
  ASSERT_FALSE(boxed.get("boxes")->as_arr()->empty());
  EXPECT_EQ(*boxed.get("boxes")->as_arr()->front().get("kind")->as_str(), "hurt");
  EXPECT_EQ(fe.message("goto millbrook"), "moved");
  ASSERT_EQ(server.replay_files().size(), 1u);  // the road so far, saved before the move

  JsonValue reply = fe.ask("run 600 2");
  for (int i = 0; i < 30 && status_of(reply) == "playing"; ++i) reply = fe.ask("run 600 2");
  EXPECT_EQ(status_of(reply), "cleared");
  ASSERT_NE(reply.get("replay_saved"), nullptr);
  EXPECT_EQ(reply.as_obj()->back().first, "replay_saved");
  EXPECT_EQ(server.replay_files().size(), 2u);
  EXPECT_EQ(server.replay_files().back(), *reply.get("replay_saved")->as_str());
  // A finished stage runs no tick and saves nothing more.
  const JsonValue after = fe.ask("run 5 2");
  EXPECT_EQ(tick_of(after), tick_of(reply));
  EXPECT_EQ(after.get("replay_saved"), nullptr);

  for (const std::string& file : server.replay_files()) EXPECT_EQ(fe.watch_verified(file).as_bool(), true) << file;
  EXPECT_EQ(fe.message("save_replay"), "watching a replay");

  fe.send("quit");
  EXPECT_EQ(fe.receive(), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_EQ(server.exit_status(), 0);
}

// The built-in data with the gates, waves, barriers and levers taken out of
// every stage but the side branch's (the Old Barrow Downs), so that walking
// east clears them, and a barrel of 100 silver in the town just ahead of the
// first player.
std::string open_road_data(const std::string& folder) {
  fs::create_directories(folder);
  for (std::size_t i = 0; i < data_file_count; ++i) {
    std::string text(builtin_texts()[i]);
    if (data_file_names[i] == "stage.txt") {
      std::string kept;
      bool barrow = false;
      for_each_line(text, [&](std::uint64_t, std::string_view line) {
        if (line.starts_with("[")) barrow = line == "[stage old_barrow]";
        const bool fenced = line.starts_with("gate =") || line.starts_with("wave =") ||
                            line.starts_with("barrier =") || line.starts_with("lever =");
        if (!fenced || barrow) kept.append(line).append("\n");
        if (line == "trainer_at = 1750 100") kept.append("barrel = 330 150 silver 100\n");
      });
      text = std::move(kept);
    }
    EXPECT_EQ(RealDisk().write_new_file(folder + "/" + std::string(data_file_names[i]), text).value(), NewName::made);
  }
  return folder;
}

// Walks the party east until the stage ends; the last reply.
JsonValue walk_east(FrontEnd& fe) {
  JsonValue reply = fe.ask("run 600 2 2");
  for (int i = 0; i < 20 && status_of(reply) == "playing"; ++i) reply = fe.ask("run 600 2 2");
  EXPECT_EQ(status_of(reply), "cleared");
  EXPECT_NE(reply.get("replay_saved"), nullptr);
  return reply;
}

// Which map nodes have a flag set: "cleared", "here" or "open".
std::string nodes_with(const JsonValue& map, std::string_view flag) {
  std::string out;
  for (const JsonValue& node : *map.get("nodes")->as_arr()) {
    if (node.get(flag)->as_bool() == true) out += *node.get("id")->as_str() + " ";
  }
  return out;
}

// What the first player owns in a shop or inventory reply: the worn items,
// then "/" and the bag, then its silver.
std::string first_player(const JsonValue& reply) {
  const JsonValue& p = reply.get("players")->as_arr()->at(0);
  std::string out;
  for (const JsonValue& worn : *p.get("worn")->as_arr()) out += *worn.get("item")->as_str() + " ";
  out += "/";
  for (const JsonValue& item : *p.get("bag")->as_arr()) out += " " + *item.get("item")->as_str();
  return out + " " + std::to_string(*p.get("silver")->as_num());
}

TEST(EndToEnd, AFrontEndWalksACampaign) {
  const std::string data = open_road_data(fs::temp_directory_path() / ("velmora-e2e-data-" + std::to_string(::getpid())));
  ServerProcess server({}, {"--data", data});
  const std::uint16_t port = server.port();
  ASSERT_NE(port, 0);
  FrontEnd fe(port);
  EXPECT_EQ(fe.message("new 5 2 fighter wizard"), "new game");

  // The road: cleared by walking, saved at its end; the town lies open.
  walk_east(fe);
  const JsonValue road = fe.ask("continue");
  EXPECT_EQ(nodes_with(road, "cleared") + "| " + nodes_with(road, "open"), "first_road | millbrook ");
  EXPECT_EQ(fe.message("travel dark_wood"), "no open route there");

  // The town: a barrel of silver broken and picked up, a dagger bought (worn
  // at once) and the sword taken back from the bag; after the town's end a
  // ration is still bought.
  EXPECT_EQ(fe.message("travel millbrook"), "on the road");
  for (int i = 0; i < 3; ++i) {
    fe.ask("tick 16");
    fe.ask("run 20 0");
  }
  fe.ask("run 40 2");
  EXPECT_EQ(first_player(fe.ask("buy 0 dagger")), "dagger leather_cap leather_armor / broadsword 80");
  EXPECT_EQ(first_player(fe.ask("equip 0 0")), "broadsword leather_cap leather_armor / dagger 80");
  walk_east(fe);
  EXPECT_EQ(first_player(fe.ask("buy 0 ration")), "broadsword leather_cap leather_armor / dagger ration 75");

  // The side branch: the party stands at the first gate until it is beaten,
  // tries again with a quarter of its silver gone, and is taken back to town.
  EXPECT_EQ(fe.message("travel old_barrow"), "on the road");
  JsonValue fight = fe.ask("run 600 2 2");
  for (int i = 0; i < 40 && status_of(fight) == "playing"; ++i) fight = fe.ask("run 600 0 0");
  ASSERT_EQ(status_of(fight), "wiped");
  EXPECT_NE(fight.get("replay_saved"), nullptr);
  EXPECT_EQ(fe.message("retry"), "back to the checkpoint");
  EXPECT_EQ(first_player(fe.ask("inventory")), "broadsword leather_cap leather_armor / dagger ration 57");
  fe.ask("run 10 2 2");
  EXPECT_EQ(fe.message("debug on"), "debug on");
  EXPECT_EQ(fe.message("goto millbrook"), "moved");
  walk_east(fe);

  // Through the Darkwood to the bandit camp, with what was bought.
  EXPECT_EQ(fe.message("travel dark_wood"), "on the road");
  EXPECT_EQ(first_player(fe.ask("inventory")), "broadsword leather_cap leather_armor / dagger ration 57");
  walk_east(fe);
  EXPECT_EQ(fe.message("travel bandit_camp"), "on the road");
  walk_east(fe);
  const JsonValue end = fe.ask("continue");
  EXPECT_EQ(nodes_with(end, "cleared") + "| " + nodes_with(end, "here"),
            "first_road millbrook dark_wood bandit_camp | bandit_camp ");

  // The road, the town at its end and with the ration, the barrows wiped and
  // tried again, the town once more, the Darkwood and the camp.
  ASSERT_EQ(server.replay_files().size(), 8u);
  for (const std::string& file : server.replay_files()) EXPECT_EQ(fe.watch_verified(file).as_bool(), true) << file;
  fe.send("quit");
  EXPECT_EQ(fe.receive(), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_EQ(server.exit_status(), 0);
  std::error_code ignored;
  fs::remove_all(data, ignored);
}

TEST(EndToEnd, TwoServersFedTheSameScriptAgree) {
  ServerProcess a({}), b({});
  const std::uint16_t port_a = a.port(), port_b = b.port();
  ASSERT_TRUE(port_a != 0 && port_b != 0);
  FrontEnd fa(port_a), fb(port_b);
  for (const char* line : {"new 99 3 wizard thief", "run 120 2 2 2", "tick 16 32 64", "run 45 18 0 2 1",
                           "tick 1024 2048 4096", "run 300 2 18 130"}) {
    EXPECT_EQ(fa.ask(line), fb.ask(line)) << line;
  }
  const JsonValue hash = fa.ask("hash");
  EXPECT_EQ(*hash.get("tick")->as_num(), 467);
  EXPECT_EQ(hash, fb.ask("hash"));
  fa.send("quit");
  fb.send("quit");
  EXPECT_EQ(a.exit_status(), 0);
  EXPECT_EQ(b.exit_status(), 0);
  // "quit" saved each record.
  EXPECT_EQ(a.replay_files().size(), 1u);
  EXPECT_EQ(b.replay_files().size(), 1u);
}

TEST(EndToEnd, TwoServersPlayedByBotsAgreeAndTheBotStageReplayVerifies) {
  ServerProcess a({}), b({});
  const std::uint16_t port_a = a.port(), port_b = b.port();
  ASSERT_TRUE(port_a != 0 && port_b != 0);
  FrontEnd fa(port_a), fb(port_b);
  const JsonValue started = fa.ask("new 3 4 fighter thief wizard cleric");
  EXPECT_EQ(started, fb.ask("new 3 4 fighter thief wizard cleric"));
  JsonValue reply = started;
  for (int i = 0; i < 30 && status_of(reply) == "playing"; ++i) {
    reply = fa.ask("run 600 bot bot bot bot");
    const JsonValue other = fb.ask("run 600 bot bot bot bot");  // replay paths differ by folder
    EXPECT_EQ(*reply.get("events"), *other.get("events"));
    EXPECT_EQ(*reply.get("state"), *other.get("state"));
    EXPECT_EQ(fa.ask("hash"), fb.ask("hash"));
  }
  EXPECT_NE(status_of(reply), "playing");
  ASSERT_EQ(a.replay_files().size(), 1u);
  EXPECT_EQ(fa.watch_verified(a.replay_files().front()).as_bool(), true);
  fa.send("quit");
  fb.send("quit");
  EXPECT_EQ(a.exit_status(), 0);
  EXPECT_EQ(b.exit_status(), 0);
}

TEST(EndToEnd, TheGameOutlivesItsConnections) {
  ServerProcess server({});
  const std::uint16_t port = server.port();
  ASSERT_NE(port, 0);
  {
    FrontEnd fe(port);
    fe.ask("new 7 2");
    fe.ask("run 50 2 2");
    fe.close();  // in the middle of the stage
  }
  {
    // Requests sent without waiting for their replies, then gone: writing to
    // a closed peer must not end the server.
    FrontEnd fe(port);
    for (int i = 0; i < 50; ++i) fe.send("run 2 2");
    fe.close();
  }
  {
    FrontEnd fe(port);
    fe.send(std::string(70 * 1024, 'a'));
    EXPECT_EQ(fe.receive(), "{\"ok\":false,\"message\":\"request line too long\"}");
    EXPECT_EQ(fe.receive(), "");
  }
  FrontEnd fe(port);
  const std::int64_t tick = *fe.ask("hash").get("tick")->as_num();
  EXPECT_GE(tick, 50);
  EXPECT_LE(tick, 150);
  // The first connection ended in the middle of the stage: its ticks were saved.
  ASSERT_GE(server.replay_files().size(), 1u);
  EXPECT_EQ(fe.watch_verified(server.replay_files().back()).as_bool(), true);
  fe.send("  quit \r");
  EXPECT_EQ(fe.receive(), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_EQ(server.exit_status(), 0);
}

// SIGTERM while a front end is connected (the server waits in its read)
// ends the local server as "quit" would: the stage is saved, status 0.
TEST(EndToEnd, SigtermEndsTheLocalServerAsQuitDoes) {
  ServerProcess server({});
  const std::uint16_t port = server.port();
  ASSERT_NE(port, 0);
  FrontEnd fe(port);
  fe.ask("new 7 1");
  EXPECT_EQ(tick_of(fe.ask("run 30 2")), 30);
  server.send_signal(SIGTERM);
  EXPECT_EQ(server.exit_status(), 0);
  EXPECT_TRUE(server.standard_error().ends_with("SIGTERM: stopped\n")) << server.standard_error();
  ASSERT_EQ(server.replay_files().size(), 1u);
  testing::Service watcher;
  EXPECT_TRUE(watcher.watch_verified(server.replay_files()[0]));
}

TEST(EndToEnd, ATakenPortEndsTheProgramWithStatusOne) {
  ServerProcess first({});
  const std::uint16_t port = first.port();
  ASSERT_NE(port, 0);
  ServerProcess second({"--port", std::to_string(port)});
  EXPECT_EQ(second.exit_status(), 1);
  EXPECT_TRUE(second.standard_error().ends_with("cannot bind 127.0.0.1:" + std::to_string(port) +
                                                 ": Address already in use\n"))
      << second.standard_error();
  FrontEnd(port).send("quit");
  EXPECT_EQ(first.exit_status(), 0);
}

TEST(EndToEnd, TheOnlineServerServesAJoinAndStopsWhenIdle) {
  ServerProcess server({"--online", "--port", "0", "--bind", "127.0.0.1", "--idle", "1", "--seed", "4"});
  const std::uint16_t port = server.port();
  ASSERT_NE(port, 0);
  {
    FrontEnd player(port);
    player.send("connect 2 " + hex16(game_data().data_hash));
    EXPECT_TRUE(player.receive().starts_with("welcome 0 "));
    EXPECT_EQ(player.receive(), "sync 0 6");
    player.close();
  }
  EXPECT_EQ(server.exit_status(), 0);
  const std::string log = server.standard_error();
  EXPECT_NE(log.find("online game: a party of 1, data " + hex16(game_data().data_hash) + "\nslot 0 joined\n"),
            std::string::npos) << log;
  EXPECT_TRUE(log.ends_with("nobody connected for 1 s: stopping\n")) << log;
}

// The program under Agones, with a metrics port: the sidecar's port comes
// from AGONES_SDK_HTTP_PORT, the opening request from the allocation, a
// sidecar that refuses "/ready" ends the program with status 1, and SIGTERM
// during the wait for an allocation ends it with status 0.
TEST(EndToEnd, TheOnlineServerUnderAgonesServesItsMetrics) {
  const auto sidecar_port = [](const testing::SidecarStandIn& sidecar) {
    return "AGONES_SDK_HTTP_PORT=" + sidecar.base().substr(sidecar.base().rfind(':') + 1);
  };
  const std::vector<std::string> options = {"--online", "--agones", "--port", "0", "--bind", "127.0.0.1", "--idle", "1"};
  testing::SidecarStandIn sidecar;
  sidecar.allocate_after(1, R"({"velmora/seed":"5","velmora/classes":"wizard"})");
  const std::uint16_t metrics = testing::free_loopback_port();
  ServerProcess server(options, {"--metrics-port", std::to_string(metrics)}, {sidecar_port(sidecar)});
  const std::uint16_t port = server.port();
  ASSERT_NE(port, 0);
  {
    FrontEnd player(port);
    player.send("connect 2 " + hex16(game_data().data_hash));
    EXPECT_TRUE(player.receive().starts_with("welcome 0 "));
    std::string text;
    for (int i = 0; i < 40 && text.find("\nvelmora_game_players 1\n") == std::string::npos; ++i) {
      std::this_thread::sleep_for(100ms);
      auto reply = http_request("GET", "http://127.0.0.1:" + std::to_string(metrics) + "/metrics", std::nullopt,
                                std::nullopt, 2);
      if (reply) text = reply->body;
    }
    EXPECT_NE(text.find("\nvelmora_game_players 1\n"), std::string::npos) << text;
    player.close();
  }
  EXPECT_EQ(server.exit_status(), 0);
  const std::string log = server.standard_error();
  EXPECT_NE(log.find("allocated: new 5 1 wizard\nonline game: a party of 1"), std::string::npos) << log;
  const auto paths = sidecar.paths();
  ASSERT_GE(paths.size(), 5u);
  EXPECT_EQ(std::vector<std::string>(paths.begin(), paths.begin() + 4),
            (std::vector<std::string>{"POST /health", "POST /ready", "GET /gameserver", "GET /gameserver"}));
  EXPECT_EQ(paths.back(), "POST /shutdown");

  testing::SidecarStandIn refusing;
  refusing.fail("/ready", 500, "no");
  ServerProcess refused(options, {}, {sidecar_port(refusing)});
  EXPECT_NE(refused.port(), 0);
  EXPECT_EQ(refused.exit_status(), 1);
  EXPECT_TRUE(refused.standard_error().ends_with("agones: /ready answered 500: no\n")) << refused.standard_error();

  // Stopped by Kubernetes before any allocation came: status 0, "/shutdown" said.
  testing::SidecarStandIn waiting;
  waiting.allocate_after(1'000'000, "{}");
  ServerProcess unallocated(options, {}, {sidecar_port(waiting)});
  EXPECT_NE(unallocated.port(), 0);
  for (int i = 0; i < 100 && waiting.paths().size() < 3; ++i) std::this_thread::sleep_for(20ms);
  unallocated.send_signal(SIGTERM);
  EXPECT_EQ(unallocated.exit_status(), 0);
  EXPECT_TRUE(unallocated.standard_error().ends_with("SIGTERM: stopping\n")) << unallocated.standard_error();
  EXPECT_EQ(waiting.paths().back(), "POST /shutdown");
}

// The x of the player fighter of a slot in a reply's state; -1 when none.
std::int64_t fighter_x(const JsonValue& reply, std::int64_t slot) {
  for (const JsonValue& actor : *reply.get("state")->get("actors")->as_arr()) {
    if (actor.get("player")->as_bool() == true && actor.get("slot")->as_num() == slot) {
      return *actor.get("x")->as_num();
    }
  }
  return -1;
}

TEST(EndToEnd, AFrontEndPlaysOnlineThroughTheClient) {
  ServerProcess server({"--online", "--port", "0", "--bind", "127.0.0.1", "--idle", "1", "--seed", "4"});
  const std::uint16_t server_port = server.port();
  ASSERT_NE(server_port, 0);
  ServerProcess client({"--connect", "127.0.0.1:" + std::to_string(server_port), "--port", "0"});
  const std::uint16_t port = client.port();
  ASSERT_NE(port, 0);
  FrontEnd fe(port);

  const JsonValue hello = fe.ask("hello");
  EXPECT_EQ(hello.get("online")->as_bool(), true);
  EXPECT_EQ(hello.get("slot")->as_num(), 0);
  EXPECT_EQ(fe.message("new 1 1"), "not available in an online game");
  const std::int64_t start_x = fighter_x(fe.ask("state"), 0);
  ASSERT_GE(start_x, 0);

  // Two seconds of walking right, a tick request a frame, as a front end
  // drives its game: the fighter walks, and what the server confirmed keeps
  // up with what the client predicted.
  EXPECT_EQ(fe.message("look 0 3"), "look");
  JsonValue reply;
  for (int i = 0; i < 120; ++i) {
    reply = fe.ask("tick 2");
    std::this_thread::sleep_for(16ms);
  }
  const JsonValue& net = *reply.get("net");
  EXPECT_EQ(net.get("desyncs")->as_num(), 0);
  EXPECT_EQ(net.get("waiting")->as_bool(), false);
  EXPECT_LE(*net.get("ahead")->as_num(), 10);
  EXPECT_GE(tick_of(reply), 90);
  EXPECT_GT(fighter_x(reply, 0), start_x + 100);
  EXPECT_EQ(*reply.get("looks")->as_arr()->front().as_num(), 3);
  // The server's own tick is where the front end's world is, give or take.
  const JsonValue hash = fe.ask("hash");
  EXPECT_EQ(hash.get("ok")->as_bool(), true);
  EXPECT_LE(std::abs(*hash.get("tick")->as_num() - tick_of(reply)), 30);
  EXPECT_EQ(fe.ask("party").get("ok")->as_bool(), true);

  fe.send("quit");
  EXPECT_EQ(fe.receive(), "{\"ok\":true,\"message\":\"bye\"}");
  EXPECT_EQ(client.exit_status(), 0);
  EXPECT_EQ(server.exit_status(), 0);
}

}  // namespace
}  // namespace velmora
