#include "server/views/world_view.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/data/game_data.h"
#include "core/rules/combat.h"
#include "core/world/actor.h"
#include "tests/support/support.h"
#include "web/json.h"
#include "web/json_parser.h"

namespace velmora {
namespace {

using Keys = std::vector<std::string>;

// The built-in data with a stage name and an item title that need escaping in
// JSON and a projectile move of odd heights, installed before any test reads
// the data.
class OddTexts : public ::testing::Environment {
  void SetUp() override {
    testing::DataTexts data = testing::DataTexts::builtin();
    const auto replace = [](std::string& text, std::string_view from, std::string_view to) {
      VELMORA_CHECK(text.find(from) != std::string::npos, "test data text not found");
      text.replace(text.find(from), from.size(), to);
    };
    replace(data.file("stage.txt"), "name = The King's Road", "name = The \"King's\" Road\\\x01\x7f\xc3\xa9");
    replace(data.file("items.txt"), "title = Dagger", "title = Dag\tger \"one\"");
    replace(data.file("moves.txt"), "Throw a knife along the lane.\nstartup = 6\nactive = 2\nrecovery = 12\n"
            "forward = -12 12\nheight = 60 140", "Throw a knife along the lane.\nstartup = 6\nactive = 2\n"
            "recovery = 12\nforward = -12 12\nheight = 61 141");
    DataLoad load = data.load();
    VELMORA_CHECK(load.ok() && install_game_data(std::move(load.data())).ok(), "the test data must install");
  }
};
::testing::Environment* const odd_texts = ::testing::AddGlobalTestEnvironment(new OddTexts);

// Parses a text that must be one JSON document and nothing else.
JsonValue parse_all(const std::string& text) {
  JsonCursor cursor{text};
  std::optional<JsonValue> value = json_parse(cursor);
  json_skip_white(cursor);
  EXPECT_TRUE(value && cursor.pos == text.size()) << text;
  return value ? std::move(*value) : JsonValue();
}

Keys keys_of(const JsonValue& object) {
  Keys keys;
  if (object.as_obj() == nullptr) return keys;
  for (const auto& pair : *object.as_obj()) keys.push_back(pair.first);
  return keys;
}

const JsonValue& at(const JsonValue& o, std::string_view key) {
  static const JsonValue null;
  if (o.get(key) == nullptr) ADD_FAILURE() << "no key " << key;
  return o.get(key) ? *o.get(key) : null;
}
std::int64_t num(const JsonValue& o, std::string_view key) { return at(o, key).as_num().value_or(-999); }
std::string str(const JsonValue& o, std::string_view key) { return at(o, key).as_str() ? *at(o, key).as_str() : "?"; }
bool flag(const JsonValue& o, std::string_view key) { return at(o, key).as_bool().value_or(false); }
const JsonValue::Array& arr(const JsonValue& o, std::string_view key) {
  static const JsonValue::Array empty;
  return at(o, key).as_arr() ? *at(o, key).as_arr() : empty;
}

std::uint64_t stage_named(std::string_view name) { return stage_index(game_data().stages, name).value(); }
std::uint16_t item_named(std::string_view name) { return item_id(game_data().items, name).value(); }
std::uint8_t move_named(std::string_view name) { return move_id(game_data().moves, name).value(); }

World game_at(std::string_view stage, std::size_t players = 1) {
  std::vector<CharacterSheet> party(players, new_character(default_class()));
  for (std::size_t i = 0; i < players; ++i) party[i].slot = static_cast<std::uint8_t>(i);
  return new_game(stage_named(stage), 7, party);
}

Actor& add_enemy(World& world, std::string_view kind, std::int32_t x, std::int32_t z) {
  const auto id = static_cast<std::uint16_t>(world.actors.size());
  world.actors.push_back(actor_from_kind(id, kind_id(game_data().kinds, kind).value(), 1, 0, x, z, -1));
  return world.actors.back();
}

JsonValue reply_of(const World& world, bool debug = false) { return parse_all(view_text(world, Json::array(), debug)); }
JsonValue state_of(const World& world) { return at(reply_of(world), "state"); }

// The first box of an owner with the given kind; nullptr when there is none.
const JsonValue* box_of(const JsonValue& reply, std::int64_t actor, std::string_view kind) {
  for (const JsonValue& b : arr(reply, "boxes")) {
    if (num(b, "actor") == actor && str(b, "kind") == kind) return &b;
  }
  return nullptr;
}

// One player on the first road; `view` is the view of that player.
class ViewTest : public ::testing::Test {
 protected:
  ActorView view() const {
    ActorCursor cursor{world};
    return actor_view(cursor).value();
  }
  World world = game_at("first_road");
  Actor& a = world.actors[0];
};

// A world with something in every list: a knocked-out, a gone, a falling and
// an attacking actor, a broken barrel, a pickup, a projectile, a hazard, found
// secret doors and seen traps.
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
  world.projectiles.emplace_back().move = move_named("knife_throw");
  world.projectiles.back().x = Fx::from_raw(-300);
  world.hazards.push_back(Hazard{{}, Fx::from_int(70), Fx::from_int(80), 1, 0, 4, 0, 100, 0});
  for (DoorState& d : world.door_states) d.found = 1;
  for (TrapState& t : world.trap_states) t.state = trap_seen;
  return world;
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
  std::tie(base.actor, base.target, base.index, base.item) = std::tuple(3, 4, 5, potion);
  std::tie(base.amount, base.x, base.y, base.z) = std::tuple(77, 11, -12, 13);
  base.content = PickupContent::silver(9);
  std::tie(base.gate, base.wave, base.stage) = std::tuple(2, 1, town);
  const std::string_view swung = move_def(slash).name, learned = move_def(slash).title;
  const std::string_view title = item_def(potion).title, name = item_def(potion).name;
  const std::string_view area = game_data().stages[town].name;
  const auto t = static_cast<std::int32_t>(town);
  const std::vector<EventView> want = {
      {"swing", swung, 3, -1, 0}, {"hit", "cutting", 3, 4, 77, 11, -12, 13}, {"jump", "", 3},
      {"dash", "", 3}, {"land", "", 3}, {"down", "", 3}, {"ko", "", 3}, {"break", "", -1, 5},
      {"pickup", "silver", 3, -1, 9}, {"gate_lock", "", -1, -1, 2}, {"wave", "", -1, 2, 1},
      {"gate_clear", "", -1, -1, 2}, {"revive", "", 3}, {"winded", "", 3}, {"backstab", "", 3, 4},
      {"shop", "", 3}, {"inn", "", 3}, {"bought", title, 3, -1, potion}, {"sold", title, 3, -1, potion},
      {"spent", "", 3}, {"equip", title, 3, -1, potion}, {"drop", title, 3, -1, potion},
      {"stow", title, 3, -1, potion}, {"refuse", "locked", 3}, {"work", "pick", 3}, {"lock_fail", "", 3},
      {"lock_jam", "", 3}, {"forced", "", -1, 5}, {"chest_open", "", -1, 5}, {"join", "", 3},
      {"leave", "", 3}, {"guard_break", "", 3}, {"door", "", 3, 5}, {"area", area, -1, -1, t},
      {"lever", "", 3, 5}, {"found", "hit", 3, 5}, {"trap_seen", "", 3, 5}, {"trap", "", 3, 5, 77},
      {"disarmed", "", 3, 5}, {"disarm_fail", "", 3}, {"use", name, 3, -1, potion}, {"heal", "", 3, -1, 77},
      {"ward", "", 3}, {"blast", "cutting", -1, -1, 77, 11, 0, 13}, {"caltrops", "", -1, -1, 0, 11, 0, 13},
      {"turned", "", 3}, {"frost", "", -1, -1, 77, 11, 0, 13}, {"held", "asleep", 3}, {"rally", "", 3},
      {"shout", "", 3}, {"taunt", "", 3}, {"vanish", "", 3}, {"sapped", "", 3, 4}, {"poisoned", "", 3, 4},
      {"trainer", "", 3}, {"gift", "", 3, 4, 77}, {"learned", learned, 3, -1, slash}, {"cleared", ""},
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
  const std::uint16_t sword = item_named("broadsword");
  const struct {
    Event event;
    std::string_view word, detail;
    std::int32_t amount;
  } cases[] = {
      {Event::hit_of(DamageType::burning, true, true, 1, 2, 5, 0, 0, 0), "parry", "burning", 5},
      {Event::hit_of(DamageType::burning, true, false, 1, 2, 5, 0, 0, 0), "block", "burning", 5},
      {Event::hit_of(DamageType::impaling, false, false, 1, 2, 5, 0, 0, 0), "hit", "impaling", 5},
      {Event::pickup_of(1, PickupContent::food(6)), "pickup", "food", 6},
      {Event::pickup_of(1, PickupContent::of_item(sword)), "pickup", "item", sword},
      {Event::work_of(2, 0), "work", "force", 0},
      {Event::found_of(0, 0, 0), "found", "search", 0},
      {Event::held_of(0, 0), "held", "", 0},
      {Event::held_of(7, 0), "held", "frozen", 0},
      // A gate index beyond the number range is held at the top, never wrapped.
      {Event::gate_lock_of(UINT64_MAX), "gate_lock", "", INT32_MAX},
  };
  for (const auto& c : cases) {
    const EventView v = event_name(c.event);
    EXPECT_TRUE(v.word == c.word && v.detail == c.detail && v.amount == c.amount) << c.word << " " << c.detail;
  }
}

TEST(EventView, ObjectsAndRunsOfEvents) {
  const std::vector<Event> events = {Event::of_actor(EventKind::jump, 0), Event::of_actor(EventKind::land, 1),
                                     Event::plain(EventKind::cleared)};
  EXPECT_EQ(json_to_string(events_json(events, 0, 1)),
            "[{\"kind\":\"jump\",\"actor\":0,\"target\":-1,\"amount\":0,\"detail\":\"\",\"x\":0,\"y\":0,\"z\":0}]");
  EXPECT_EQ(json_to_string(event_json(EventView{"hit", "cutting", 1, 2, 3, -4, 5, 6})),
            "{\"kind\":\"hit\",\"actor\":1,\"target\":2,\"amount\":3,\"detail\":\"cutting\",\"x\":-4,\"y\":5,\"z\":6}");
  // Runs reaching past the end stop there; empty runs are [].
  const std::string tail = json_to_string(events_to_values(events, 1, 3));
  EXPECT_EQ(tail.substr(0, 15), "[{\"kind\":\"land\"");
  EXPECT_EQ(json_to_string(events_json(events, 1, 99)), tail);
  for (const Json& run : {events_to_values({}, 0, 0), events_json(events, 3, 5), events_to_values(events, 2, 1)}) {
    EXPECT_EQ(json_to_string(run), "[]");
  }
}

// ---------------------------------------------------------------------------
// The reply as a whole
// ---------------------------------------------------------------------------

TEST(WorldView, KeysOfEveryObjectInOrder) {
  const World world = busy_world();
  const JsonValue reply = parse_all(json_to_string(view_json(world, "m", Json::array(), false)));
  EXPECT_EQ(keys_of(reply), (Keys{"ok", "message", "events", "state"}));
  const JsonValue& state = at(reply, "state");
  EXPECT_EQ(keys_of(state),
            (Keys{"tick", "status", "in_combat", "stage", "stage_id", "town", "shop_at", "inn_at", "trainer_at",
                  "length", "depth", "camera_x", "view_w", "gate", "exit_x", "exit_open", "actors", "props",
                  "pickups", "chests", "projectiles", "interior", "look", "hazards", "doors", "levers",
                  "barriers", "traps"}));
  EXPECT_EQ(keys_of(at(state, "gate")), (Keys{"index", "count", "active", "wave", "waves", "centers"}));
  const std::pair<std::string_view, Keys> lists[] = {
      {"actors",
       {"id", "kind", "player", "slot", "x", "y", "z", "facing", "state", "move", "phase", "frame", "phase_frame",
        "phase_len", "hp", "hp_max", "fp", "fp_max", "mana", "mana_max", "sta", "sta_max", "winded", "silver",
        "gear", "gear_models", "bag", "bag_value", "carried", "encumbrance", "work", "work_pct", "dr", "fatigue",
        "skill", "xp", "points", "invuln", "frozen", "quick", "quick_title", "quick_model", "quick_count",
        "quick_kinds", "quick_prev_model", "quick_next_model", "ward", "specials", "special", "temp_hp",
        "poisoned", "stealth", "taunted", "held", "guard"}},
      {"props", {"id", "kind", "x", "z", "broken"}},
      {"pickups", {"id", "kind", "amount", "item", "title", "model", "x", "z"}},
      {"chests", {"id", "x", "z", "state"}},
      {"projectiles", {"id", "kind", "model", "x", "y", "z", "dir"}},
      {"hazards", {"id", "x", "z"}},
      {"doors", {"id", "x", "z", "title", "secret"}},
      {"levers", {"id", "x", "z", "pulled"}},
      {"barriers", {"x", "open"}},
      {"traps", {"id", "x", "z", "state"}},
  };
  const JsonValue crypt = state_of(game_at("barrow_crypt"));  // the one with levers and barriers
  for (const auto& [list, keys] : lists) {
    const JsonValue::Array& entries = arr(state, list).empty() ? arr(crypt, list) : arr(state, list);
    EXPECT_FALSE(entries.empty()) << list;
    for (const JsonValue& entry : entries) EXPECT_EQ(keys_of(entry), keys) << list;
  }
  EXPECT_EQ(keys_of(arr(arr(state, "actors").at(0), "specials").at(0)),
            (Keys{"name", "title", "fp", "spell", "requires", "unlocked", "learned", "price", "blurb"}));
  const JsonValue debug_reply = reply_of(world, true);
  for (const JsonValue& box : arr(debug_reply, "boxes")) {
    EXPECT_EQ(keys_of(box), (Keys{"kind", "actor", "x0", "x1", "y0", "y1", "z0", "z1"}));
  }
  EXPECT_EQ(keys_of(debug_reply), (Keys{"ok", "message", "events", "state", "boxes"}));
}

TEST(WorldView, TextAndValueAgreeByteForByte) {
  const World world = busy_world();
  const std::vector<Event> events = {Event::actor_item(EventKind::bought, 0, item_named("dagger")),
                                     Event::area_of(world.stage_index)};
  for (const bool debug : {false, true}) {
    const std::string text = view_text(world, events_json(events, 0, events.size()), debug);
    EXPECT_EQ(text, json_to_string(view_json(world, "", events_json(events, 0, events.size()), debug)));
    EXPECT_EQ(str(arr(parse_all(text), "events").at(0), "detail"), "Dag\tger \"one\"");
  }
  EXPECT_EQ(str(state_of(game_at("first_road")), "stage"), "The \"King's\" Road\\\x01\x7f\xc3\xa9");
}

// ---------------------------------------------------------------------------
// Actor view
// ---------------------------------------------------------------------------

TEST_F(ViewTest, MovePhasesAndSkilledRecovery) {
  EXPECT_EQ(view().move + view().phase, "");  // idle
  EXPECT_EQ(view().phase_len, 0);
  const MoveDef& m = move_def(move_named("slash"));
  a.state = ActorState::attack;
  a.move = move_named("slash");
  const std::int32_t s = m.startup, ac = m.active, r = m.recovery;
  const struct {
    std::int32_t ticks, skill;
    std::string phase;
    std::int32_t frame, len;
  } cases[] = {{0, 0, "startup", 0, s},           {s - 1, 0, "startup", s - 1, s},
               {s, 0, "active", 0, ac},           {s + ac - 1, 0, "active", ac - 1, ac},
               {s + ac, 0, "recovery", 0, r},     {s + ac + 2, 2, "recovery", 2, r - 2},
               {s + ac, 1000, "recovery", 0, r - r / 2}, {s + ac, -5, "recovery", 0, r}};
  for (const auto& c : cases) {
    a.state_ticks = static_cast<std::uint16_t>(c.ticks);
    a.skill = c.skill;
    const ActorView v = view();
    EXPECT_EQ(v.state + " " + v.move + " " + v.phase, "move slash " + c.phase) << c.ticks;
    EXPECT_EQ(v.phase_frame, c.frame) << c.ticks;
    EXPECT_EQ(v.phase_len, c.len) << c.ticks << " skill " << c.skill;
  }
}

TEST_F(ViewTest, PoolsPositionsAndStatusFlags) {
  std::tie(a.hp, a.x, a.y, a.xp, a.sheet->points_spent) = std::tuple(-7, Fx::from_raw(-1), Fx::from_raw(511), 99, 3);
  std::tie(a.ward_dr, a.poison, a.held, a.ai_target) = std::tuple(4, 1, 1, 2);
  ActorView v = view();
  // hp never below 0, positions rounded down, xp / 10 less the points spent,
  // no ward while its timer is not running.
  EXPECT_EQ((std::vector<std::int32_t>{v.hp, v.x, v.y, v.points, v.ward}), (std::vector<std::int32_t>{0, -1, 1, 6, 0}));
  EXPECT_TRUE(v.poisoned && v.taunted && !v.frozen && v.held == "asleep");
  std::tie(a.ward_ticks, a.held, a.poison) = std::tuple(1, 2, 0);
  v = view();
  EXPECT_TRUE(v.ward == 4 && v.dr == total_dr(a));
  EXPECT_TRUE(v.frozen && !v.poisoned && v.held == "frozen");
}

TEST_F(ViewTest, GearBagWeightEncumbranceAndWork) {
  a.gear = {};
  a.st = 3;  // basic lift 18 tenths of a pound
  const std::uint16_t coin = item_named("ancient_coin");
  ASSERT_EQ(item_def(coin).weight, 1);
  const std::pair<std::int32_t, std::int32_t> levels[] = {{18, 0}, {19, 1}, {36, 1},  {37, 2},
                                                          {54, 2}, {55, 3}, {108, 3}, {109, 4}};
  for (const auto& [coins, level] : levels) {
    a.bag.clear();
    for (std::int32_t i = 0; i < coins; ++i) a.bag.push_back(coin);
    EXPECT_EQ(view().encumbrance, level) << coins;
    EXPECT_EQ(view().bag_value, coins * item_def(coin).value);
  }
  const std::uint16_t ration = item_named("ration"), sword = item_named("broadsword");
  a.bag = {coin, ration};
  a.gear[0] = sword;
  const ActorView v = view();
  EXPECT_EQ(v.bag, (std::vector<std::string>{item_def(coin).title, item_def(ration).title}));
  EXPECT_EQ(v.carried, 1 + item_def(ration).weight + item_def(sword).weight);
  EXPECT_EQ(v.gear, (std::array<std::string, 3>{"broadsword", "", ""}));
  EXPECT_EQ(v.gear_models, (std::array<std::string, 3>{item_def(sword).model, "", ""}));

  a.state = ActorState::work;
  const struct {
    std::uint8_t kind;
    std::uint16_t ticks, duration;
    std::string word;
    std::int32_t pct;
  } works[] = {{1, 50, 200, "pick", 25}, {3, 199, 200, "disarm", 99}, {2, 300, 200, "force", 100},
               {1, 5, 0, "pick", 100},   {1, 0, 0, "pick", 0}};
  for (const auto& w : works) {
    a.work_kind = w.kind;
    a.state_ticks = w.ticks;
    a.work_ticks = w.duration;
    EXPECT_EQ(view().work, w.word);
    EXPECT_EQ(view().work_pct, w.pct) << w.ticks << "/" << w.duration;
  }
}

TEST_F(ViewTest, QuickItemAndItsNeighbours) {
  const std::uint16_t potion = item_named("healing_potion"), ration = item_named("ration");
  const std::uint16_t flask = item_named("fire_flask"), sword = item_named("broadsword");
  a.bag = {potion, sword, potion};
  a.quick = potion;
  ActorView v = view();
  EXPECT_EQ(v.quick + " " + v.quick_model, "healing_potion " + item_def(potion).model);
  EXPECT_TRUE(v.quick_count == 2 && v.quick_kinds == 1);
  EXPECT_EQ(v.quick_prev_model + v.quick_next_model, "");  // one kind of consumable only

  a.bag = {potion, sword, ration, potion, flask};
  EXPECT_EQ(actor_model_name(a, -1), item_def(flask).model);  // wraps from the first to the last
  EXPECT_EQ(actor_model_name(a, +1), item_def(ration).model);
  a.quick = flask;
  EXPECT_EQ(actor_model_name(a, +1), item_def(potion).model);
  a.quick = sword;  // not a consumable of the bag
  EXPECT_EQ(actor_model_name(a, +1), "");
  a.quick.reset();
  v = view();
  EXPECT_TRUE(v.quick.empty() && v.quick_count == 0 && v.quick_kinds == 3);
}

TEST_F(ViewTest, SpecialsLearnedAndUnlocked) {
  const KindDef& cls = kind_by_id(a.kind);
  a.skill = 4;
  for (const bool trained : {false, true}) {
    if (trained) a.arts.push_back(cls.special.back());
    const ActorView v = view();
    for (std::size_t n = 0; n < cls.special.size(); ++n) {
      const MoveDef& m = move_def(cls.special[n]);
      const SpecialView& s = v.specials.at(n);
      EXPECT_EQ(s.learned, m.price == 0 || (trained && n + 1 == cls.special.size())) << m.name;
      EXPECT_EQ(s.unlocked, s.learned && a.skill >= m.requires_skill) << m.name;
      EXPECT_EQ(s.title, m.title);
    }
  }
}

// ---------------------------------------------------------------------------
// World view
// ---------------------------------------------------------------------------

TEST_F(ViewTest, StageValuesGateAndExit) {
  const StageDef& road = world.stage();
  world.camera_x = Fx::from_raw(600 * 256 + 255);
  world.over = GameStatus::wiped;
  JsonValue s = state_of(world);
  EXPECT_EQ(str(s, "status") + "|" + str(s, "stage") + "|" + str(s, "stage_id"), "wiped|" + road.title + "|first_road");
  EXPECT_EQ(num(s, "camera_x"), 600);
  EXPECT_TRUE(arr(s, "shop_at").empty());
  EXPECT_EQ(num(at(s, "gate"), "count"), static_cast<std::int64_t>(road.gates.size()));
  EXPECT_EQ(num(at(s, "gate"), "waves"), static_cast<std::int64_t>(road.gates[0].waves.size()));
  EXPECT_EQ(arr(at(s, "gate"), "centers").at(1).as_num(), road.gates[1].center_x);
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
  EXPECT_TRUE(flag(s, "interior") && !flag(s, "exit_open"));  // no walk-out exit
}

TEST_F(ViewTest, PropsPickupsAndChests) {
  world.props.at(1).broken = 1;
  const std::uint16_t sword = item_named("broadsword");
  world.pickups.push_back(Pickup{PickupContent::food(4), Fx::from_int(10), Fx::from_int(20), 0, 1});
  world.pickups.push_back(Pickup{PickupContent::silver(12), Fx::from_int(30), Fx::from_int(40), 1, 0});
  world.pickups.push_back(Pickup{PickupContent::of_item(sword), Fx::from_int(50), Fx::from_int(60), 2, 0});
  const JsonValue reply = reply_of(world, true);
  const JsonValue& s = at(reply, "state");
  EXPECT_EQ(arr(s, "props").size(), world.props.size());
  EXPECT_TRUE(flag(arr(s, "props").at(1), "broken"));
  const auto& pickups = arr(s, "pickups");
  ASSERT_EQ(pickups.size(), 2u);  // the taken one is gone
  EXPECT_EQ(str(pickups[0], "kind") + str(pickups[0], "item") + str(pickups[0], "title"), "silver");
  EXPECT_EQ(num(pickups[0], "amount"), 12);
  EXPECT_EQ(str(pickups[1], "kind") + " " + str(pickups[1], "item"), "item broadsword");
  EXPECT_EQ(str(pickups[1], "model"), item_def(sword).model);
  EXPECT_TRUE(num(pickups[1], "amount") == sword && num(pickups[1], "x") == 50);
  // The broken barrel has no box; the whole ones have.
  const auto& boxes = arr(reply, "boxes");
  EXPECT_EQ(std::count_if(boxes.begin(), boxes.end(), [](const JsonValue& b) { return str(b, "kind") == "prop"; }),
            static_cast<std::ptrdiff_t>(world.props.size() - 1));

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
  EXPECT_TRUE(flag(*shown, "secret"));
  ASSERT_EQ(arr(s, "traps").size(), 1u);
  EXPECT_EQ(std::to_string(num(arr(s, "traps")[0], "id")) + str(arr(s, "traps")[0], "state"), "1sprung");

  World crypt = game_at("barrow_crypt");
  ASSERT_FALSE(crypt.stage().barriers.empty());
  EXPECT_FALSE(flag(arr(state_of(crypt), "barriers").at(0), "open"));
  crypt.levers_pulled.at(0) = 1;
  s = state_of(crypt);
  EXPECT_TRUE(flag(arr(s, "levers").at(0), "pulled"));
  for (std::size_t i = 0; i < crypt.stage().barriers.size(); ++i) {
    EXPECT_EQ(flag(arr(s, "barriers").at(i), "open"), crypt.stage().barriers[i] == crypt.stage().levers[0].barrier_x);
  }
}

TEST_F(ViewTest, ProjectileEntryAndBox) {
  const MoveDef& m = move_def(move_named("knife_throw"));
  Projectile& thrown = world.projectiles.emplace_back();
  thrown.thrown_item = item_named("fire_flask");
  std::tie(thrown.x, thrown.y, thrown.z) = std::tuple(Fx::from_int(500), Fx::from_int(10), Fx::from_int(200));
  thrown.move = move_named("knife_throw");
  thrown.facing = -1;
  JsonValue reply = reply_of(world, true);
  const JsonValue& p = arr(at(reply, "state"), "projectiles").at(0);
  EXPECT_EQ(str(p, "kind") + " " + str(p, "model"), "knife_throw " + item_def(item_named("fire_flask")).model);
  EXPECT_EQ(num(p, "y"), 10 + (m.height.from + m.height.to) / 2);
  EXPECT_EQ(num(p, "dir"), -1);
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
  box = box_of(reply, 0, "hit");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(num(*box, "x0"), 500 + m.forward.from);
}

TEST_F(ViewTest, ListedActorsBodyAndAttackBoxes) {
  world = game_at("first_road", 3);
  Actor& enemy = add_enemy(world, "bandit", 900, 200);
  const KindDef& bandit = kind_by_id(enemy.kind);
  const KindDef& cls = kind_by_id(world.actors[0].kind);
  world.actors[1].state = ActorState::ko;
  world.actors[2].gone = 1;
  enemy.state = ActorState::fall;
  enemy.juggle = 2;
  // The knocked-out player is listed, the gone one is not; neither has a box.
  ActorCursor cursor{world};
  std::vector<ActorView> views;
  while (std::optional<ActorView> v = actor_view(cursor)) views.push_back(std::move(*v));
  ASSERT_EQ(views.size(), 3u);
  EXPECT_EQ(views[1].state, "ko");
  EXPECT_EQ(views[0].kind + " " + views[0].guard, cls.name + " " + std::string(guard_kind_word(cls.guard)));
  EXPECT_TRUE(views[2].id == 3 && !views[2].player && views[2].slot == -1 && views[2].facing == -1);
  EXPECT_TRUE(views[2].specials.empty() && views[0].specials.size() == cls.special.size());
  const JsonValue reply = reply_of(world, true);
  for (const JsonValue& b : arr(reply, "boxes")) EXPECT_TRUE(num(b, "actor") != 1 && num(b, "actor") != 2);
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
  } words[] = {{ActorState::fall, 1, 0, "hurt"},      {ActorState::down, 0, 0, "hurt_off"},
               {ActorState::getup, 0, 0, "hurt_off"}, {ActorState::idle, 0, 3, "hurt_off"},
               {ActorState::stun, 0, 0, "hurt"}};
  for (const auto& w : words) {
    enemy.state = w.state;
    enemy.juggle = w.juggle;
    enemy.invuln = w.invuln;
    EXPECT_NE(box_of(reply_of(world, true), 3, w.word), nullptr) << w.word;
  }

  // An attack box right after its owner's body box, named by the move's phase.
  Actor& player = world.actors[0];
  const MoveDef& m = move_def(move_named("slash"));
  player.state = ActorState::attack;
  player.move = move_named("slash");
  const std::pair<std::int32_t, std::string> phases[] = {
      {0, "windup"}, {m.startup, "hit"}, {m.startup + m.active, "spent"}};
  for (const auto& [ticks, word] : phases) {
    player.state_ticks = static_cast<std::uint16_t>(ticks);
    const JsonValue boxed = reply_of(world, true);
    const auto& boxes = arr(boxed, "boxes");
    const std::optional<AttackBox> box = attack_box(player);
    ASSERT_TRUE(box && boxes.size() >= 2) << word;
    EXPECT_EQ(str(boxes[1], "kind") + " " + std::to_string(num(boxes[1], "actor")), word + " 0");
    EXPECT_EQ(num(boxes[1], "x0"), box->x0);
    EXPECT_EQ(num(boxes[1], "z1"), box->z1);
  }
}

}  // namespace
}  // namespace velmora
