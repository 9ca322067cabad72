#include "server/service/protocol.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <stdlib.h>

#include "core/base/text.h"
#include "core/bot/bot.h"
#include "core/data/game_data.h"
#include "core/rules/sim.h"
#include "core/world/state_hash.h"
#include "server/service/recording.h"
#include "web/json_parser.h"

namespace velmora {
namespace {

// A folder of its own under /tmp, removed with everything in it.
struct TempFolder {
  TempFolder() {
    char name[] = "/tmp/velmora-protocol-XXXXXX";
    if (::mkdtemp(name) == nullptr) panic("cannot make a temporary folder");
    path = name;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
  }
  std::vector<std::string> replay_files() const {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(path)) {
      if (is_replay_file_name(entry.path().filename().string())) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
  }
  void write(const std::string& name, const std::string& text) const {
    RealDisk disk;
    ASSERT_EQ(disk.write_new_file(path + "/" + name, text).value(), NewName::made);
  }
  std::string path;
};

std::vector<std::string> keys_of(const JsonValue& object) {
  std::vector<std::string> keys;
  for (const auto& entry : *object.as_obj()) keys.push_back(entry.first);
  return keys;
}

// A number or a text found by a path of keys; -999 or "<none>" when missing.
std::int64_t num(const JsonValue& v, std::initializer_list<std::string_view> path) {
  const JsonValue* at = &v;
  for (std::string_view key : path) {
    if ((at = at->get(key)) == nullptr) return -999;
  }
  return at->as_num().value_or(-999);
}

std::string text(const JsonValue& v, std::string_view key) {
  const JsonValue* at = v.get(key);
  return at != nullptr && at->as_str() != nullptr ? *at->as_str() : "<none>";
}

struct Service {
  explicit Service(std::optional<std::string> folder = std::nullopt)
      : state(new_server_state(std::move(folder), disk, clock)) {
    clock.set_wall_seconds(1'700'000'000);
  }

  // Every reply must be one strict JSON object with nothing after it.
  JsonValue ask(std::string_view line) {
    const std::string reply = handle_request(state, line);
    JsonCursor cursor{reply, 0};
    auto value = json_parse(cursor);
    json_skip_white(cursor);
    if (!value || value->kind() != JsonValue::Kind::Obj || cursor.pos != reply.size()) {
      ADD_FAILURE() << "not one JSON object: " << reply;
      return JsonValue(JsonValue::Object{});
    }
    return std::move(*value);
  }
  // The message of a refused request, which has nothing but ok and message.
  std::string refusal(std::string_view line) {
    const JsonValue reply = ask(line);
    EXPECT_EQ(keys_of(reply), (std::vector<std::string>{"ok", "message"})) << line;
    EXPECT_EQ(reply.get("ok")->as_bool(), false) << line;
    return text(reply, "message");
  }
  std::string granted(std::string_view line) {
    const JsonValue reply = ask(line);
    EXPECT_EQ(reply.get("ok")->as_bool(), true) << line << ": " << text(reply, "message");
    return text(reply, "message");
  }
  // Watches a file until it is done; the watch object then.
  JsonValue watch_to_the_end(const std::string& path) {
    EXPECT_EQ(granted("watch " + path), "watching");
    for (int i = 0; i < 10'000; ++i) {
      JsonValue watch = *ask("run 600 bot").get("watch");  // the words are ignored while watching
      if (watch.get("done")->as_bool() == true) return watch;
    }
    ADD_FAILURE() << "never done";
    return JsonValue();
  }

  RealDisk disk;
  FakeClock clock;
  ServerState state;
};

TEST(Dispatcher, CommonErrorsAndWords) {
  Service s;
  EXPECT_EQ(s.refusal(""), "empty request");
  EXPECT_EQ(s.refusal(" \t \xC2\xA0 "), "empty request");  // no-break space is white space too
  EXPECT_EQ(s.refusal("TICK"), "unknown request TICK");
  EXPECT_EQ(s.refusal("quit"), "unknown request quit");  // the connection loop answers quit itself
  for (const char* line : {"state", "tick", "run 5", "hash"}) EXPECT_EQ(s.refusal(line), "no game: send new first");
  EXPECT_EQ(s.refusal("save_replay"), "nothing recorded");
  s.granted("  new\t5\xE2\x80\x83" "2  ");  // an em space between the numbers
  EXPECT_EQ(s.state.game->actors.size(), 2u);
  EXPECT_EQ(s.state.game->seed, 5u);
  EXPECT_EQ(s.refusal("save_replay"), "this server has no replay folder (start it with --replays DIR)");
}

TEST(SmallReplies, HelloHashAndDebug) {
  Service s;
  const std::string hello = handle_request(s.state, "hello");
  EXPECT_TRUE(hello.starts_with(
      R"({"ok":true,"protocol":1,"game":"velmora","tick_hz":60,"max_players":4,"has_game":false,"classes":["fighter",)"))
      << hello;
  EXPECT_TRUE(hello.ends_with(R"("levels":4,"optional":1}],"online_protocol":2,"data":")" +
                              hex16(game_data().data_hash) + "\"}"))  // the town is not a level
      << hello;
  EXPECT_EQ(keys_of(s.ask("hello").get("campaigns")->as_arr()->front()),
            (std::vector<std::string>{"name", "title", "blurb", "levels", "optional"}));

  EXPECT_EQ(s.refusal("debug"), "debug needs on or off");
  EXPECT_EQ(s.refusal("debug ON"), "debug needs on or off");
  EXPECT_EQ(handle_request(s.state, "debug on and more"), R"({"ok":true,"message":"debug on"})");
  s.granted("new 3 2");
  EXPECT_EQ(s.ask("hello").get("has_game")->as_bool(), true);
  EXPECT_EQ(keys_of(s.ask("state")), (std::vector<std::string>{"ok", "message", "events", "state", "boxes"}));
  EXPECT_EQ(handle_request(s.state, "debug off"), R"({"ok":true,"message":"debug off"})");
  EXPECT_EQ(keys_of(s.ask("state")), (std::vector<std::string>{"ok", "message", "events", "state"}));

  s.granted("run 10 2 1");
  EXPECT_EQ(handle_request(s.state, "hash"),
            R"({"ok":true,"tick":10,"hash":")" + hex16(state_hash(*s.state.game)) + "\"}");
}

TEST(NewRequest, RefusesBadWordsInOrder) {
  Service s;
  const std::pair<const char*, const char*> cases[] = {
      {"new x", "seed must be a number"},
      {"new -1", "seed must be a number"},
      {"new campaign=main", "seed must be a number"},
      {"new 5 0", "players must be 1 to 4"},
      {"new 5 5", "players must be 1 to 4"},
      {"new 5 1 fighter thief", "more classes than players"},
      {"new 5 2 bandit", "bandit is not a playable class"},
      {"new 5 2 Fighter", "Fighter is not a playable class"},
      {"new 5 1 campaign=", " is not a campaign in region.txt"},
      {"new 5 1 campaign=nowhere fighter", "nowhere is not a campaign in region.txt"},
  };
  for (const auto& [line, message] : cases) EXPECT_EQ(s.refusal(line), message);
  EXPECT_FALSE(s.state.game);
  EXPECT_EQ(s.state.stage_counter, 0u);
}

TEST(NewRequest, StartsTheCampaignWithTheParty) {
  Service s;
  s.clock.wall_ns = 123'456'789'012ull;
  const JsonValue reply = s.ask("new");
  EXPECT_EQ(text(reply, "message"), "new game");
  EXPECT_EQ(s.state.game->seed, 123'456'789'012ull);  // the clock's nanoseconds
  EXPECT_EQ(s.state.campaign->party.size(), 1u);
  EXPECT_EQ(s.state.record->players, 1u);
  EXPECT_EQ(s.state.stage_counter, 1u);

  const std::uint8_t thief = *class_by_name("thief");
  s.granted("new 5 2 campaign=main thief campaign=main");
  const auto& party = s.state.campaign->party;
  ASSERT_EQ(party.size(), 2u);
  EXPECT_EQ(party[0].class_id, thief);
  EXPECT_EQ(party[1].class_id, default_class());
  EXPECT_EQ(party[1].slot, 1);
  EXPECT_EQ(s.state.record->seed, 5u);
  EXPECT_EQ(s.state.record->party, party);
  EXPECT_EQ(s.state.stage_counter, 2u);
}

TEST(TickRequest, CheckTheCountThenTheButtonsThenTheGame) {
  Service s;
  EXPECT_EQ(s.refusal("run"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(s.refusal("run 0"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(s.refusal("run 601 x"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(s.refusal("run 5 70000"), "buttons must be a bitfield number or bot");
  EXPECT_EQ(s.refusal("tick 0 0 0 0 -1"), "buttons must be a bitfield number or bot");  // past the fourth too
  EXPECT_EQ(s.refusal("tick 1 Bot"), "buttons must be a bitfield number or bot");
  EXPECT_EQ(s.refusal("tick 1 bot"), "no game: send new first");
  s.granted("new 1");
  s.granted("tick 0 bot");  // nobody plays slot 1: the bot presses nothing there
  EXPECT_EQ(s.state.game->tick, 1u);
}

// The bot decides its slots afresh before every tick, on the world as it
// stands then, and the record keeps the words it chose.
TEST(TickRequest, BotWordsAreDecidedEveryTickAndRecorded) {
  Service s;
  s.granted("new 8 3 fighter wizard cleric");
  World shadow = *s.state.game;
  s.granted("run 300 bot 2 bot");
  s.granted("tick bot bot bot bot");  // nobody plays slot 3
  std::vector<std::array<Buttons, 4>> expected;
  for (int t = 0; t < 301; ++t) {
    const std::array<Buttons, 4> words{bot_input(shadow, 0), t < 300 ? Buttons{2} : bot_input(shadow, 1),
                                       bot_input(shadow, 2), 0};
    tick(shadow, words);
    expected.push_back(words);
  }
  EXPECT_EQ(state_hash(*s.state.game), state_hash(shadow));
  std::vector<std::array<Buttons, 4>> recorded;
  for (const Command& c : s.state.record->commands) {
    const auto& ticks = std::get<TicksCommand>(c);
    recorded.insert(recorded.end(), ticks.count, ticks.buttons);
  }
  EXPECT_EQ(recorded, expected);
  EXPECT_GT(s.state.game->actors[0].x.floor_int(), 600);  // the bots went somewhere
}

TEST(TickRequest, RecordRunLengthAndReplyWithTheEvents) {
  Service s;
  s.granted("new 9 2");
  EXPECT_EQ(keys_of(s.ask("tick")), (std::vector<std::string>{"ok", "message", "events", "state"}));
  s.ask("run 3 +2 1 0 0 7");
  s.ask("tick 2 1 0 0 99");  // words past the fourth are read but not used
  ASSERT_EQ(s.state.record->commands.size(), 2u);
  const auto& second = std::get<TicksCommand>(s.state.record->commands[1]);
  EXPECT_EQ(second.count, 4u);
  EXPECT_EQ(second.buttons, (std::array<Buttons, 4>{2, 1, 0, 0}));
  EXPECT_TRUE(s.state.unsaved);

  // The events of every tick of a run come back together.
  const JsonValue run = s.ask("run 40 16");
  std::size_t swings = 0;
  for (const JsonValue& e : *run.get("events")->as_arr()) swings += text(e, "kind") == "swing" ? 1 : 0;
  EXPECT_EQ(swings, 1u);  // one press, on the run's first tick
  EXPECT_EQ(num(run, {"state", "tick"}), 45);
}

TEST(DebugRequests, RefuseInOrder) {
  Service s;
  const std::pair<const char*, const char*> cases[] = {
      {"give 0 dagger", "give needs debug on"},
      {"boost 0 skill 2", "boost needs debug on"},
      {"goto millbrook", "goto needs debug on"},
      {"debug on", nullptr},
      {"give 0", "give SLOT ITEM, with an item from items.txt"},
      {"give 0 sword_of_nothing", "give SLOT ITEM, with an item from items.txt"},
      {"give 256 dagger", "give SLOT ITEM, with an item from items.txt"},  // never wraps onto slot 0
      {"give 0 dagger", "no game: send new first"},
      {"boost 0", "boost SLOT skill N | silver N | specials"},
      {"boost 256 skill 1", "boost SLOT skill N | silver N | specials"},
      {"boost 0 bogus", "no game: send new first"},
      {"goto", "goto NODE or goto AREA"},
      {"goto millbrook", "no campaign"},
      {"new 2 2", nullptr},
      {"give 2 dagger", "nobody plays that slot"},
      {"boost 2 bogus", "nobody plays that slot"},
      {"boost 0 bogus", "boost SLOT skill N | silver N | specials"},
  };
  for (const auto& [line, message] : cases) {
    if (message == nullptr) s.granted(line);
    else EXPECT_EQ(s.refusal(line), message);
  }
  EXPECT_TRUE(s.state.record);
}

// Give and boost save what was recorded before they change the game, so the
// file still plays back to its end; then the game is no longer recorded.
TEST(DebugRequests, GiveAndBoostEndTheRecording) {
  TempFolder folder;
  Service s(folder.path);
  s.granted("debug on");
  s.granted("new 31 2");
  s.ask("run 25 2");
  const std::string before = hex16(state_hash(*s.state.game));
  EXPECT_EQ(s.granted("give 0 dagger"), "given; this game is no longer recorded");
  ASSERT_EQ(folder.replay_files().size(), 1u);
  const std::string saved = s.disk.read_file(folder.replay_files()[0], max_replay_file_bytes).value();
  EXPECT_NE(saved.find("end 25 " + before), std::string::npos) << saved;
  EXPECT_FALSE(s.state.record);
  EXPECT_FALSE(s.state.unsaved);

  const Actor& a = s.state.game->actors[0];
  EXPECT_EQ(a.gear[0], item_id(game_data().items, "dagger"));  // gear goes on at once
  EXPECT_TRUE(a.bag.empty());
  s.granted("give +0 healing_potion");
  ASSERT_EQ(a.bag.size(), 1u);
  EXPECT_EQ(a.bag[0], item_id(game_data().items, "healing_potion"));

  EXPECT_EQ(s.granted("boost 1 skill 9"), "boosted; this game is no longer recorded");
  EXPECT_EQ(s.state.game->actors[1].skill, 4);
  EXPECT_EQ(s.state.game->actors[1].sheet->raise(Attribute::skill), 4);
  s.granted("boost 1 skill -3");
  EXPECT_EQ(s.state.game->actors[1].skill, 0);
  s.granted("boost 0 silver +250");
  EXPECT_EQ(a.silver, 250);
  s.granted("boost 0 silver lots");  // an unreadable N counts as 0
  EXPECT_EQ(a.silver, 0);
  s.granted("boost 0 specials");
  const auto& specials = kind_by_id(a.kind).special;
  EXPECT_EQ(std::vector<std::uint8_t>(a.arts.begin(), a.arts.end()),
            std::vector<std::uint8_t>(specials.begin(), specials.end()));
  s.ask("run 5 2");
  EXPECT_FALSE(s.state.record);
  EXPECT_EQ(folder.replay_files().size(), 1u);
}

// The words of each party command, then the game, then the command's own
// checks; nothing refused is recorded.
TEST(PartyRequests, WordsGameAndCommandInOrder) {
  Service s;
  const char* const buy_or_sell = "buy SLOT ITEM or sell SLOT BAG_INDEX";
  const char* const gear = "equip SLOT BAG_INDEX, unequip SLOT WORN, drop SLOT bag|worn INDEX";
  const char* const slot = "needs a player slot from 0 to 3";
  const char* const no_game = "no game: send new first";
  const std::pair<const char*, const char*> cases[] = {
      {"buy", buy_or_sell},
      {"buy 256 ration", buy_or_sell},  // never wraps onto slot 0
      {"buy 0 no_such_item", no_game},
      {"sell x 0", buy_or_sell},
      {"sell 0 x", no_game},
      {"join x", slot},
      {"join 9", no_game},
      {"leave", slot},
      {"spend 0 luck", "spend SLOT st|dx|iq|ht|skill"},
      {"spend 18446744073709551616 st", "spend SLOT st|dx|iq|ht|skill"},
      {"spend 0 st", no_game},
      {"train 0 no_such_move", "train SLOT MOVE, with a special from moves.txt"},
      {"train 0 rally_cry", no_game},
      {"equip 0 1", gear},  // the usage text, not the missing game
      {"unequip", gear},
      {"drop 0 bag 0", gear},
      {"hand 0 1", "hand SLOT TO_SLOT AMOUNT"},
      {"hand 0 1 x", "hand SLOT TO_SLOT AMOUNT"},
      {"hand 0 1 5", no_game},
      {"new 5 2", nullptr},
      {"buy 0 no_such_item", "buy SLOT ITEM, with an item from items.txt"},
      {"buy 0 ration", "there is no merchant here"},
      {"sell 0 x", "sell SLOT BAG_INDEX"},
      {"sell 0 0", "there is no merchant here"},
      {"join 1 bandit", "bandit is not a playable class"},
      {"join 1", "slot already playing"},
      {"join 4", "slot must be 0 to 3"},
      {"leave 3", "nobody plays that slot"},
      {"spend 0 st", "points are spent at camp or at an inn"},
      {"train 0 rally_cry", "there is no trainer here"},
      {"equip 0 x", gear},
      {"equip 300 0", "nobody plays that slot"},  // held at 255
      {"equip 0 0", "nothing there"},
      {"unequip 0 3", "nothing worn there"},
      {"drop 0 Bag 0", gear},
      {"drop 300 bag 0", gear},  // a byte, unlike equip's slot
      {"drop 0 bag 0", "nothing there"},
      {"hand 0 1 -5", "give at least 1 silver"},
      {"hand -3 1 5", "not that much silver"},  // from slot 0
      {"hand 0 0 5", "give to another player"},
      {"hand 0 99999999999 5", "hand SLOT TO_SLOT AMOUNT"},
  };
  for (const auto& [line, message] : cases) {
    if (message == nullptr) {
      s.granted(line);
    } else {
      EXPECT_EQ(s.refusal(line), message) << line;
    }
  }
  EXPECT_TRUE(s.state.record->commands.empty());
  EXPECT_FALSE(s.state.unsaved);
}

// Party commands in a town: each answers, goes into the record as its own
// line, and the saved replay plays back to the very same world.
TEST(PartyRequests, RecordedAndPlayedBack) {
  TempFolder folder;
  Service s(folder.path);
  s.granted("new 8 2");
  s.granted("debug on");
  EXPECT_EQ(s.granted("goto millbrook"), "moved");
  s.ask("run 3 2");
  const std::pair<const char*, const char*> lines[] = {
      {"unequip 0 1", "unequip"}, {"sell 0 0", "sold"},      {"buy 0 ration", "bought"},
      {"hand 0 1 3", "given"},    {"drop 0 bag 0", "drop"},  {"equip 1 0", nullptr},
      {"leave 1", ""},            {"join 1 thief", ""},      {"spend 0 st", nullptr},
  };
  for (const auto& [line, message] : lines) {
    if (message == nullptr) {
      s.refusal(line);
    } else {
      EXPECT_EQ(s.granted(line), message) << line;
    }
  }
  const JsonValue joined = s.ask("join 2 wizard");
  ASSERT_EQ(joined.get("events")->as_arr()->size(), 1u) << "only the join's own event";
  EXPECT_EQ(text((*joined.get("events")->as_arr())[0], "kind"), "join");
  const auto& party = s.state.campaign->party;
  ASSERT_EQ(party.size(), 3u);
  EXPECT_EQ(std::pair(party[1].class_id, party[2].class_id),
            std::pair(*kind_id(game_data().kinds, "thief"), *kind_id(game_data().kinds, "wizard")));
  const JsonValue trained = s.ask("train 0 rally_cry");
  EXPECT_EQ(text(trained, "message"), "not enough silver");
  s.ask("run 2 2");

  std::vector<std::string> recorded;
  for (const Command& c : s.state.record->commands) recorded.push_back(format_command(c));
  EXPECT_EQ(recorded, (std::vector<std::string>{"ticks 3 2 0 0 0", "unequip 0 1", "sell 0 0", "buy 0 ration",
                                                "hand 0 1 3", "drop 0 bag 0", "leave 1", "join 1 thief",
                                                "join 2 wizard", "ticks 2 2 0 0 0"}));
  EXPECT_EQ(s.granted("save_replay"), "replay saved");
  const std::string hash = hex16(state_hash(*s.state.game));
  const std::vector<std::string> files = folder.replay_files();
  ASSERT_FALSE(files.empty());
  Service fresh;
  const JsonValue watched = fresh.watch_to_the_end(files.back());
  EXPECT_EQ(watched.get("verified")->as_bool(), true);
  EXPECT_EQ(hex16(state_hash(*fresh.state.game)), hash);
  for (const char* line : {"join 3", "leave 0"}) EXPECT_EQ(fresh.refusal(line), "watching a replay");

  // A train shows the last tick's events before its own.
  s.granted("boost 0 silver 100");
  s.ask("tick 32");
  const JsonValue learned = s.ask("train 0 rally_cry");
  EXPECT_EQ(text(learned, "message"), "learned");
  std::vector<std::string> kinds;
  const JsonValue* events = learned.get("events");
  ASSERT_TRUE(events != nullptr && events->as_arr() != nullptr);
  for (const JsonValue& e : *events->as_arr()) kinds.push_back(text(e, "kind"));
  EXPECT_EQ(kinds, (std::vector<std::string>{"jump", "learned"}));
}

TEST(DebugRequests, GotoANodeOrAStage) {
  TempFolder folder;
  folder.write("short.txt", "velmora-replay 1\nseed 3\nplayers 1\nticks 5 2 0 0 0\n");
  Service s;
  s.granted("debug on");
  s.granted("new 10 1");
  s.granted("watch " + folder.path + "/short.txt");
  s.ask("run 2");
  EXPECT_EQ(s.granted("goto millbrook"), "moved");  // ends the watching
  EXPECT_FALSE(s.state.watch);
  EXPECT_EQ(s.state.game->seed, 4u);
  s.granted("new 10 1");
  s.ask("run 20 2");
  const std::uint64_t counter = s.state.stage_counter;
  EXPECT_EQ(s.refusal("goto nowhere"), "goto NODE or goto AREA, from region.txt or stage.txt");
  // The refused name still took the party from the running game.
  EXPECT_EQ(s.state.campaign->party, party_sheets(*s.state.game));
  EXPECT_EQ(s.state.stage_counter, counter);

  EXPECT_EQ(s.granted("goto millbrook"), "moved");
  EXPECT_EQ(s.state.game->seed, 11u);
  EXPECT_EQ(s.state.campaign->current_node, *node_by_name("millbrook"));
  EXPECT_EQ(s.state.game->stage().name, "millbrook");
  EXPECT_EQ(s.state.stage_counter, counter + 1);

  // A stage that is no node: the record follows the stage, the node stays.
  std::string area;
  for (const StageDef& st : game_data().stages) {
    if (!node_by_name(st.name)) area = st.name;
  }
  ASSERT_FALSE(area.empty());
  s.granted("goto " + area);
  EXPECT_EQ(s.state.game->stage().name, area);
  EXPECT_EQ(s.state.game->seed, 12u);
  EXPECT_EQ(s.state.record->stage, *stage_index(game_data().stages, area));
  EXPECT_EQ(s.state.campaign->current_node, *node_by_name("millbrook"));
  EXPECT_EQ(s.state.stage_counter, counter + 2);
}

TEST(WatchRequest, RefusesWhatItCannotRead) {
  TempFolder folder;
  folder.write("latin.txt", "velmora-replay 1\nseed 1\nplayers 1\n# caf\xE9\n");
  folder.write("other.txt", "velmora-replay 2\n");
  Service s;
  const std::string& dir = folder.path;
  EXPECT_EQ(s.refusal("watch"), "watch needs a replay file");
  EXPECT_EQ(s.refusal("watch " + dir + "/no such  file"), "cannot read " + dir + "/no such file: No such file or directory");
  EXPECT_EQ(s.refusal("watch " + dir), "cannot read " + dir + ": Is a directory");
  EXPECT_EQ(s.refusal("watch " + dir + "/latin.txt"), "cannot read " + dir + "/latin.txt: not valid UTF-8");
  EXPECT_EQ(s.refusal("watch " + dir + "/other.txt"), "replay format 2 is not supported (this build reads 1)");
  EXPECT_FALSE(s.state.game);
  EXPECT_EQ(s.state.stage_counter, 0u);
}

TEST(WatchRequest, PlaysTheRecordBackAndVerifiesIt) {
  TempFolder folder;
  Service s(folder.path);
  for (const char* line : {"new 21 2", "run 40 2 1", "tick 16", "run 30 0 32", "tick 18 18"}) s.ask(line);
  const std::string path = text(s.ask("save_replay"), "path");
  s.granted("new 1");
  s.ask("tick 2");  // unsaved: saved when the watch replaces the game
  const JsonValue start = s.ask("watch " + path);
  EXPECT_EQ(text(start, "message"), "watching");
  EXPECT_EQ(keys_of(start).back(), "watch");
  const JsonValue& w = *start.get("watch");
  EXPECT_EQ(keys_of(w), (std::vector<std::string>{"tick", "total", "done", "verified", "same_data"}));
  EXPECT_EQ(num(w, {"total"}), 72);
  EXPECT_EQ(text(w, "verified"), "unknown");
  EXPECT_EQ(w.get("same_data")->as_bool(), true);
  EXPECT_EQ(folder.replay_files().size(), 2u);
  EXPECT_FALSE(s.state.record);
  EXPECT_EQ(s.state.stage_counter, 3u);
  EXPECT_EQ(s.refusal("save_replay"), "watching a replay");

  EXPECT_EQ(num(s.ask("run 41"), {"watch", "tick"}), 41);
  const JsonValue end = s.ask("run 600");
  EXPECT_EQ(num(end, {"watch", "tick"}), 72);
  EXPECT_EQ(end.get("watch")->get("done")->as_bool(), true);
  EXPECT_EQ(end.get("watch")->get("verified")->as_bool(), true);
  s.ask("run 600");
  EXPECT_EQ(s.state.game->tick, 72u);  // nothing more to play

  // One changed word, and the end no longer matches.
  std::string changed = s.disk.read_file(path, max_replay_file_bytes).value();
  const std::size_t at = changed.find("ticks 40 2 1 0 0\n");
  ASSERT_NE(at, std::string::npos) << changed;
  changed.replace(at, 16, "ticks 40 2 0 0 0");
  folder.write("changed.txt", changed);
  EXPECT_EQ(s.watch_to_the_end(folder.path + "/changed.txt").get("verified")->as_bool(), false);
  // Without an end nothing is verified; a data hash of other data is noticed.
  folder.write("plain.txt", "velmora-replay 1\nseed 3\nplayers 1\ndata 0000000000000001\nticks 5 2 0 0 0\n");
  const JsonValue plain = s.watch_to_the_end(folder.path + "/plain.txt");
  EXPECT_EQ(text(plain, "verified"), "unknown");
  EXPECT_EQ(plain.get("same_data")->as_bool(), false);
}

// Whatever a front end does, every replay file the service writes plays back
// to the state it was saved at.
TEST(ReplayChain, EveryWrittenReplayVerifies) {
  const char* const requests[] = {"new 17 3",       "new 5 2 wizard cleric", "debug on",       "give 1 healing_potion",
                                  "boost 0 specials", "save_replay",          "hash",           "goto millbrook",
                                  "buy 0 ration",     "buy 1 healing_potion", "sell 0 0",       "sell 1 1",
                                  "unequip 0 1",      "unequip 1 0",          "equip 0 0",      "equip 1 1",
                                  "drop 0 bag 0",     "drop 1 worn 0",        "hand 0 1 2",     "hand 1 0 40",
                                  "join 2 thief",     "join 1",               "leave 1",        "leave 0",
                                  "spend 0 st",       "spend 1 skill",        "train 0 rally_cry"};
  for (std::uint64_t trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    TempFolder folder;
    Service s(folder.path);
    std::mt19937_64 rng(trial * 7919 + 1);
    s.granted("new " + std::to_string(trial) + " " + std::to_string(1 + trial % 4));
    for (int i = 0; i < 25; ++i) {
      std::string line = rng() % 2 == 0 ? requests[rng() % std::size(requests)] : "run " + std::to_string(1 + rng() % 150);
      for (std::uint64_t n = rng() % 5; n > 0; --n) line += " " + std::to_string(rng() % 4 == 0 ? rng() % 65536 : 18);
      s.ask(line);
      s.clock.advance(std::chrono::milliseconds(rng() % 1500));
    }
    s.granted("new " + std::to_string(trial + 100) + " 3");
    s.ask("run 120 2 18 0");
    s.granted("save_replay");
    for (const std::string& file : folder.replay_files()) {
      EXPECT_EQ(s.watch_to_the_end(file).get("verified")->as_bool(), true) << file;
    }
  }
}

TEST(CampaignState, NewStateAndTheCurrentParty) {
  const GameData& data = game_data();
  std::vector<CharacterSheet> party = new_party({default_class(), default_class()});
  party[0].slot = party[1].slot = 3;
  const CampaignState c = new_campaign_state(999, party);
  EXPECT_EQ(c.campaign, data.campaigns.size() - 1);
  EXPECT_EQ(c.current_node, data.campaigns.back().start);
  EXPECT_EQ(c.party[0].slot, 0);
  EXPECT_EQ(c.party[1].slot, 1);
  EXPECT_EQ(c.cleared, std::vector<std::uint8_t>(data.nodes.size(), 0));
  EXPECT_EQ(node_by_name("Millbrook"), std::nullopt);  // names match by their exact bytes

  Service s;
  EXPECT_TRUE(current_party(s.state).empty());
  s.granted("new 4 2");
  s.state.game->actors[0].silver = 77;
  EXPECT_EQ(current_party(s.state)[0].silver, 77);
  s.state.game->over = GameStatus::wiped;
  EXPECT_EQ(current_party(s.state)[0].silver, 0);  // the campaign's own party
}

}  // namespace
}  // namespace velmora
