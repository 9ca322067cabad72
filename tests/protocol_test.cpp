#include "server/protocol.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <stdlib.h>

#include "core/game_data.h"
#include "core/state_hash.h"
#include "core/text.h"
#include "server/debug_requests.h"
#include "server/recording.h"
#include "server/requests.h"
#include "tests/support/support.h"
#include "web/json_parser.h"

namespace velmora {
namespace {

// A folder of its own under /tmp, removed with everything in it.
class TempFolder {
 public:
  TempFolder() {
    char name[] = "/tmp/velmora-protocol-XXXXXX";
    const char* made = ::mkdtemp(name);
    if (made == nullptr) panic("cannot make a temporary folder");
    path = made;
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
  std::string path;
};

// Every reply must be one strict JSON object with nothing after it.
JsonValue parse_reply(const std::string& text) {
  JsonCursor cursor{text, 0};
  auto value = json_parse(cursor);
  if (!value || value->kind() != JsonValue::Kind::Obj) {
    ADD_FAILURE() << "not a JSON object: " << text;
    return JsonValue();
  }
  json_skip_white(cursor);
  EXPECT_EQ(cursor.pos, text.size()) << "text after the reply: " << text;
  return std::move(*value);
}

std::string message_of(const JsonValue& reply) {
  const JsonValue* m = reply.get("message");
  return m != nullptr && m->as_str() != nullptr ? *m->as_str() : std::string("<none>");
}

bool ok_of(const JsonValue& reply) {
  const JsonValue* ok = reply.get("ok");
  return ok != nullptr && ok->as_bool().value_or(false);
}

std::int64_t number_at(const JsonValue& reply, std::initializer_list<std::string_view> path) {
  const JsonValue* v = &reply;
  for (std::string_view key : path) {
    v = v->get(key);
    if (v == nullptr) return -999;
  }
  return v->as_num().value_or(-999);
}

class Service {
 public:
  explicit Service(std::optional<std::string> folder = std::nullopt)
      : state(new_server_state(std::move(folder), disk, clock)) {
    clock.set_wall_seconds(1'700'000'000);
  }

  JsonValue ask(std::string_view line) { return parse_reply(handle_request(state, line)); }

  // The message of a refused request.
  std::string refusal(std::string_view line) {
    const JsonValue reply = ask(line);
    EXPECT_FALSE(ok_of(reply)) << line;
    EXPECT_EQ(reply.as_obj()->size(), 2u) << line;
    return message_of(reply);
  }

  // The message of a granted request.
  std::string granted(std::string_view line) {
    const JsonValue reply = ask(line);
    EXPECT_TRUE(ok_of(reply)) << line << ": " << message_of(reply);
    return message_of(reply);
  }

  RealDisk disk;
  FakeClock clock;
  ServerState state;
};

std::vector<std::string> keys_of(const JsonValue& object) {
  std::vector<std::string> keys;
  for (const auto& [key, value] : *object.as_obj()) keys.push_back(key);
  return keys;
}

// ---------------------------------------------------------------------------
// The dispatcher

TEST(Dispatcher, CommonErrors) {
  Service s;
  EXPECT_EQ(s.refusal(""), "empty request");
  EXPECT_EQ(s.refusal(" \t \xC2\xA0 "), "empty request");  // no-break space is white space too
  EXPECT_EQ(s.refusal("TICK"), "unknown request TICK");
  EXPECT_EQ(s.refusal("quit"), "unknown request quit");  // the connection loop answers quit itself
  EXPECT_EQ(s.refusal("frobnicate now"), "unknown request frobnicate");
  for (const char* line : {"state", "tick", "run 5", "hash"}) EXPECT_EQ(s.refusal(line), "no game: send new first");
  EXPECT_EQ(s.refusal("save_replay"), "nothing recorded");
}

TEST(Dispatcher, LaterRequestsAreKnownButNotBuilt) {
  Service s;
  for (const char* word : {"map", "continue", "travel", "retry", "party", "inventory", "shop", "buy", "sell", "join",
                           "leave", "spend", "train", "equip", "unequip", "drop", "hand"}) {
    EXPECT_EQ(s.refusal(std::string(word) + " 0 1"), std::string(word) + " is not built yet");
  }
}

TEST(Dispatcher, WordsAreSplitAtAnyWhiteSpace) {
  Service s;
  s.granted("  new\t5\xE2\x80\x83" "2  ");  // an em space between the numbers
  EXPECT_EQ(s.state.game->actors.size(), 2u);
  EXPECT_EQ(s.state.game->seed, 5u);
}

TEST(WordReaders, NumbersSlotsAndButtons) {
  const std::vector<std::string_view> words{"x", "+7", "256", "-1", "65535", "65536", "bot", "Bot", "+", ""};
  EXPECT_EQ(unsigned_word(words, 1), 7u);
  EXPECT_EQ(slot_word(words, 1), 7);
  EXPECT_EQ(slot_word(words, 2), std::nullopt);  // never wraps onto slot 0
  EXPECT_EQ(slot_word(words, 3), std::nullopt);
  EXPECT_EQ(signed_word(words, 3), -1);
  EXPECT_EQ(slot_word(words, 99), std::nullopt);
  EXPECT_EQ(button_word(words[4])->value, 65535);
  EXPECT_FALSE(button_word(words[5]));
  EXPECT_TRUE(button_word(words[6])->bot);
  EXPECT_FALSE(button_word(words[7]));
  EXPECT_FALSE(button_word(words[8]));
  EXPECT_FALSE(button_word(words[9]));
}

// ---------------------------------------------------------------------------
// hello, hash, debug

TEST(HelloRequest, DescribesTheServerAndTheData) {
  Service s;
  JsonValue hello = s.ask("hello");
  EXPECT_EQ(keys_of(hello), (std::vector<std::string>{"ok", "protocol", "game", "tick_hz", "max_players", "has_game",
                                                      "classes", "campaigns", "online_protocol", "data"}));
  EXPECT_EQ(number_at(hello, {"protocol"}), 1);
  EXPECT_EQ(*hello.get("game")->as_str(), "velmora");
  EXPECT_EQ(number_at(hello, {"tick_hz"}), 60);
  EXPECT_EQ(number_at(hello, {"max_players"}), 4);
  EXPECT_EQ(hello.get("has_game")->as_bool(), false);
  EXPECT_EQ(number_at(hello, {"online_protocol"}), 2);
  EXPECT_EQ(*hello.get("data")->as_str(), hex16(game_data().data_hash));

  const GameData& data = game_data();
  std::vector<std::string> classes;
  for (const KindDef& k : data.kinds) {
    if (k.player) classes.push_back(k.name);
  }
  const auto* listed = hello.get("classes")->as_arr();
  ASSERT_EQ(listed->size(), classes.size());
  for (std::size_t i = 0; i < classes.size(); ++i) EXPECT_EQ(*(*listed)[i].as_str(), classes[i]);

  const auto* campaigns = hello.get("campaigns")->as_arr();
  ASSERT_EQ(campaigns->size(), data.campaigns.size());
  const CampaignDef& first = data.campaigns[0];
  const JsonValue& shown = (*campaigns)[0];
  EXPECT_EQ(keys_of(shown), (std::vector<std::string>{"name", "title", "blurb", "levels", "optional"}));
  EXPECT_EQ(*shown.get("name")->as_str(), first.name);
  std::int64_t levels = 0;
  for (std::size_t node : first.nodes) levels += data.stages[data.nodes[node].stage].town ? 0 : 1;
  EXPECT_EQ(number_at(shown, {"levels"}), levels);
  EXPECT_LT(levels, static_cast<std::int64_t>(first.nodes.size()));  // the town is not a level

  s.granted("new 1");
  EXPECT_EQ(s.ask("hello").get("has_game")->as_bool(), true);
}

TEST(HashRequest, ShowsTheTickAndTheStateHash) {
  Service s;
  s.granted("new 3 2");
  s.granted("run 10 2 1");
  const JsonValue reply = s.ask("hash");
  EXPECT_EQ(keys_of(reply), (std::vector<std::string>{"ok", "tick", "hash"}));
  EXPECT_EQ(number_at(reply, {"tick"}), 10);
  EXPECT_EQ(*reply.get("hash")->as_str(), hex16(state_hash(*s.state.game)));
}

TEST(DebugRequest, SwitchesAndAddsTheBoxes) {
  Service s;
  EXPECT_EQ(s.refusal("debug"), "debug needs on or off");
  EXPECT_EQ(s.refusal("debug ON"), "debug needs on or off");
  const JsonValue on = s.ask("debug on and more");
  EXPECT_EQ(keys_of(on), (std::vector<std::string>{"ok", "message"}));
  EXPECT_EQ(message_of(on), "debug on");
  EXPECT_TRUE(s.state.debug);
  s.granted("new 1");
  EXPECT_EQ(keys_of(s.ask("state")), (std::vector<std::string>{"ok", "message", "events", "state", "boxes"}));
  EXPECT_EQ(s.granted("debug off"), "debug off");
  EXPECT_EQ(keys_of(s.ask("state")), (std::vector<std::string>{"ok", "message", "events", "state"}));
}

// ---------------------------------------------------------------------------
// new

TEST(NewRequest, RefusesBadWordsInOrder) {
  Service s;
  EXPECT_EQ(s.refusal("new x"), "seed must be a number");
  EXPECT_EQ(s.refusal("new -1"), "seed must be a number");
  EXPECT_EQ(s.refusal("new campaign=main"), "seed must be a number");
  EXPECT_EQ(s.refusal("new 5 0"), "players must be 1 to 4");
  EXPECT_EQ(s.refusal("new 5 5"), "players must be 1 to 4");
  EXPECT_EQ(s.refusal("new 5 two"), "players must be 1 to 4");
  EXPECT_EQ(s.refusal("new 5 1 fighter thief"), "more classes than players");
  EXPECT_EQ(s.refusal("new 5 2 bandit"), "bandit is not a playable class");
  EXPECT_EQ(s.refusal("new 5 2 Fighter"), "Fighter is not a playable class");
  EXPECT_EQ(s.refusal("new 5 1 campaign="), " is not a campaign in region.txt");
  EXPECT_EQ(s.refusal("new 5 1 campaign=nowhere fighter"), "nowhere is not a campaign in region.txt");
  EXPECT_FALSE(s.state.game);
  EXPECT_EQ(s.state.stage_counter, 0u);
}

TEST(NewRequest, StartsTheCampaignWithTheParty) {
  Service s;
  s.clock.wall_ns = 123'456'789'012ull;
  const JsonValue reply = s.ask("new");
  EXPECT_EQ(message_of(reply), "new game");
  EXPECT_EQ(reply.get("events")->as_arr()->size(), 0u);
  ASSERT_TRUE(s.state.game);
  EXPECT_EQ(s.state.game->seed, 123'456'789'012ull);  // the clock's nanoseconds
  ASSERT_TRUE(s.state.campaign);
  EXPECT_EQ(s.state.campaign->party.size(), 1u);
  EXPECT_EQ(s.state.campaign->party[0].class_id, default_class());
  ASSERT_TRUE(s.state.record);
  EXPECT_EQ(s.state.record->players, 1u);
  EXPECT_TRUE(s.state.record->commands.empty());
  EXPECT_EQ(s.state.stage_counter, 1u);

  const std::uint8_t thief = *class_by_name("thief");
  s.granted("new 5 2 thief");
  ASSERT_EQ(s.state.campaign->party.size(), 2u);
  EXPECT_EQ(s.state.campaign->party[0].class_id, thief);
  EXPECT_EQ(s.state.campaign->party[1].class_id, default_class());
  EXPECT_EQ(s.state.campaign->party[1].slot, 1);
  EXPECT_EQ(s.state.record->seed, 5u);
  EXPECT_EQ(s.state.record->party, s.state.campaign->party);
  EXPECT_EQ(s.state.stage_counter, 2u);

  // The last campaign word wins, and campaign words may stand between classes.
  const std::string name = game_data().campaigns[0].name;
  s.granted("new 6 2 campaign=" + name + " thief campaign=" + name);
  EXPECT_EQ(s.state.campaign->party[0].class_id, thief);
}

// ---------------------------------------------------------------------------
// tick and run

TEST(TickRequest, CheckTheCountThenTheButtonsThenTheGame) {
  Service s;
  EXPECT_EQ(s.refusal("run"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(s.refusal("run 0"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(s.refusal("run 601 x"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(s.refusal("run 4294967296"), "run needs a tick count from 1 to 600");
  EXPECT_EQ(s.refusal("run 5 70000"), "buttons must be a bitfield number or bot");
  EXPECT_EQ(s.refusal("tick 0 0 0 0 -1"), "buttons must be a bitfield number or bot");  // words past the fourth too
  EXPECT_EQ(s.refusal("tick 1 2"), "no game: send new first");
  EXPECT_EQ(s.refusal("tick bot"), "no game: send new first");
  s.granted("new 1");
  EXPECT_EQ(s.refusal("tick 0 bot"), "the bot is not built yet");
  EXPECT_EQ(s.state.game->tick, 0u);
}

TEST(TickRequest, RecordRunLengthAndReplyWithTheEvents) {
  Service s;
  s.granted("new 9 2");
  const JsonValue first = s.ask("tick");
  EXPECT_EQ(keys_of(first), (std::vector<std::string>{"ok", "message", "events", "state"}));
  EXPECT_EQ(message_of(first), "");
  s.ask("run 3 +2 1 0 0 7");
  s.ask("tick 2 1 0 0 99");  // words past the fourth are read but not used
  ASSERT_EQ(s.state.record->commands.size(), 2u);
  const auto& second = std::get<TicksCommand>(s.state.record->commands[1]);
  EXPECT_EQ(second.count, 4u);
  EXPECT_EQ(second.buttons, (std::array<Buttons, 4>{2, 1, 0, 0}));
  EXPECT_TRUE(s.state.unsaved);
  EXPECT_EQ(s.state.game->tick, 5u);

  // The events of every tick of a run come back together.
  const JsonValue run = s.ask("run 40 16");
  std::size_t swings = 0;
  for (const JsonValue& e : *run.get("events")->as_arr()) swings += *e.get("kind")->as_str() == "swing" ? 1 : 0;
  EXPECT_GE(swings, 1u);
  EXPECT_EQ(number_at(run, {"state", "tick"}), 45);
}

TEST(TickRequest, AFinishedStageRunsNoTick) {
  Service s;
  s.granted("new 9 1");
  s.state.game->over = GameStatus::wiped;
  const JsonValue reply = s.ask("run 600 2");
  EXPECT_TRUE(ok_of(reply));
  EXPECT_EQ(s.state.game->tick, 0u);
  EXPECT_TRUE(s.state.record->commands.empty());
  EXPECT_EQ(reply.get("replay_saved"), nullptr);
}

TEST(TickRequest, AClearedStageIsSavedOnceAndNamedInTheReply) {
  TempFolder folder;
  Service s(folder.path);
  s.granted("debug on");
  s.granted("new 4 1");
  EXPECT_EQ(s.granted("goto millbrook"), "moved");  // a town: no gates, walk out east
  World& w = *s.state.game;
  const std::int32_t exit_x = w.stage().exit_x;
  w.camera_x = Fx::from_raw((w.stage().length - w.view_w / 2) * 256);
  w.actors[0].x = Fx::from_raw((exit_x + 10) * 256);
  const JsonValue reply = s.ask("run 600 2");
  EXPECT_EQ(number_at(reply, {"state", "tick"}), 1);  // the stage ended on its first tick
  ASSERT_NE(reply.get("replay_saved"), nullptr);
  EXPECT_EQ(keys_of(reply).back(), "replay_saved");
  EXPECT_EQ(folder.replay_files(), std::vector<std::string>{*reply.get("replay_saved")->as_str()});
  EXPECT_FALSE(s.state.unsaved);
  const std::uint64_t node = *node_by_name("millbrook");
  EXPECT_EQ(s.state.campaign->cleared[node], 1);
  EXPECT_EQ(s.ask("run 5").get("replay_saved"), nullptr);
  EXPECT_EQ(folder.replay_files().size(), 1u);
}

// ---------------------------------------------------------------------------
// give, boost, goto

TEST(GiveRequest, ChecksInOrder) {
  Service s;
  EXPECT_EQ(s.refusal("give 0 dagger"), "give needs debug on");
  s.granted("debug on");
  EXPECT_EQ(s.refusal("give"), "give SLOT ITEM, with an item from items.txt");
  EXPECT_EQ(s.refusal("give 0"), "give SLOT ITEM, with an item from items.txt");
  EXPECT_EQ(s.refusal("give 0 sword_of_nothing"), "give SLOT ITEM, with an item from items.txt");
  EXPECT_EQ(s.refusal("give 256 dagger"), "give SLOT ITEM, with an item from items.txt");
  EXPECT_EQ(s.refusal("give 0 dagger"), "no game: send new first");
  s.granted("new 2 1");
  EXPECT_EQ(s.refusal("give 1 dagger"), "nobody plays that slot");
  EXPECT_TRUE(s.state.record);
}

TEST(GiveRequest, PutsGearOnAndOtherItemsInTheBag) {
  Service s;
  s.granted("debug on");
  s.granted("new 2 1");
  const auto dagger = *item_id(game_data().items, "dagger");
  const auto potion = *item_id(game_data().items, "healing_potion");
  const JsonValue reply = s.ask("give 0 dagger");
  EXPECT_EQ(message_of(reply), "given; this game is no longer recorded");
  EXPECT_EQ(reply.get("events")->as_arr()->size(), 0u);
  const Actor& a = s.state.game->actors[0];
  EXPECT_EQ(a.gear[0], dagger);
  EXPECT_TRUE(a.bag.empty());  // the old weapon is gone
  s.granted("give +0 healing_potion");
  s.granted("give 0 healing_potion");
  EXPECT_EQ(s.state.game->actors[0].bag.size(), 2u);
  EXPECT_EQ(s.state.game->actors[0].bag[1], potion);
  EXPECT_FALSE(s.state.record);
  EXPECT_FALSE(s.state.unsaved);
  s.ask("tick 2");
  EXPECT_FALSE(s.state.record);  // no longer recorded
}

TEST(BoostRequest, ChecksInOrderAndSetsTheValue) {
  Service s;
  EXPECT_EQ(s.refusal("boost 0 skill 2"), "boost needs debug on");
  s.granted("debug on");
  EXPECT_EQ(s.refusal("boost 0"), "boost SLOT skill N | silver N | specials");
  EXPECT_EQ(s.refusal("boost x skill 1"), "boost SLOT skill N | silver N | specials");
  EXPECT_EQ(s.refusal("boost 0 bogus"), "no game: send new first");
  s.granted("new 2 2");
  EXPECT_EQ(s.refusal("boost 2 skill 1"), "nobody plays that slot");
  EXPECT_EQ(s.refusal("boost 0 bogus"), "boost SLOT skill N | silver N | specials");
  EXPECT_TRUE(s.state.record);

  EXPECT_EQ(s.granted("boost 1 skill 9"), "boosted; this game is no longer recorded");
  EXPECT_FALSE(s.state.record);
  const Actor& second = s.state.game->actors[1];
  EXPECT_EQ(second.skill, 4);
  EXPECT_EQ(second.sheet->raise(Attribute::skill), 4);
  s.granted("boost 1 skill -3");
  EXPECT_EQ(s.state.game->actors[1].skill, 0);
  s.granted("boost 0 silver -5");
  EXPECT_EQ(s.state.game->actors[0].silver, 0);
  s.granted("boost 0 silver +250");
  EXPECT_EQ(s.state.game->actors[0].silver, 250);
  s.granted("boost 0 silver lots");  // unreadable N counts as 0
  EXPECT_EQ(s.state.game->actors[0].silver, 0);
  s.granted("boost 0 specials");
  const auto& specials = kind_by_id(s.state.game->actors[0].kind).special;
  ASSERT_EQ(s.state.game->actors[0].arts.size(), specials.size());
  for (std::size_t i = 0; i < specials.size(); ++i) EXPECT_EQ(s.state.game->actors[0].arts[i], specials[i]);
}

TEST(GotoRequest, ChecksAndMoves) {
  Service s;
  EXPECT_EQ(s.refusal("goto millbrook"), "goto needs debug on");
  s.granted("debug on");
  EXPECT_EQ(s.refusal("goto"), "goto NODE or goto AREA");
  EXPECT_EQ(s.refusal("goto millbrook"), "no campaign");
  s.granted("new 10 1");
  s.ask("run 20 2");
  EXPECT_EQ(s.refusal("goto nowhere"), "goto NODE or goto AREA, from region.txt or stage.txt");
  // The refused name still took the party from the running game.
  EXPECT_EQ(s.state.campaign->party, party_sheets(*s.state.game));
  EXPECT_EQ(s.state.stage_counter, 1u);

  EXPECT_EQ(s.granted("goto millbrook"), "moved");
  EXPECT_EQ(s.state.game->seed, 11u);
  EXPECT_EQ(s.state.campaign->current_node, *node_by_name("millbrook"));
  EXPECT_EQ(s.state.game->stage().name, "millbrook");
  EXPECT_EQ(s.state.stage_counter, 2u);

  // A stage that is no node: the record follows the stage.
  const auto& stages = game_data().stages;
  std::string area;
  for (const StageDef& st : stages) {
    if (!node_by_name(st.name)) area = st.name;
  }
  ASSERT_FALSE(area.empty());
  s.granted("goto " + area);
  EXPECT_EQ(s.state.game->stage().name, area);
  EXPECT_EQ(s.state.game->seed, 12u);
  EXPECT_EQ(s.state.record->stage, *stage_index(stages, area));
  EXPECT_EQ(s.state.campaign->current_node, *node_by_name("millbrook"));
}

// ---------------------------------------------------------------------------
// watch and save_replay

std::string record_a_stage(const std::string& folder, const std::vector<std::string>& script) {
  Service s(folder);
  for (const auto& line : script) s.ask(line);
  const JsonValue saved = s.ask("save_replay");
  EXPECT_EQ(keys_of(saved), (std::vector<std::string>{"ok", "message", "path"}));
  EXPECT_EQ(message_of(saved), "replay saved");
  return *saved.get("path")->as_str();
}

// Watches a file to its end and one tick past; the watch object then.
JsonValue watch_to_the_end(const std::string& path) {
  Service s;
  const JsonValue start = s.ask("watch " + path);
  EXPECT_EQ(message_of(start), "watching") << path;
  JsonValue watch;
  for (int i = 0; i < 10'000; ++i) {
    JsonValue reply = s.ask("run 600 bot");  // the words are ignored while watching
    watch = *reply.get("watch");
    if (watch.get("done")->as_bool() == true) break;
  }
  return watch;
}

TEST(WatchRequest, RefusesWhatItCannotRead) {
  TempFolder folder;
  Service s;
  EXPECT_EQ(s.refusal("watch"), "watch needs a replay file");
  EXPECT_EQ(s.refusal("watch " + folder.path + "/no such  file"),
            "cannot read " + folder.path + "/no such file: No such file or directory");
  EXPECT_EQ(s.refusal("watch " + folder.path), "cannot read " + folder.path + ": Is a directory");
  EXPECT_EQ(s.refusal("watch /dev/zero"), "cannot read /dev/zero: not a regular file");
  const std::string fifo = folder.path + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(s.refusal("watch " + fifo), "cannot read " + fifo + ": not a regular file");
  const std::string latin = folder.path + "/latin.txt";
  ASSERT_EQ(s.disk.write_new_file(latin, "velmora-replay 1\nseed 1\nplayers 1\n# caf\xE9\n").value(), NewName::made);
  EXPECT_EQ(s.refusal("watch " + latin), "cannot read " + latin + ": not valid UTF-8");
  const std::string other = folder.path + "/other.txt";
  ASSERT_EQ(s.disk.write_new_file(other, "velmora-replay 2\n").value(), NewName::made);
  EXPECT_EQ(s.refusal("watch " + other), "replay format 2 is not supported (this build reads 1)");
  EXPECT_FALSE(s.state.game);
  EXPECT_EQ(s.state.stage_counter, 0u);
}

TEST(WatchRequest, PlaysTheRecordBackAndVerifiesIt) {
  TempFolder folder;
  const std::string path =
      record_a_stage(folder.path, {"new 21 2", "run 40 2 1", "tick 16", "run 30 0 32", "tick 18 18"});
  Service s(folder.path);
  s.granted("new 1");
  s.ask("tick 2");  // unsaved: saved when the watch replaces the game
  const JsonValue start = s.ask("watch " + path);
  EXPECT_EQ(message_of(start), "watching");
  EXPECT_EQ(keys_of(start).back(), "watch");
  const JsonValue& w = *start.get("watch");
  EXPECT_EQ(keys_of(w), (std::vector<std::string>{"tick", "total", "done", "verified", "same_data"}));
  EXPECT_EQ(number_at(w, {"total"}), 72);
  EXPECT_EQ(*w.get("verified")->as_str(), "unknown");
  EXPECT_EQ(w.get("same_data")->as_bool(), true);
  EXPECT_EQ(folder.replay_files().size(), 2u);
  EXPECT_FALSE(s.state.record);
  EXPECT_EQ(s.state.stage_counter, 2u);
  EXPECT_EQ(s.refusal("save_replay"), "watching a replay");

  const JsonValue part = s.ask("run 41");
  EXPECT_EQ(number_at(part, {"watch", "tick"}), 41);
  EXPECT_EQ(s.state.game->actors.size(), 2u);
  const JsonValue end = s.ask("run 600");
  EXPECT_EQ(number_at(end, {"watch", "tick"}), 72);
  EXPECT_EQ(end.get("watch")->get("done")->as_bool(), true);
  EXPECT_EQ(end.get("watch")->get("verified")->as_bool(), true);
  s.ask("run 600");
  EXPECT_EQ(s.state.game->tick, 72u);  // nothing more to play
  EXPECT_FALSE(s.state.record);
}

TEST(WatchRequest, ARecordWithoutAnEndOrFromOtherDataIsNotVerified) {
  TempFolder folder;
  const std::string path = folder.path + "/plain.txt";
  RealDisk disk;
  ASSERT_EQ(disk.write_new_file(path, "velmora-replay 1\nseed 3\nplayers 1\ndata 0000000000000001\nticks 5 2 0 0 0\n")
                .value(),
            NewName::made);
  const JsonValue watch = watch_to_the_end(path);
  EXPECT_EQ(watch.get("done")->as_bool(), true);
  EXPECT_EQ(*watch.get("verified")->as_str(), "unknown");
  EXPECT_EQ(watch.get("same_data")->as_bool(), false);
}

TEST(WatchRequest, AChangedWordFailsTheVerification) {
  TempFolder folder;
  const std::string path = record_a_stage(folder.path, {"new 7 1", "run 30 2", "tick 0"});
  EXPECT_EQ(watch_to_the_end(path).get("verified")->as_bool(), true);

  RealDisk disk;
  std::string text = disk.read_file(path, max_replay_file_bytes).value();
  const std::size_t at = text.find("ticks 30 2 0 0 0\n");
  ASSERT_NE(at, std::string::npos) << text;
  text.replace(at, 16, "ticks 30 0 0 0 0");
  const std::string changed = folder.path + "/changed.txt";
  ASSERT_EQ(disk.write_new_file(changed, text).value(), NewName::made);
  EXPECT_EQ(watch_to_the_end(changed).get("verified")->as_bool(), false);
}

TEST(SaveReplayRequest, NeedsARecordAndAFolder) {
  Service s;
  EXPECT_EQ(s.refusal("save_replay"), "nothing recorded");
  s.granted("new 1");
  EXPECT_EQ(s.refusal("save_replay"), "this server has no replay folder (start it with --replays DIR)");
}

// Give and boost save what was recorded before the game was changed, so the
// file still plays back to its end.
TEST(GiveRequest, SavesTheUnsavedRecordFirst) {
  TempFolder folder;
  Service s(folder.path);
  s.granted("debug on");
  s.granted("new 31 1");
  s.ask("run 25 2");
  const std::string before = hex16(state_hash(*s.state.game));
  s.granted("give 0 healing_potion");
  const auto files = folder.replay_files();
  ASSERT_EQ(files.size(), 1u);
  const std::string text = s.disk.read_file(files[0], max_replay_file_bytes).value();
  EXPECT_NE(text.find("end 25 " + before), std::string::npos) << text;
  EXPECT_EQ(watch_to_the_end(files[0]).get("verified")->as_bool(), true);
  s.granted("boost 0 silver 9");  // nothing left to save
  EXPECT_EQ(folder.replay_files().size(), 1u);
}

// ---------------------------------------------------------------------------
// The whole chain: whatever a front end does, every replay file the service
// writes plays back to the state it was saved at.

std::string random_buttons(std::mt19937_64& rng) {
  std::string words;
  const int n = static_cast<int>(rng() % 5);
  for (int i = 0; i < n; ++i) {
    // Mostly walking and fighting; now and then any word at all.
    const std::uint64_t word = rng() % 4 == 0 ? rng() % 65536 : (rng() % 2 == 0 ? 2 : 0) | (rng() % 3 == 0 ? 16 : 0);
    words += " " + std::to_string(word);
  }
  return words;
}

std::string random_request(std::mt19937_64& rng) {
  switch (rng() % 12) {
    case 0: return "new " + std::to_string(rng() % 1000) + " " + std::to_string(1 + rng() % 4);
    case 1: return "new " + std::to_string(rng() % 1000) + " 2 wizard cleric";
    case 2: return "debug on";
    case 3: return "give " + std::to_string(rng() % 2) + " healing_potion";
    case 4: return "boost 0 " + std::string(rng() % 2 == 0 ? "specials" : "silver 40");
    case 5: return "save_replay";
    case 6: return "hash";
    default: {
      if (rng() % 2 == 0) return "tick" + random_buttons(rng);
      return "run " + std::to_string(1 + rng() % 150) + random_buttons(rng);
    }
  }
}

TEST(ReplayChain, EveryWrittenReplayVerifies) {
  for (std::uint64_t trial = 0; trial < 6; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    TempFolder folder;
    Service s(folder.path);
    std::mt19937_64 rng(trial * 7919 + 1);
    s.granted("new " + std::to_string(trial) + " " + std::to_string(1 + trial % 4));
    for (int i = 0; i < 25; ++i) {
      const std::string line = random_request(rng);
      const JsonValue reply = s.ask(line);
      ASSERT_NE(reply.get("ok"), nullptr) << line;
      s.clock.advance(std::chrono::milliseconds(rng() % 1500));
    }
    s.granted("new " + std::to_string(trial + 100) + " 3");
    s.ask("run 120 2 18 0");
    s.granted("save_replay");
    const auto files = folder.replay_files();
    ASSERT_GE(files.size(), 1u);
    for (const std::string& file : files) {
      const JsonValue watch = watch_to_the_end(file);
      EXPECT_EQ(watch.get("verified")->as_bool(), true) << file;
    }
  }
}

// ---------------------------------------------------------------------------
// The campaign record

TEST(CampaignState, NewStateStandsOnTheStartNode) {
  const GameData& data = game_data();
  std::vector<CharacterSheet> party = new_party({default_class(), default_class()});
  party[0].slot = 3;
  party[1].slot = 3;
  const CampaignState c = new_campaign_state(999, party);
  EXPECT_EQ(c.campaign, data.campaigns.size() - 1);
  EXPECT_EQ(c.current_node, data.campaigns.back().start);
  EXPECT_EQ(c.party[0].slot, 0);
  EXPECT_EQ(c.party[1].slot, 1);
  EXPECT_EQ(c.cleared, std::vector<std::uint8_t>(data.nodes.size(), 0));
  EXPECT_EQ(current_stage(c), data.nodes[c.current_node].stage);
  EXPECT_EQ(node_by_name(data.nodes[1].name), 1u);
  EXPECT_EQ(node_by_name("Millbrook"), std::nullopt);
}

TEST(CampaignState, CurrentPartyFollowsTheRunningGame) {
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
