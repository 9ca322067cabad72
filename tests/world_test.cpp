#include "core/world.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "core/game_data.h"
#include "core/state_hash.h"

namespace velmora {
namespace {

std::uint64_t stage_count() { return game_data().stages.size(); }

CharacterSheet sheet_of(std::uint8_t slot) {
  CharacterSheet s = new_character(default_class());
  s.slot = slot;
  return s;
}

// Two stages joined by a door each way: (from, door there, to, door back).
struct DoorPair {
  std::uint64_t from = 0;
  std::uint64_t door = 0;
  std::uint64_t to = 0;
  std::uint64_t back = 0;
};

std::optional<DoorPair> door_pair() {
  const auto& stages = game_data().stages;
  for (std::uint64_t a = 0; a < stages.size(); ++a) {
    for (std::uint64_t d = 0; d < stages[a].doors.size(); ++d) {
      const std::uint64_t b = stages[a].doors[d].area;
      if (b == a) continue;
      for (std::uint64_t e = 0; e < stages[b].doors.size(); ++e) {
        if (stages[b].doors[e].area == a) return DoorPair{a, d, b, e};
      }
    }
  }
  return std::nullopt;
}

TEST(NewGame, DefaultPartyAndHeader) {
  const World w = new_game(0, 0, {});
  ASSERT_EQ(w.actors.size(), 1u);
  const Actor& a = w.actors[0];
  EXPECT_EQ(a.kind, default_class());
  EXPECT_EQ(a.slot, 0);
  EXPECT_EQ(a.team, 0);
  EXPECT_EQ(a.facing, 1);
  EXPECT_EQ(a.x.raw, 250 * 256);
  EXPECT_EQ(a.z.raw, 150 * 256);
  EXPECT_EQ(w.rng.state, 0x3C6EF372FE94F82AULL);
  EXPECT_EQ(w.seed, 0u);
  EXPECT_EQ(w.tick, 0u);
  EXPECT_EQ(w.stage_index, 0u);
  EXPECT_EQ(w.view_w, w.stage().view_w);
  EXPECT_EQ(w.camera_x.raw, (w.stage().view_w / 2) * 256);
  EXPECT_EQ(w.over, GameStatus::playing);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_TRUE(w.events.empty());
  EXPECT_EQ(w.stage_memory.size(), stage_count());
  for (const auto& m : w.stage_memory) EXPECT_FALSE(m.has_value());
}

TEST(NewGame, StageIndexIsClampedToTheLast) {
  const World w = new_game(stage_count() + 50, 1, {});
  EXPECT_EQ(w.stage_index, stage_count() - 1);
  const World huge = new_game(~std::uint64_t{0}, 1, {});
  EXPECT_EQ(huge.stage_index, stage_count() - 1);
}

TEST(NewGame, PartyOfFiveKeepsFourInPlace) {
  std::vector<CharacterSheet> party;
  for (std::uint8_t s = 0; s < 5; ++s) party.push_back(sheet_of(s));
  const World w = new_game(0, 9, party);
  ASSERT_EQ(w.actors.size(), 4u);
  const std::int32_t xs[] = {250, 320, 390, 460};
  const std::int32_t zs[] = {150, 240, 330, 150};
  for (std::size_t j = 0; j < 4; ++j) {
    EXPECT_EQ(w.actors[j].id, j);
    EXPECT_EQ(w.actors[j].slot, j);
    EXPECT_EQ(w.actors[j].x.raw, xs[j] * 256) << j;
    EXPECT_EQ(w.actors[j].z.raw, zs[j] * 256) << j;
  }
}

TEST(NewGame, SlotsComeFromTheSheetsWhenDistinct) {
  const World kept = new_game(0, 9, {sheet_of(2), sheet_of(0)});
  EXPECT_EQ(kept.actors[0].slot, 2);
  EXPECT_EQ(kept.actors[1].slot, 0);
  const World renumbered = new_game(0, 9, {sheet_of(3), sheet_of(3)});
  EXPECT_EQ(renumbered.actors[0].slot, 0);
  EXPECT_EQ(renumbered.actors[1].slot, 1);
}

TEST(NewGame, StageStateFollowsTheStage) {
  for (std::uint64_t s = 0; s < stage_count(); ++s) {
    const World w = new_game(s, 5, {});
    const StageDef& def = game_data().stages[s];
    ASSERT_EQ(w.props.size(), def.barrels.size());
    ASSERT_EQ(w.chests.size(), def.chests.size());
    EXPECT_EQ(w.door_states.size(), def.doors.size());
    EXPECT_EQ(w.levers_pulled.size(), def.levers.size());
    EXPECT_EQ(w.trap_states.size(), def.traps.size());
    EXPECT_TRUE(w.pickups.empty());
    EXPECT_TRUE(w.hazards.empty());
    for (std::size_t i = 0; i < w.props.size(); ++i) {
      EXPECT_EQ(w.props[i].x.raw, def.barrels[i].x * 256);
      EXPECT_EQ(w.props[i].z.raw, def.barrels[i].z * 256);
      EXPECT_EQ(w.props[i].content.amount, def.barrels[i].amount);
      EXPECT_EQ(w.props[i].index, i);
      EXPECT_EQ(w.props[i].broken, 0);
    }
    for (std::size_t i = 0; i < w.chests.size(); ++i) {
      EXPECT_EQ(w.chests[i].table, def.chests[i].table);
      EXPECT_EQ(w.chests[i].lock, def.chests[i].lock);
      EXPECT_EQ(w.chests[i].locked, def.chests[i].locked ? 1 : 0);
      EXPECT_EQ(w.chests[i].index, i);
    }
    EXPECT_EQ(new_stage_state(s).props, w.props);
  }
}

TEST(World, BarrelPickupClampsNegativeAmounts) {
  EXPECT_EQ(barrel_pickup({BarrelContents::food, 25}), PickupContent::food(25));
  EXPECT_EQ(barrel_pickup({BarrelContents::silver, 7}), PickupContent::silver(7));
  EXPECT_EQ(barrel_pickup({BarrelContents::silver, -7}), PickupContent::silver(0));
}

TEST(World, CameraStaysInsideTheStage) {
  EXPECT_EQ(clamp_camera(100, 1200, 4000), 600);
  EXPECT_EQ(clamp_camera(2000, 1200, 4000), 2000);
  EXPECT_EQ(clamp_camera(3900, 1200, 4000), 3400);
  EXPECT_EQ(clamp_camera(3900, 1201, 4000), 3400);  // halves truncate
  // A stage narrower than its view: no valid range, the camera at half the view.
  EXPECT_EQ(clamp_camera(300, 1200, 800), 600);
  EXPECT_EQ(clamp_camera(-5000, 1200, 800), 600);
  EXPECT_EQ(clamp_camera(0, std::numeric_limits<std::int32_t>::max(), std::numeric_limits<std::int32_t>::min()),
            std::numeric_limits<std::int32_t>::max() / 2);
}

TEST(SmallVector, KeepsOrderAndSpillsToTheHeap) {
  SmallVector<std::uint16_t, 4> v{1, 2, 3};
  v.erase_at(0);
  EXPECT_EQ(v, (SmallVector<std::uint16_t, 4>{2, 3}));
  for (std::uint16_t i = 0; i < 10; ++i) v.push_back(i);
  ASSERT_EQ(v.size(), 12u);
  EXPECT_GE(v.capacity(), 12u);
  EXPECT_EQ(v[0], 2);
  EXPECT_EQ(v.back(), 9);
  v.erase_at(11);
  EXPECT_EQ(v.back(), 8);
  EXPECT_TRUE(v.contains(3));
  EXPECT_FALSE(v.contains(9));

  // Copying a short list into a grown one keeps the grown storage.
  SmallVector<std::uint16_t, 4> grown = v;
  const std::uint32_t capacity = grown.capacity();
  const SmallVector<std::uint16_t, 4> one{7};
  grown = one;
  EXPECT_EQ(grown.capacity(), capacity);
  EXPECT_EQ(grown, (SmallVector<std::uint16_t, 4>{7}));

  SmallVector<std::uint16_t, 4> moved = std::move(v);
  EXPECT_EQ(moved.size(), 11u);
  EXPECT_TRUE(v.empty());  // NOLINT(bugprone-use-after-move): moved-from lists are empty
  v.push_back(5);
  EXPECT_EQ(v.size(), 1u);
  moved = std::move(v);
  EXPECT_EQ(moved, (SmallVector<std::uint16_t, 4>{5}));
}

TEST(SmallVectorDeath, IndexBeyondTheEndStops) {
  SmallVector<std::uint8_t, 2> v{1};
  EXPECT_DEATH(v[1], "index out of range");
  EXPECT_DEATH(v.erase_at(3), "index out of range");
}

TEST(World, CopiesAreIndependent) {
  World a = new_game(0, 42, {sheet_of(0), sheet_of(1)});
  for (std::uint16_t i = 0; i < 40; ++i) a.actors[0].bag.push_back(i);  // past the inline capacity
  a.actors[1].hit_list.push_back(0);
  a.stage_memory[stage_count() - 1] = new_stage_state(stage_count() - 1);
  a.hazards.push_back(Hazard{});
  a.events.push_back(Event::of_actor(EventKind::jump, 0));

  World b = world_clone(a);
  EXPECT_EQ(b, a);
  EXPECT_EQ(state_hash(b), state_hash(a));
  b.actors[0].bag[39] = 7;
  b.actors[1].hit_list.push_back(1);
  b.stage_memory[stage_count() - 1]->pickups.push_back(Pickup{});
  b.hazards[0].hit_list.push_back(1);
  EXPECT_EQ(a.actors[0].bag[39], 39);
  EXPECT_EQ(a.actors[1].hit_list.size(), 1u);
  EXPECT_TRUE(a.stage_memory[stage_count() - 1]->pickups.empty());
  EXPECT_TRUE(a.hazards[0].hit_list.empty());
  EXPECT_NE(state_hash(b), state_hash(a));

  // Copying into an existing world gives the same value, also after the
  // target's lists had grown beyond the source's.
  World c = new_game(1, 3, {});
  for (std::uint16_t i = 0; i < 100; ++i) c.actors[0].bag.push_back(i);
  c = a;
  EXPECT_EQ(c, a);
  EXPECT_EQ(state_hash(c), state_hash(a));
  c = b;
  EXPECT_EQ(c, b);
}

TEST(StageSwitch, NothingWithoutADoorOrOnAnOverStage) {
  const auto pair = door_pair();
  ASSERT_TRUE(pair.has_value()) << "the data has no two stages joined both ways";
  World w = new_game(pair->from, 1, {});
  const World before = w;
  switch_stage(w);
  EXPECT_EQ(w, before);
  w.pending_door = pair->door;
  w.over = GameStatus::cleared;
  switch_stage(w);
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_EQ(w.stage_index, pair->from);
  EXPECT_TRUE(w.events.empty());
}

TEST(StageSwitch, LeavingAndComingBackRestoresTheStage) {
  const auto pair = door_pair();
  ASSERT_TRUE(pair.has_value()) << "the data has no two stages joined both ways";
  World w = new_game(pair->from, 1, {sheet_of(0), sheet_of(1), sheet_of(2), sheet_of(3)});
  // Change everything the stage owns.
  if (!w.props.empty()) w.props[0].broken = 1;
  if (!w.chests.empty()) w.chests[0].opened = 1;
  for (auto& d : w.door_states) d = DoorState{1, 3};
  for (auto& t : w.trap_states) t = TrapState{trap_disarmed, 1};
  for (auto& l : w.levers_pulled) l = 1;
  w.pickups.push_back(Pickup{PickupContent::silver(5), Fx::from_int(600), Fx::from_int(100), 0, 0});
  Hazard h;
  h.ticks = 30;
  h.hit_list.push_back(2);
  w.hazards.push_back(h);
  w.gate_index = 1;
  w.wave_index = 2;
  w.wave_countdown = 17;
  w.gate_locked = 1;
  w.wave_active = 1;
  w.projectiles.push_back(Projectile{});
  w.actors.push_back(actor_from_kind(4, 0, 1, 255, 900, 100, -1));
  w.actors[1].state = ActorState::ko;
  w.actors[1].vx = Fx::from_int(3);
  w.actors[2].gone = 1;
  w.actors[0].state = ActorState::attack;
  w.actors[0].vanish_strike = 1;
  w.actors[0].vy = Fx::from_int(5);
  w.actors[0].y = Fx::from_int(40);
  w.actors[0].hit_list.push_back(4);
  w.tick = 500;
  w.xp_pool = 9;
  const std::vector<Prop> props = w.props;
  const std::vector<Chest> chests = w.chests;
  const std::vector<DoorState> doors = w.door_states;
  const std::vector<TrapState> traps = w.trap_states;
  const std::vector<std::uint8_t> levers = w.levers_pulled;
  const std::uint64_t rng = w.rng.state;

  w.pending_door = pair->door;
  switch_stage(w);
  const StageDef& there = game_data().stages[pair->to];
  const std::int32_t entry = game_data().stages[pair->from].doors[pair->door].entry_x;
  EXPECT_FALSE(w.pending_door.has_value());
  EXPECT_EQ(w.stage_index, pair->to);
  ASSERT_EQ(w.events.size(), 1u);
  EXPECT_EQ(w.events[0], Event::area_of(pair->to));
  EXPECT_TRUE(w.projectiles.empty());
  EXPECT_TRUE(w.pickups.empty());
  EXPECT_TRUE(w.hazards.empty());
  EXPECT_EQ(w.gate_index, 0u);
  EXPECT_EQ(w.gate_locked, 0);
  EXPECT_EQ(w.door_states.size(), there.doors.size());
  EXPECT_EQ(w.view_w, there.view_w);
  EXPECT_EQ(w.tick, 500u);
  EXPECT_EQ(w.xp_pool, 9u);
  EXPECT_EQ(w.rng.state, rng);
  EXPECT_EQ(w.actors[4].gone, 1);  // the enemy stays behind
  ASSERT_TRUE(w.stage_memory[pair->from].has_value());
  EXPECT_FALSE(w.stage_memory[pair->to].has_value());

  // The party: the gone player is skipped; the others line up from the entry.
  const std::int8_t side = entry >= there.length / 2 ? -1 : 1;
  const std::size_t placed[] = {0, 1, 3};
  for (std::size_t i = 0; i < 3; ++i) {
    const Actor& a = w.actors[placed[i]];
    EXPECT_EQ(a.x.raw, (entry - static_cast<std::int32_t>(i) * side * 40) * 256) << i;
    EXPECT_EQ(a.z.raw, std::min(150 + 90 * static_cast<std::int32_t>(i % 3), there.depth) * 256) << i;
    EXPECT_EQ(a.y.raw, 0);
    EXPECT_EQ(a.vy.raw, 0);
    EXPECT_EQ(a.facing, side);
    EXPECT_TRUE(a.hit_list.empty());
  }
  EXPECT_EQ(w.actors[0].state, ActorState::idle);
  EXPECT_EQ(w.actors[0].vanish_strike, 0);
  EXPECT_EQ(w.actors[1].state, ActorState::ko);  // knocked out: moved, state and vx kept
  EXPECT_EQ(w.actors[1].vx.raw, 3 * 256);
  const std::int64_t half = there.view_w / 2;
  EXPECT_EQ(w.camera_x.raw, std::clamp<std::int64_t>(entry, half, there.length - half) * 256);

  // Back through the return door.
  w.events.clear();
  w.pending_door = pair->back;
  switch_stage(w);
  EXPECT_EQ(w.stage_index, pair->from);
  EXPECT_EQ(w.props, props);
  EXPECT_EQ(w.chests, chests);
  EXPECT_EQ(w.door_states, doors);
  EXPECT_EQ(w.trap_states, traps);
  EXPECT_EQ(w.levers_pulled, levers);
  ASSERT_EQ(w.pickups.size(), 1u);
  EXPECT_EQ(w.pickups[0].content, PickupContent::silver(5));
  ASSERT_EQ(w.hazards.size(), 1u);
  EXPECT_EQ(w.hazards[0].hit_list.size(), 1u);
  EXPECT_EQ(w.gate_index, 1u);
  EXPECT_EQ(w.wave_index, 2u);
  EXPECT_EQ(w.wave_countdown, 17);
  EXPECT_EQ(w.gate_locked, 1);
  EXPECT_EQ(w.wave_active, 1);
  EXPECT_FALSE(w.stage_memory[pair->from].has_value());
  ASSERT_TRUE(w.stage_memory[pair->to].has_value());
}

TEST(StageSwitch, HashesTheMemory) {
  const auto pair = door_pair();
  ASSERT_TRUE(pair.has_value());
  World w = new_game(pair->from, 1, {});
  World same = w;
  w.pending_door = pair->door;
  same.pending_door = pair->door;
  if (!w.props.empty()) w.props[0].broken = 1;
  else if (!w.chests.empty()) w.chests[0].opened = 1;
  else w.pickups.push_back(Pickup{});
  switch_stage(w);
  switch_stage(same);
  EXPECT_EQ(w.stage_index, same.stage_index);
  EXPECT_NE(state_hash(w), state_hash(same));
}

TEST(StageSwitchDeath, DoorBeyondTheStageStops) {
  World w = new_game(0, 1, {});
  w.pending_door = game_data().stages[0].doors.size();
  EXPECT_DEATH(switch_stage(w), "door index out of range");
}

}  // namespace
}  // namespace velmora
