#include "server/view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/actor.h"
#include "core/combat.h"
#include "core/game_data.h"
#include "tests/support/support.h"
#include "web/json.h"
#include "web/json_parser.h"

namespace velmora {
namespace {

using Keys = std::vector<std::string>;

// The built-in data with a stage name and an item title that need escaping in
// JSON (quotation marks, a reverse solidus, a tab, control characters, a
// non-ASCII letter). Installed before any test reads the data.
class OddTexts : public ::testing::Environment {
 public:
  void SetUp() override {
    testing::DataTexts data = testing::DataTexts::builtin();
    replace(data.file("stage.txt"), "name = The King's Road", "name = The \"King's\" Road\\\x01\x7f\xc3\xa9");
    replace(data.file("items.txt"), "title = Dagger", "title = Dag\tger \"one\"");
    DataLoad load = data.load();
    if (!load.ok()) panic("the test data must load: " + load.faults().front());
    VELMORA_CHECK(install_game_data(std::move(load.data())).ok(), "the test data must be installed first");
  }

 private:
  static void replace(std::string& text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    VELMORA_CHECK(at != std::string::npos, "test data text not found");
    text.replace(at, from.size(), to);
  }
};

::testing::Environment* const odd_texts = ::testing::AddGlobalTestEnvironment(new OddTexts);

// Parses a text that must be one JSON document and nothing else.
JsonValue parse_all(const std::string& text) {
  JsonCursor cursor{text};
  std::optional<JsonValue> value = json_parse(cursor);
  EXPECT_TRUE(value.has_value()) << text;
  json_skip_white(cursor);
  EXPECT_EQ(cursor.pos, text.size()) << text;
  return value ? std::move(*value) : JsonValue();
}

Keys keys_of(const JsonValue& object) {
  Keys keys;
  if (const auto* pairs = object.as_obj()) {
    for (const auto& pair : *pairs) keys.push_back(pair.first);
  }
  return keys;
}

const JsonValue& at(const JsonValue& object, std::string_view key) {
  static const JsonValue null;
  const JsonValue* value = object.get(key);
  if (value == nullptr) ADD_FAILURE() << "no key " << key;
  return value != nullptr ? *value : null;
}
std::int64_t num(const JsonValue& o, std::string_view key) { return at(o, key).as_num().value_or(-999); }
std::string str(const JsonValue& o, std::string_view key) {
  const std::string* s = at(o, key).as_str();
  return s != nullptr ? *s : "<not a string>";
}
bool flag(const JsonValue& o, std::string_view key) { return at(o, key).as_bool().value_or(false); }
const JsonValue::Array& arr(const JsonValue& o, std::string_view key) {
  static const JsonValue::Array empty;
  const JsonValue::Array* a = at(o, key).as_arr();
  if (a == nullptr) ADD_FAILURE() << key << " is not a list";
  return a != nullptr ? *a : empty;
}

std::uint64_t stage_named(std::string_view name) { return stage_index(game_data().stages, name).value(); }
std::uint16_t item_named(std::string_view name) { return item_id(game_data().items, name).value(); }
std::uint8_t move_named(std::string_view name) { return move_id(game_data().moves, name).value(); }

World game_at(std::string_view stage, std::size_t players = 1) {
  std::vector<CharacterSheet> party;
  for (std::size_t i = 0; i < players; ++i) {
    party.push_back(new_character(default_class()));
    party.back().slot = static_cast<std::uint8_t>(i);
  }
  return new_game(stage_named(stage), 7, party);
}

Actor& add_enemy(World& world, std::string_view kind, std::int32_t x, std::int32_t z) {
  const auto id = static_cast<std::uint16_t>(world.actors.size());
  world.actors.push_back(actor_from_kind(id, kind_id(game_data().kinds, kind).value(), 1, 0, x, z, -1));
  return world.actors.back();
}

JsonValue reply_of(const World& world, bool debug = false) {
  return parse_all(view_text(world, Json::array(), debug));
}
JsonValue state_of(const World& world) { return at(reply_of(world), "state"); }

ActorView first_view(const World& world) {
  ActorCursor cursor{world};
  return actor_view(cursor).value();
}

// ---------------------------------------------------------------------------
// Event JSON
// ---------------------------------------------------------------------------

TEST(EventView, EveryKindMapsOnlyItsOwnFields) {
  const std::uint8_t slash = move_named("slash");
  const std::uint16_t potion = item_named("healing_potion");
  const std::uint64_t town = stage_named("millbrook");
  // Every payload field holds a distinct value, so a kind that shows a field
  // it does not own is caught.
  Event base;
  base.move = slash;
  base.damage = DamageType::cutting;
  base.how = 1;
  base.reason = RefuseReason::locked;
  base.actor = 3;
  base.target = 4;
  base.index = 5;
  base.item = potion;
  base.amount = 77;
  base.x = 11;
  base.y = -12;
  base.z = 13;
  base.content = PickupContent::silver(9);
  base.gate = 2;
  base.wave = 1;
  base.stage = town;
  const std::string_view swung = move_def(slash).name, learned = move_def(slash).title;
  const std::string_view title = item_def(potion).title, name = item_def(potion).name;
  const std::string_view area = game_data().stages[town].name;
  const auto t = static_cast<std::int32_t>(town);
  const std::vector<EventView> want = {
      {"swing", swung, 3, -1, 0},         {"hit", "cutting", 3, 4, 77, 11, -12, 13},
      {"jump", "", 3},                    {"dash", "", 3},
      {"land", "", 3},                    {"down", "", 3},
      {"ko", "", 3},                      {"break", "", -1, 5},
      {"pickup", "silver", 3, -1, 9},     {"gate_lock", "", -1, -1, 2},
      {"wave", "", -1, 2, 1},             {"gate_clear", "", -1, -1, 2},
      {"revive", "", 3},                  {"winded", "", 3},
      {"backstab", "", 3, 4},             {"shop", "", 3},
      {"inn", "", 3},                     {"bought", title, 3, -1, potion},
      {"sold", title, 3, -1, potion},     {"spent", "", 3},
      {"equip", title, 3, -1, potion},    {"drop", title, 3, -1, potion},
      {"stow", title, 3, -1, potion},     {"refuse", "locked", 3},
      {"work", "pick", 3},                {"lock_fail", "", 3},
      {"lock_jam", "", 3},                {"forced", "", -1, 5},
      {"chest_open", "", -1, 5},          {"join", "", 3},
      {"leave", "", 3},                   {"guard_break", "", 3},
      {"door", "", 3, 5},                 {"area", area, -1, -1, t},
      {"lever", "", 3, 5},                {"found", "hit", 3, 5},
      {"trap_seen", "", 3, 5},            {"trap", "", 3, 5, 77},
      {"disarmed", "", 3, 5},             {"disarm_fail", "", 3},
      {"use", name, 3, -1, potion},       {"heal", "", 3, -1, 77},
      {"ward", "", 3},                    {"blast", "cutting", -1, -1, 77, 11, 0, 13},
      {"caltrops", "", -1, -1, 0, 11, 0, 13}, {"turned", "", 3},
      {"frost", "", -1, -1, 77, 11, 0, 13}, {"held", "asleep", 3},
      {"rally", "", 3},                   {"shout", "", 3},
      {"taunt", "", 3},                   {"vanish", "", 3},
      {"sapped", "", 3, 4},               {"poisoned", "", 3, 4},
      {"trainer", "", 3},                 {"gift", "", 3, 4, 77},
      {"learned", learned, 3, -1, slash}, {"cleared", ""},
      {"wiped", ""},
  };
  ASSERT_EQ(want.size(), event_kind_count);
  for (std::size_t k = 0; k < want.size(); ++k) {
    Event e = base;
    e.kind = static_cast<EventKind>(k);
    EXPECT_EQ(event_name(e), want[k]) << want[k].word;
  }
}

TEST(EventView, WordsAndDetailsThatDependOnThePayload) {
  Event hit = Event::hit_of(DamageType::burning, true, true, 1, 2, 0, 0, 0, 0);
  EXPECT_EQ(event_name(hit).word, "parry");
  hit.parried = 0;
  EXPECT_EQ(event_name(hit).word, "block");
  hit.blocked = 0;
  EXPECT_EQ(event_name(hit).word, "hit");
  EXPECT_EQ(event_name(hit).detail, "burning");

  const std::uint16_t sword = item_named("broadsword");
  const EventView food = event_name(Event::pickup_of(1, PickupContent::food(6)));
  EXPECT_EQ(food.amount, 6);
  EXPECT_EQ(food.detail, "food");
  const EventView item = event_name(Event::pickup_of(1, PickupContent::of_item(sword)));
  EXPECT_EQ(item.amount, sword);
  EXPECT_EQ(item.detail, "item");

  EXPECT_EQ(event_name(Event::work_of(2, 0)).detail, "force");
  EXPECT_EQ(event_name(Event::work_of(3, 0)).detail, "disarm");
  EXPECT_EQ(event_name(Event::found_of(0, 0, 0)).detail, "search");
  EXPECT_EQ(event_name(Event::held_of(0, 0)).detail, "");
  EXPECT_EQ(event_name(Event::held_of(7, 0)).detail, "frozen");
  // A gate index beyond the number range is held at the top, never wrapped.
  EXPECT_EQ(event_name(Event::gate_lock_of(UINT64_MAX)).amount, INT32_MAX);
}

TEST(EventView, ObjectsAndRunsOfEvents) {
  const std::vector<Event> events = {Event::of_actor(EventKind::jump, 0), Event::of_actor(EventKind::land, 1),
                                     Event::plain(EventKind::cleared)};
  EXPECT_EQ(json_to_string(events_json(events, 0, 1)),
            "[{\"kind\":\"jump\",\"actor\":0,\"target\":-1,\"amount\":0,\"detail\":\"\",\"x\":0,\"y\":0,\"z\":0}]");
  const EventView hit{"hit", "cutting", 1, 2, 3, -4, 5, 6};
  EXPECT_EQ(json_to_string(event_json(hit)),
            "{\"kind\":\"hit\",\"actor\":1,\"target\":2,\"amount\":3,\"detail\":\"cutting\",\"x\":-4,\"y\":5,\"z\":6}");
  EXPECT_EQ(json_to_string(events_to_values({}, 0, 0)), "[]");
  const JsonValue tail = parse_all(json_to_string(events_to_values(events, 1, 3)));
  ASSERT_EQ(tail.as_arr()->size(), 2u);
  EXPECT_EQ(str(tail.as_arr()->back(), "kind"), "cleared");
  // Runs reaching past the end stop there.
  EXPECT_EQ(json_to_string(events_json(events, 1, 99)), json_to_string(events_to_values(events, 1, 3)));
  EXPECT_EQ(json_to_string(events_json(events, 3, 5)), "[]");
  EXPECT_EQ(json_to_string(events_to_values(events, 2, 1)), "[]");
}

// ---------------------------------------------------------------------------
// Actor view
// ---------------------------------------------------------------------------

TEST(ActorView, KeysInOrderAndAPlayerAtRest) {
  const World world = game_at("first_road");
  const JsonValue a = parse_all(json_to_string(actor_json(first_view(world))));
  EXPECT_EQ(keys_of(a), (Keys{"id", "kind", "player", "slot", "x", "y", "z", "facing", "state", "move", "phase",
                              "frame", "phase_frame", "phase_len", "hp", "hp_max", "fp", "fp_max", "mana",
                              "mana_max", "sta", "sta_max", "winded", "silver", "gear", "gear_models", "bag",
                              "bag_value", "carried", "encumbrance", "work", "work_pct", "dr", "fatigue", "skill",
                              "xp", "points", "invuln", "frozen", "quick", "quick_title", "quick_model",
                              "quick_count", "quick_kinds", "quick_prev_model", "quick_next_model", "ward",
                              "specials", "special", "temp_hp", "poisoned", "stealth", "taunted", "held", "guard"}));
  const KindDef& cls = kind_by_id(default_class());
  EXPECT_EQ(str(a, "kind"), cls.name);
  EXPECT_EQ(num(a, "slot"), 0);
  EXPECT_EQ(str(a, "state"), "idle");
  EXPECT_EQ(str(a, "move"), "");
  EXPECT_EQ(str(a, "phase"), "");
  EXPECT_EQ(num(a, "phase_len"), 0);
  EXPECT_EQ(str(a, "guard"), guard_kind_word(cls.guard));
  EXPECT_EQ(arr(a, "gear").size(), 3u);
  const JsonValue& special = arr(a, "specials").at(0);
  EXPECT_EQ(keys_of(special),
            (Keys{"name", "title", "fp", "spell", "requires", "unlocked", "learned", "price", "blurb"}));
}

TEST(ActorView, EnemiesGoneAndKnockedOutActors) {
  World world = game_at("first_road", 2);
  add_enemy(world, "bandit", 900, 200);
  world.actors[0].gone = 1;
  world.actors[1].state = ActorState::ko;
  ActorCursor cursor{world};
  const std::optional<ActorView> first = actor_view(cursor);
  const std::optional<ActorView> second = actor_view(cursor);
  ASSERT_TRUE(first && second);
  EXPECT_FALSE(actor_view(cursor).has_value());
  EXPECT_EQ(first->id, 1);
  EXPECT_EQ(first->state, "ko");
  EXPECT_FALSE(second->player);
  EXPECT_EQ(second->slot, -1);
  EXPECT_TRUE(second->specials.empty());
  EXPECT_EQ(second->facing, -1);
}

TEST(ActorView, MovePhasesAndSkilledRecovery) {
  World world = game_at("first_road");
  Actor& a = world.actors[0];
  const MoveDef& m = move_def(move_named("slash"));
  a.state = ActorState::attack;
  a.move = move_named("slash");
  const std::int32_t s = m.startup, ac = m.active, r = m.recovery;
  const struct {
    std::int32_t ticks, skill;
    std::string phase;
    std::int32_t frame, len;
  } cases[] = {{0, 0, "startup", 0, s},        {s - 1, 0, "startup", s - 1, s},
               {s, 0, "active", 0, ac},        {s + ac - 1, 0, "active", ac - 1, ac},
               {s + ac, 0, "recovery", 0, r},  {s + ac + 2, 2, "recovery", 2, r - 2},
               {s + ac, 1000, "recovery", 0, r - r / 2}, {s + ac, -5, "recovery", 0, r}};
  for (const auto& c : cases) {
    a.state_ticks = static_cast<std::uint16_t>(c.ticks);
    a.skill = c.skill;
    const ActorView v = first_view(world);
    EXPECT_EQ(v.state, "move");
    EXPECT_EQ(v.move, m.name);
    EXPECT_EQ(v.phase, c.phase) << c.ticks;
    EXPECT_EQ(v.phase_frame, c.frame) << c.ticks;
    EXPECT_EQ(v.phase_len, c.len) << c.ticks << " skill " << c.skill;
  }
}

TEST(ActorView, PoolsPositionsAndStatusFlags) {
  World world = game_at("first_road");
  Actor& a = world.actors[0];
  a.hp = -7;
  a.x = Fx::from_raw(-1);
  a.y = Fx::from_raw(511);
  a.xp = 99;
  a.sheet->points_spent = 3;
  a.ward_dr = 4;
  a.poison = 1;
  a.held = 1;
  a.ai_target = 2;
  ActorView v = first_view(world);
  EXPECT_EQ(v.hp, 0);
  EXPECT_EQ(v.x, -1);  // rounds down
  EXPECT_EQ(v.y, 1);
  EXPECT_EQ(v.points, 6);
  EXPECT_EQ(v.ward, 0);  // the ward timer is not running
  EXPECT_TRUE(v.poisoned);
  EXPECT_TRUE(v.taunted);
  EXPECT_EQ(v.held, "asleep");
  EXPECT_FALSE(v.frozen);
  a.ward_ticks = 1;
  a.held = 2;
  a.poison = 0;
  v = first_view(world);
  EXPECT_EQ(v.ward, 4);
  EXPECT_EQ(v.dr, total_dr(a));
  EXPECT_EQ(v.held, "frozen");
  EXPECT_TRUE(v.frozen);
  EXPECT_FALSE(v.poisoned);
}

TEST(ActorView, GearBagWeightAndEncumbrance) {
  World world = game_at("first_road");
  Actor& a = world.actors[0];
  a.gear = {};
  a.st = 3;  // basic lift 18 tenths of a pound
  const std::uint16_t coin = item_named("ancient_coin");
  ASSERT_EQ(item_def(coin).weight, 1);
  const struct {
    std::int32_t coins, level;
  } levels[] = {{18, 0}, {19, 1}, {36, 1}, {37, 2}, {54, 2}, {55, 3}, {108, 3}, {109, 4}};
  for (const auto& l : levels) {
    a.bag.clear();
    for (std::int32_t i = 0; i < l.coins; ++i) a.bag.push_back(coin);
    const ActorView v = first_view(world);
    EXPECT_EQ(v.carried, l.coins);
    EXPECT_EQ(v.encumbrance, l.level) << l.coins;
    EXPECT_EQ(v.bag_value, l.coins * item_def(coin).value);
  }
  const std::uint16_t ration = item_named("ration");
  const std::uint16_t sword = item_named("broadsword");
  a.bag = {coin, ration};
  a.gear[0] = sword;
  const ActorView v = first_view(world);
  EXPECT_EQ(v.bag, (std::vector<std::string>{item_def(coin).title, item_def(ration).title}));
  EXPECT_EQ(v.carried, 1 + item_def(ration).weight + item_def(sword).weight);
  EXPECT_EQ(v.gear, (std::array<std::string, 3>{"broadsword", "", ""}));
  EXPECT_EQ(v.gear_models, (std::array<std::string, 3>{item_def(sword).model, "", ""}));
}

TEST(ActorView, WorkProgress) {
  World world = game_at("first_road");
  Actor& a = world.actors[0];
  a.state = ActorState::work;
  const struct {
    std::uint8_t kind;
    std::uint16_t ticks, duration;
    std::string word;
    std::int32_t pct;
  } cases[] = {{1, 50, 200, "pick", 25}, {3, 199, 200, "disarm", 99}, {2, 300, 200, "force", 100},
               {1, 5, 0, "pick", 100},   {1, 0, 0, "pick", 0}};
  for (const auto& c : cases) {
    a.work_kind = c.kind;
    a.state_ticks = c.ticks;
    a.work_ticks = c.duration;
    const ActorView v = first_view(world);
    EXPECT_EQ(v.work, c.word);
    EXPECT_EQ(v.work_pct, c.pct) << c.ticks << "/" << c.duration;
  }
}

TEST(ActorView, QuickItemAndItsNeighbours) {
  World world = game_at("first_road");
  Actor& a = world.actors[0];
  const std::uint16_t potion = item_named("healing_potion");
  const std::uint16_t ration = item_named("ration");
  const std::uint16_t flask = item_named("fire_flask");
  const std::uint16_t sword = item_named("broadsword");
  a.bag = {potion, sword, potion};
  a.quick = potion;
  ActorView v = first_view(world);
  EXPECT_EQ(v.quick, "healing_potion");
  EXPECT_EQ(v.quick_model, item_def(potion).model);
  EXPECT_EQ(v.quick_count, 2);
  EXPECT_EQ(v.quick_kinds, 1);
  EXPECT_EQ(v.quick_prev_model, "");  // one kind of consumable only
  EXPECT_EQ(v.quick_next_model, "");

  a.bag = {potion, sword, ration, potion, flask};
  EXPECT_EQ(actor_model_name(a, -1), item_def(flask).model);  // wraps from the first to the last
  EXPECT_EQ(actor_model_name(a, +1), item_def(ration).model);
  a.quick = flask;
  EXPECT_EQ(actor_model_name(a, +1), item_def(potion).model);
  a.quick = sword;  // not a consumable of the bag
  EXPECT_EQ(actor_model_name(a, +1), "");
  a.quick.reset();
  v = first_view(world);
  EXPECT_EQ(v.quick, "");
  EXPECT_EQ(v.quick_count, 0);
  EXPECT_EQ(v.quick_kinds, 3);
}

TEST(ActorView, SpecialsLearnedAndUnlocked) {
  World world = game_at("first_road");
  Actor& a = world.actors[0];
  const KindDef& cls = kind_by_id(a.kind);
  a.skill = 4;
  for (const bool trained : {false, true}) {
    if (trained) a.arts.push_back(cls.special.back());
    const ActorView v = first_view(world);
    ASSERT_EQ(v.specials.size(), cls.special.size());
    for (std::size_t n = 0; n < cls.special.size(); ++n) {
      const MoveDef& m = move_def(cls.special[n]);
      const SpecialView& s = v.specials[n];
      EXPECT_EQ(s.title, m.title);
      EXPECT_EQ(s.learned, m.price == 0 || (trained && n + 1 == cls.special.size())) << m.name;
      EXPECT_EQ(s.unlocked, s.learned && a.skill >= m.requires_skill) << m.name;
    }
  }
}

// ---------------------------------------------------------------------------
// World view
// ---------------------------------------------------------------------------

TEST(WorldView, ReplyAndStateKeys) {
  const World world = game_at("first_road");
  const std::vector<Event> events = {Event::plain(EventKind::wiped)};
  const JsonValue reply = parse_all(json_to_string(view_json(world, "new game", events_json(events, 0, 1), false)));
  EXPECT_EQ(keys_of(reply), (Keys{"ok", "message", "events", "state"}));
  EXPECT_TRUE(flag(reply, "ok"));
  EXPECT_EQ(str(reply, "message"), "new game");
  EXPECT_EQ(str(arr(reply, "events").at(0), "kind"), "wiped");
  EXPECT_EQ(keys_of(reply_of(world, true)), (Keys{"ok", "message", "events", "state", "boxes"}));
  EXPECT_EQ(keys_of(at(reply, "state")),
            (Keys{"tick", "status", "in_combat", "stage", "stage_id", "town", "shop_at", "inn_at", "trainer_at",
                  "length", "depth", "camera_x", "view_w", "gate", "exit_x", "exit_open", "actors", "props",
                  "pickups", "chests", "projectiles", "interior", "look", "hazards", "doors", "levers",
                  "barriers", "traps"}));
}

TEST(WorldView, StageValuesGateAndExit) {
  World world = game_at("first_road");
  const StageDef& road = world.stage();
  world.camera_x = Fx::from_raw(600 * 256 + 255);
  world.over = GameStatus::wiped;
  JsonValue s = state_of(world);
  EXPECT_EQ(str(s, "status"), "wiped");
  EXPECT_EQ(str(s, "stage"), road.title);
  EXPECT_EQ(str(s, "stage_id"), "first_road");
  EXPECT_EQ(num(s, "camera_x"), 600);
  EXPECT_TRUE(arr(s, "shop_at").empty());
  const JsonValue& gate = at(s, "gate");
  EXPECT_EQ(keys_of(gate), (Keys{"index", "count", "active", "wave", "waves", "centers"}));
  EXPECT_EQ(num(gate, "count"), static_cast<std::int64_t>(road.gates.size()));
  EXPECT_EQ(num(gate, "waves"), static_cast<std::int64_t>(road.gates[0].waves.size()));
  EXPECT_EQ(arr(gate, "centers").at(1).as_num(), road.gates[1].center_x);
  EXPECT_FALSE(flag(s, "exit_open"));
  world.gate_index = road.gates.size();
  s = state_of(world);
  EXPECT_EQ(num(at(s, "gate"), "waves"), 0);
  EXPECT_TRUE(flag(s, "exit_open"));

  const World town = game_at("millbrook");
  s = state_of(town);
  EXPECT_TRUE(flag(s, "town"));
  EXPECT_EQ(arr(s, "shop_at").at(0).as_num(), town.stage().shop_at->x);
  EXPECT_EQ(arr(s, "shop_at").at(1).as_num(), town.stage().shop_at->z);
  EXPECT_TRUE(arr(at(s, "gate"), "centers").empty());
  EXPECT_TRUE(flag(s, "exit_open"));  // no gates and an exit

  s = state_of(game_at("wolf_den"));
  EXPECT_TRUE(flag(s, "interior"));
  EXPECT_FALSE(flag(s, "exit_open"));  // no walk-out exit
}

TEST(WorldView, PropsPickupsAndChests) {
  World world = game_at("first_road");
  world.props.at(1).broken = 1;
  const std::uint16_t sword = item_named("broadsword");
  world.pickups.push_back(Pickup{PickupContent::food(4), Fx::from_int(10), Fx::from_int(20), 0, 1});
  world.pickups.push_back(Pickup{PickupContent::silver(12), Fx::from_int(30), Fx::from_int(40), 1, 0});
  world.pickups.push_back(Pickup{PickupContent::of_item(sword), Fx::from_int(50), Fx::from_int(60), 2, 0});
  const JsonValue reply = reply_of(world, true);
  const JsonValue& s = at(reply, "state");
  const auto& props = arr(s, "props");
  ASSERT_EQ(props.size(), world.props.size());
  EXPECT_EQ(keys_of(props[1]), (Keys{"id", "kind", "x", "z", "broken"}));
  EXPECT_TRUE(flag(props[1], "broken"));
  const auto& pickups = arr(s, "pickups");
  ASSERT_EQ(pickups.size(), 2u);  // the taken one is gone
  EXPECT_EQ(keys_of(pickups[0]), (Keys{"id", "kind", "amount", "item", "title", "model", "x", "z"}));
  EXPECT_EQ(str(pickups[0], "kind"), "silver");
  EXPECT_EQ(num(pickups[0], "amount"), 12);
  EXPECT_EQ(str(pickups[0], "title"), "");
  EXPECT_EQ(str(pickups[1], "kind"), "item");
  EXPECT_EQ(num(pickups[1], "amount"), sword);
  EXPECT_EQ(str(pickups[1], "item"), "broadsword");
  EXPECT_EQ(str(pickups[1], "model"), item_def(sword).model);
  EXPECT_EQ(num(pickups[1], "x"), 50);
  // The broken barrel has no box; the whole ones have.
  const auto& boxes = arr(reply, "boxes");
  const auto prop_boxes = std::count_if(boxes.begin(), boxes.end(), [](const JsonValue& b) {
    return str(b, "kind") == "prop";
  });
  EXPECT_EQ(prop_boxes, static_cast<std::ptrdiff_t>(world.props.size() - 1));

  Chest& chest = world.chests.at(0);
  const struct {
    std::uint8_t locked, jammed, opened;
    std::string word;
  } words[] = {{0, 0, 0, "closed"}, {1, 0, 0, "locked"}, {1, 1, 0, "jammed"}, {1, 1, 1, "open"}};
  for (const auto& w : words) {
    chest.locked = w.locked;
    chest.jammed = w.jammed;
    chest.opened = w.opened;
    EXPECT_EQ(str(arr(state_of(world), "chests").at(0), "state"), w.word);
  }
}

// The first box of an owner with the given kind; nullptr when there is none.
const JsonValue* box_of(const JsonValue& reply, std::int64_t actor, std::string_view kind) {
  for (const JsonValue& b : arr(reply, "boxes")) {
    if (num(b, "actor") == actor && str(b, "kind") == kind) return &b;
  }
  return nullptr;
}

TEST(WorldView, ProjectilesAndHazards) {
  World world = game_at("first_road");
  const MoveDef& m = move_def(move_named("knife_throw"));
  Projectile thrown;
  thrown.thrown_item = item_named("fire_flask");
  thrown.x = Fx::from_int(500);
  thrown.y = Fx::from_int(10);
  thrown.z = Fx::from_int(200);
  thrown.serial = 9;
  thrown.move = move_named("knife_throw");
  thrown.facing = -1;
  world.projectiles.push_back(thrown);
  world.hazards.push_back(Hazard{{}, Fx::from_int(70), Fx::from_int(80), 1, 0, 4, 0, 100, 0});
  JsonValue reply = reply_of(world, true);
  const JsonValue& p = arr(at(reply, "state"), "projectiles").at(0);
  EXPECT_EQ(keys_of(p), (Keys{"id", "kind", "model", "x", "y", "z", "dir"}));
  EXPECT_EQ(str(p, "kind"), "knife_throw");
  EXPECT_EQ(str(p, "model"), item_def(item_named("fire_flask")).model);
  EXPECT_EQ(num(p, "y"), 10 + (m.height.from + m.height.to) / 2);
  EXPECT_EQ(num(p, "dir"), -1);
  EXPECT_EQ(keys_of(arr(at(reply, "state"), "hazards").at(0)), (Keys{"id", "x", "z"}));
  const JsonValue* box = box_of(reply, 0, "hit");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(num(*box, "x0"), 500 - m.forward.to);  // flying left
  EXPECT_EQ(num(*box, "x1"), 500 - m.forward.from);
  EXPECT_EQ(num(*box, "y0"), 10 + m.height.from);
  EXPECT_EQ(num(*box, "z1"), 200 + m.depth);

  world.projectiles[0].thrown_item.reset();
  world.projectiles[0].facing = 1;
  reply = reply_of(world, true);
  EXPECT_EQ(str(arr(at(reply, "state"), "projectiles").at(0), "model"), "");
  ASSERT_NE(box_of(reply, 0, "hit"), nullptr);
  EXPECT_EQ(num(*box_of(reply, 0, "hit"), "x0"), 500 + m.forward.from);
}

TEST(WorldView, SecretDoorsTrapsLeversAndBarriers) {
  World wood = game_at("dark_wood");
  const StageDef& stage = wood.stage();
  const auto secret = std::find_if(stage.doors.begin(), stage.doors.end(), [](const DoorDef& d) { return d.secret; });
  ASSERT_NE(secret, stage.doors.end());
  const auto secret_index = static_cast<std::size_t>(secret - stage.doors.begin());
  JsonValue s = state_of(wood);
  EXPECT_EQ(arr(s, "doors").size(), stage.doors.size() - 1);
  EXPECT_TRUE(arr(s, "traps").empty());
  wood.door_states[secret_index].found = 1;
  wood.trap_states.at(1).state = trap_sprung;
  s = state_of(wood);
  const auto& doors = arr(s, "doors");
  const auto shown = std::find_if(doors.begin(), doors.end(), [&](const JsonValue& d) {
    return num(d, "id") == static_cast<std::int64_t>(secret_index);
  });
  ASSERT_NE(shown, doors.end());
  EXPECT_EQ(keys_of(*shown), (Keys{"id", "x", "z", "title", "secret"}));
  EXPECT_TRUE(flag(*shown, "secret"));
  const auto& traps = arr(s, "traps");
  ASSERT_EQ(traps.size(), 1u);
  EXPECT_EQ(keys_of(traps[0]), (Keys{"id", "x", "z", "state"}));
  EXPECT_EQ(num(traps[0], "id"), 1);
  EXPECT_EQ(str(traps[0], "state"), "sprung");

  World crypt = game_at("barrow_crypt");
  ASSERT_FALSE(crypt.stage().barriers.empty());
  s = state_of(crypt);
  EXPECT_EQ(keys_of(arr(s, "levers").at(0)), (Keys{"id", "x", "z", "pulled"}));
  EXPECT_EQ(keys_of(arr(s, "barriers").at(0)), (Keys{"x", "open"}));
  EXPECT_FALSE(flag(arr(s, "barriers").at(0), "open"));
  crypt.levers_pulled.at(0) = 1;
  s = state_of(crypt);
  EXPECT_TRUE(flag(arr(s, "levers").at(0), "pulled"));
  for (std::size_t i = 0; i < crypt.stage().barriers.size(); ++i) {
    EXPECT_EQ(flag(arr(s, "barriers").at(i), "open"),
              crypt.stage().barriers[i] == crypt.stage().levers[0].barrier_x);
  }
}

TEST(WorldView, ActorListAndBodyBoxes) {
  World world = game_at("first_road", 3);
  Actor& enemy = add_enemy(world, "bandit", 900, 200);
  const KindDef& bandit = kind_by_id(enemy.kind);
  const KindDef& cls = kind_by_id(world.actors[0].kind);
  world.actors[1].state = ActorState::ko;
  world.actors[2].gone = 1;
  enemy.state = ActorState::fall;
  enemy.juggle = 2;
  JsonValue reply = reply_of(world, true);
  const auto& actors = arr(at(reply, "state"), "actors");
  ASSERT_EQ(actors.size(), 3u);  // the gone player is left out, the knocked-out one stays
  EXPECT_EQ(num(actors[1], "id"), 1);
  EXPECT_EQ(num(actors[2], "id"), 3);
  for (const JsonValue& b : arr(reply, "boxes")) {
    EXPECT_EQ(keys_of(b), (Keys{"kind", "actor", "x0", "x1", "y0", "y1", "z0", "z1"}));
    EXPECT_NE(num(b, "actor"), 1);  // neither the knocked-out
    EXPECT_NE(num(b, "actor"), 2);  // nor the gone actor has a box
  }
  const JsonValue* standing = box_of(reply, 0, "hurt");
  ASSERT_NE(standing, nullptr);
  EXPECT_EQ(num(*standing, "x0"), 250 - cls.body[0]);
  EXPECT_EQ(num(*standing, "y1"), cls.body[1]);
  EXPECT_EQ(num(*standing, "z0"), 150 - 20);
  const JsonValue* lying = box_of(reply, 3, "hurt_off");  // juggled twice
  ASSERT_NE(lying, nullptr);
  EXPECT_EQ(num(*lying, "x0"), 900 - bandit.body[1] * 7 / 10);
  EXPECT_EQ(num(*lying, "x1"), 900 + bandit.body[1] * 7 / 10);
  EXPECT_EQ(num(*lying, "y1"), 2 * bandit.body[0]);

  const struct {
    ActorState state;
    std::uint8_t juggle;
    std::uint16_t invuln;
    std::string word;
  } words[] = {{ActorState::fall, 1, 0, "hurt"},       {ActorState::down, 0, 0, "hurt_off"},
               {ActorState::getup, 0, 0, "hurt_off"},  {ActorState::idle, 0, 3, "hurt_off"},
               {ActorState::stun, 0, 0, "hurt"}};
  for (const auto& w : words) {
    enemy.state = w.state;
    enemy.juggle = w.juggle;
    enemy.invuln = w.invuln;
    EXPECT_NE(box_of(reply_of(world, true), 3, w.word), nullptr) << w.word;
  }
}

TEST(WorldView, AttackBoxFollowsItsOwnersBody) {
  World world = game_at("first_road");
  Actor& a = world.actors[0];
  const MoveDef& m = move_def(move_named("slash"));
  a.state = ActorState::attack;
  a.move = move_named("slash");
  const struct {
    std::int32_t ticks;
    std::string word;
  } phases[] = {{0, "windup"}, {m.startup, "hit"}, {m.startup + m.active, "spent"}};
  for (const auto& p : phases) {
    a.state_ticks = static_cast<std::uint16_t>(p.ticks);
    const JsonValue reply = reply_of(world, true);
    const auto& boxes = arr(reply, "boxes");
    ASSERT_GE(boxes.size(), 2u);  // the body and at least a barrel
    EXPECT_EQ(num(boxes[0], "actor"), 0);
    const std::optional<AttackBox> box = attack_box(a);
    if (!box) {
      EXPECT_NE(num(boxes[1], "actor"), 0);
      continue;
    }
    EXPECT_EQ(str(boxes[1], "kind"), p.word);
    EXPECT_EQ(num(boxes[1], "x0"), box->x0);
    EXPECT_EQ(num(boxes[1], "z1"), box->z1);
  }
}

// A world with something in every list, and a knocked-out, a gone and a
// falling actor.
World busy_world() {
  World world = game_at("dark_wood", 4);
  for (int i = 0; i < 6; ++i) add_enemy(world, i % 2 == 0 ? "bandit" : "wolf", 1100 + 60 * i, 100 + 40 * i);
  world.actors[1].state = ActorState::ko;
  world.actors[2].gone = 1;
  world.actors[4].state = ActorState::fall;
  world.actors[0].bag = {item_named("dagger"), item_named("healing_potion"), item_named("ration")};
  world.actors[0].quick = item_named("ration");
  world.actors[0].state = ActorState::attack;
  world.actors[0].move = move_named("slash");
  world.props[0].broken = 1;
  world.pickups.push_back(Pickup{PickupContent::of_item(item_named("dagger")), Fx::from_int(5), Fx::from_int(6), 0, 0});
  Projectile p;
  p.move = move_named("knife_throw");
  p.x = Fx::from_raw(-300);
  world.projectiles.push_back(p);
  world.hazards.push_back(Hazard{{}, Fx::from_int(70), Fx::from_int(80), 1, 0, 4, 0, 100, 0});
  for (DoorState& d : world.door_states) d.found = 1;
  for (TrapState& t : world.trap_states) t.state = trap_seen;
  world.tick = 12345;
  return world;
}

TEST(WorldView, TextAndValueAgreeByteForByte) {
  const World world = busy_world();
  const std::vector<Event> events = {Event::actor_item(EventKind::bought, 0, item_named("dagger")),
                                     Event::area_of(world.stage_index)};
  for (const bool debug : {false, true}) {
    const std::string text = view_text(world, events_json(events, 0, events.size()), debug);
    EXPECT_EQ(text, json_to_string(view_json(world, "", events_json(events, 0, events.size()), debug)));
    const JsonValue reply = parse_all(text);
    EXPECT_EQ(str(arr(reply, "events").at(0), "detail"), "Dag\tger \"one\"");
  }
  EXPECT_EQ(str(state_of(game_at("first_road")), "stage"), "The \"King's\" Road\\\x01\x7f\xc3\xa9");
}

TEST(WorldView, FullPartyTickReplyIsFast) {
#if !defined(NDEBUG) || defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "timed in optimised builds only";
#else
  World world = game_at("first_road", 4);
  const char* kinds[] = {"bandit", "archer", "cutpurse", "shieldbearer"};
  for (int i = 0; i < 16; ++i) add_enemy(world, kinds[i % 4], 900 + 40 * i, 100 + 10 * i);
  for (Actor& a : world.actors) {
    a.bag = {item_named("healing_potion"), item_named("ration"), item_named("ancient_coin")};
    a.quick = item_named("ration");
  }
  const std::vector<Event> events(10, Event::swing_of(move_named("slash"), 0));
  // The thread's own processor time, so that a busy machine does not count;
  // the best of several batches.
  const auto cpu_ns = [] {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec;
  };
  constexpr int rounds = 100;
  std::int64_t best = INT64_MAX;
  std::size_t bytes = 0;
  for (int batch = 0; batch < 10; ++batch) {
    const std::int64_t start = cpu_ns();
    for (int i = 0; i < rounds; ++i) bytes += view_text(world, events_json(events, 0, events.size()), false).size();
    best = std::min(best, (cpu_ns() - start) / rounds);
  }
  EXPECT_GT(bytes, 0u);
  EXPECT_LT(best, 50'000) << "ns per reply";
#endif
}

}  // namespace
}  // namespace velmora
