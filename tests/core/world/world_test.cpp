#include "core/world/world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "core/data/game_data.h"
#include "core/world/state_hash.h"

namespace velmora {
namespace {

std::uint64_t stage_count() { return game_data().stages.size(); }

std::uint64_t stage_named(std::string_view name) {
  const auto i = stage_index(game_data().stages, name);
  if (!i) ADD_FAILURE() << "no stage " << name;
  return i.value_or(0);
}

std::vector<CharacterSheet> party_with_slots(std::initializer_list<std::uint8_t> slots) {
  std::vector<CharacterSheet> party;
  for (std::uint8_t s : slots) {
    party.push_back(new_character(default_class()));
    party.back().slot = s;
  }
  return party;
}

// The stage-owned part of a world, as the stage memory keeps it.
StageState stage_part(const World& w) {
  return StageState{w.props,      w.pickups,    w.chests,        w.door_states, w.levers_pulled, w.trap_states,
                    w.hazards,    w.gate_index, w.wave_index,    w.wave_countdown, w.gate_locked, w.wave_active};
}

TEST(NewGame, DefaultPartyAndHeader) {
  const World w = new_game(~std::uint64_t{0}, 0, {});
  EXPECT_EQ(w.stage_index, stage_count() - 1);  // clamped to the last stage
  ASSERT_EQ(w.actors.size(), 1u);
  const Actor& a = w.actors[0];
  EXPECT_EQ(a.kind, default_class());
  EXPECT_EQ(a.slot, 0);
  EXPECT_EQ(a.facing, 1);
  EXPECT_EQ(a.x.raw, 250 * 256);
  EXPECT_EQ(a.z.raw, 150 * 256);
  EXPECT_EQ(w.rng.state, 0x3C6EF372FE94F82AULL);
  EXPECT_EQ(w.view_w, w.stage().view_w);
  EXPECT_EQ(w.camera_x.raw, (w.stage().view_w / 2) * 256);
  EXPECT_EQ(w.stage_memory, std::vector<std::optional<StageState>>(stage_count()));
}

TEST(NewGame, PlaysTheFirstFourSheetsInPlace) {
  // The fifth sheet is cut before the slots are numbered, so 3, 2, 1, 0 stay.
  const World w = new_game(0, 9, party_with_slots({3, 2, 1, 0, 0}));
  ASSERT_EQ(w.actors.size(), 4u);
  const std::int32_t xs[] = {250, 320, 390, 460};
  const std::int32_t zs[] = {150, 240, 330, 150};
  for (std::size_t j = 0; j < 4; ++j) {
    EXPECT_EQ(w.actors[j].id, j);
    EXPECT_EQ(w.actors[j].slot, 3 - j);
    EXPECT_EQ(w.actors[j].x.raw, xs[j] * 256) << j;
    EXPECT_EQ(w.actors[j].z.raw, zs[j] * 256) << j;
  }
}

TEST(NewGame, StageStateFollowsTheStage) {
  for (std::uint64_t s = 0; s < stage_count(); ++s) {
    const StageDef& def = game_data().stages[s];
    StageState want;
    for (std::size_t i = 0; i < def.barrels.size(); ++i) {
      const BarrelDef& b = def.barrels[i];
      want.props.push_back({{b.contents, b.amount}, Fx::from_int(b.x), Fx::from_int(b.z), std::uint16_t(i), 0});
    }
    for (std::size_t i = 0; i < def.chests.size(); ++i) {
      const ChestDef& c = def.chests[i];
      want.chests.push_back(
          {c.table, Fx::from_int(c.x), Fx::from_int(c.z), c.lock, std::uint16_t(i), std::uint8_t(c.locked), 0, 0});
    }
    want.door_states.resize(def.doors.size());
    want.levers_pulled.resize(def.levers.size());
    want.trap_states.resize(def.traps.size());
    EXPECT_EQ(new_stage_state(s), want) << def.name;
    EXPECT_EQ(stage_part(new_game(s, 5, {})), want) << def.name;
  }
}

TEST(World, BarrelPickupAndCameraClamp) {
  EXPECT_EQ(barrel_pickup({BarrelContents::food, 25}), PickupContent::food(25));
  EXPECT_EQ(barrel_pickup({BarrelContents::silver, -7}), PickupContent::silver(0));
  EXPECT_EQ(clamp_camera(100, 1200, 4000), 600);
  EXPECT_EQ(clamp_camera(3900, 1201, 4000), 3400);  // halves truncate
  // A stage narrower than its view: no valid range, the camera at half the view.
  EXPECT_EQ(clamp_camera(300, 1200, 800), 600);
  EXPECT_EQ(clamp_camera(0, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()),
            std::numeric_limits<std::int32_t>::max() / 2);
}

TEST(SmallVector, KeepsOrderSpillsToTheHeapAndReusesStorage) {
  using V = SmallVector<std::uint16_t, 4>;
  V v{1, 2, 3, 4, 5};  // on the heap already
  while (v.size() < v.capacity()) v.push_back(static_cast<std::uint16_t>(v.size() + 1));
  const std::uint32_t full = v.size();
  v.push_back(v[0]);  // the value lives in the block that this push replaces
  EXPECT_EQ(v.back(), 1);
  v.erase_at(0);
  ASSERT_EQ(v.size(), full);
  EXPECT_EQ(v[0], 2);
  EXPECT_EQ(v[full - 2], full);
  EXPECT_TRUE(v.contains(3));
  EXPECT_FALSE(v.contains(static_cast<std::uint16_t>(full + 1)));

  V grown = v;
  const std::uint32_t capacity = grown.capacity();
  const V one{7};
  grown = one;  // a short list copied in keeps the grown storage
  EXPECT_EQ(grown.capacity(), capacity);
  EXPECT_EQ(grown, one);
  grown = V{8};  // moved in: takes the inline list
  EXPECT_EQ(grown, V{8});
  V moved = std::move(v);
  EXPECT_EQ(moved.size(), full);
  EXPECT_TRUE(v.empty());  // NOLINT(bugprone-use-after-move): moved-from lists are empty
}

TEST(SmallVectorDeath, IndexBeyondTheEndStops) {
  SmallVector<std::uint8_t, 2> v{1};
  EXPECT_DEATH(v[1], "index out of range");
  EXPECT_DEATH(v.erase_at(3), "index out of range");
}

TEST(World, CopiesAreIndependent) {
  const std::uint64_t last = stage_count() - 1;
  World a = new_game(0, 42, party_with_slots({0, 1}));
  for (std::uint16_t i = 0; i < 40; ++i) a.actors[0].bag.push_back(i);  // past the inline capacity
  a.stage_memory[last] = new_stage_state(last);
  a.hazards.push_back(Hazard{});
  const World original = a;

  World b = world_clone(a);
  EXPECT_EQ(state_hash(b), state_hash(a));
  b.actors[0].bag[39] = 7;
  b.actors[1].hit_list.push_back(1);
  b.stage_memory[last]->pickups.push_back(Pickup{});
  b.hazards[0].hit_list.push_back(1);
  EXPECT_EQ(a, original);
  EXPECT_NE(state_hash(b), state_hash(a));

  // Into an existing world whose lists had grown beyond the source's.
  World c = new_game(1, 3, {});
  for (std::uint16_t i = 0; i < 100; ++i) c.actors[0].bag.push_back(i);
  c = a;
  EXPECT_EQ(c, a);
  EXPECT_EQ(state_hash(c), state_hash(a));
}

// The players of `ids` stand lined up from the entry of the current stage.
void expect_party_at(const World& w, std::int32_t entry, const std::vector<std::size_t>& ids) {
  const StageDef& here = w.stage();
  const std::int8_t side = entry >= here.length / 2 ? -1 : 1;
  for (std::size_t i = 0; i < ids.size(); ++i) {
    const Actor& a = w.actors[ids[i]];
    const auto n = static_cast<std::int32_t>(i);
    EXPECT_EQ(a.x.raw, (entry - n * side * 40) * 256) << i;
    EXPECT_EQ(a.z.raw, std::min(150 + 90 * (n % 3), here.depth) * 256) << i;
    EXPECT_EQ(a.y.raw, 0);
    EXPECT_EQ(a.vy.raw, 0);
    EXPECT_EQ(a.facing, side);
    EXPECT_TRUE(a.hit_list.empty());
  }
  const std::int64_t half = here.view_w / 2;
  EXPECT_EQ(w.camera_x.raw, std::clamp<std::int64_t>(entry, half, here.length - half) * 256);
  EXPECT_EQ(w.view_w, here.view_w);
}

TEST(StageSwitch, NothingWithoutADoorOrOnAnOverStage) {
  World w = new_game(stage_named("old_barrow"), 1, {});
  const World before = w;
  switch_stage(w);
  EXPECT_EQ(w, before);
  w.pending_door = 0;
  w.over = GameStatus::cleared;
  switch_stage(w);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_EQ(w.stage_index, before.stage_index);
  EXPECT_TRUE(w.events.empty());
}

// old_barrow's door 0 leads to barrow_crypt at x 250 (the left half), whose
// door 0 leads back to x 2700 (the right half).
TEST(StageSwitch, LeavingAndComingBackRestoresTheStage) {
  const std::uint64_t barrow = stage_named("old_barrow");
  const std::uint64_t crypt = stage_named("barrow_crypt");
  World w = new_game(barrow, 1, party_with_slots({0, 1, 2, 3}));
  ASSERT_FALSE(w.props.empty());
  w.props[0].broken = 1;
  for (auto& d : w.door_states) d = DoorState{1, 3};
  for (auto& t : w.trap_states) t = TrapState{trap_disarmed, 1};
  for (auto& l : w.levers_pulled) l = 1;
  w.pickups.push_back(Pickup{PickupContent::silver(5), Fx::from_int(600), Fx::from_int(100), 0, 0});
  w.hazards.push_back(Hazard{{2}, {}, {}, 1, 2, 3, 4, 30, 0});
  w.gate_index = 1;
  w.wave_index = 2;
  w.wave_countdown = 17;
  w.gate_locked = 1;
  w.wave_active = 1;
  w.projectiles.push_back(Projectile{});
  w.actors.push_back(actor_from_kind(4, 0, 1, 255, 900, 100, -1));
  w.actors[0].state = ActorState::attack;
  w.actors[0].vanish_strike = 1;
  w.actors[0].vy = Fx::from_int(5);
  w.actors[0].y = Fx::from_int(40);
  w.actors[0].hit_list.push_back(4);
  w.actors[1].state = ActorState::ko;
  w.actors[1].vx = Fx::from_int(3);
  w.actors[2].gone = 1;
  w.tick = 500;
  w.xp_pool = 9;
  const World before = w;

  w.pending_door = 0;
  switch_stage(w);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_EQ(w.stage_index, crypt);
  EXPECT_EQ(w.events, std::vector<Event>{Event::area_of(crypt)});
  EXPECT_EQ(stage_part(w), new_stage_state(crypt));
  EXPECT_TRUE(w.projectiles.empty());
  EXPECT_EQ(w.tick, 500u);
  EXPECT_EQ(w.xp_pool, 9u);
  EXPECT_EQ(w.rng, before.rng);
  EXPECT_EQ(w.actors[4].gone, 1);  // the enemy stays behind
  EXPECT_EQ(w.stage_memory[barrow], stage_part(before));
  EXPECT_FALSE(w.stage_memory[crypt].has_value());
  expect_party_at(w, 250, {0, 1, 3});  // the gone player is skipped
  EXPECT_EQ(w.actors[0].state, ActorState::idle);
  EXPECT_EQ(w.actors[0].vanish_strike, 0);
  EXPECT_EQ(w.actors[1].state, ActorState::ko);  // knocked out: moved, state and vx kept
  EXPECT_EQ(w.actors[1].vx.raw, 3 * 256);

  w.pending_door = 0;
  switch_stage(w);
  EXPECT_EQ(w.stage_index, barrow);
  expect_party_at(w, 2700, {0, 1, 3});
  EXPECT_EQ(stage_part(w), stage_part(before));
  EXPECT_FALSE(w.stage_memory[barrow].has_value());
  EXPECT_EQ(w.stage_memory[crypt], new_stage_state(crypt));
}

TEST(StageSwitchDeath, DoorBeyondTheStageStops) {
  World w = new_game(0, 1, {});
  w.pending_door = game_data().stages[0].doors.size();
  EXPECT_DEATH(switch_stage(w), "door index out of range");
}

}  // namespace
}  // namespace velmora
