#include "core/world/world.h"

#include <algorithm>
#include <utility>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/data/game_data.h"

namespace velmora {

namespace {

constexpr std::size_t max_party = 4;

const StageDef& stage_def(std::uint64_t stage) {
  const auto& stages = game_data().stages;
  VELMORA_CHECK(stage < stages.size(), "stage index out of range");
  return stages[stage];
}

std::vector<Prop> props_of(const StageDef& stage) {
  std::vector<Prop> props;
  props.reserve(stage.barrels.size());
  for (std::size_t i = 0; i < stage.barrels.size(); ++i) {
    const BarrelDef& b = stage.barrels[i];
    props.push_back(Prop{PropContent{b.contents, b.amount}, fx_from_cm(b.x), fx_from_cm(b.z),
                         static_cast<std::uint16_t>(i), 0});
  }
  return props;
}

std::vector<Chest> chests_of(const StageDef& stage) {
  std::vector<Chest> chests;
  chests.reserve(stage.chests.size());
  for (std::size_t i = 0; i < stage.chests.size(); ++i) {
    const ChestDef& c = stage.chests[i];
    Chest chest;
    chest.table = c.table;
    chest.x = fx_from_cm(c.x);
    chest.z = fx_from_cm(c.z);
    chest.lock = c.lock;
    chest.index = static_cast<std::uint16_t>(i);
    chest.locked = c.locked ? 1 : 0;
    chests.push_back(chest);
  }
  return chests;
}

// Moves the stage-owned lists and gate fields out of the world, leaving its lists empty.
StageState take_stage_state(World& world) {
  StageState state;
  state.props = std::exchange(world.props, {});
  state.pickups = std::exchange(world.pickups, {});
  state.chests = std::exchange(world.chests, {});
  state.door_states = std::exchange(world.door_states, {});
  state.levers_pulled = std::exchange(world.levers_pulled, {});
  state.trap_states = std::exchange(world.trap_states, {});
  state.hazards = std::exchange(world.hazards, {});
  state.gate_index = world.gate_index;
  state.wave_index = world.wave_index;
  state.wave_countdown = world.wave_countdown;
  state.gate_locked = world.gate_locked;
  state.wave_active = world.wave_active;
  return state;
}

// Puts the party at the entry of a new stage; enemies stay behind for good.
void place_party(World& world, std::int32_t entry_x) {
  const StageDef& stage = world.stage();
  const std::int8_t side = entry_x >= stage.length / 2 ? -1 : 1;
  std::int64_t placed = 0;
  for (Actor& a : world.actors) {
    if (a.team != 0) {
      a.gone = 1;
      continue;
    }
    if (a.gone != 0) continue;
    a.x = fx_from_cm(std::int64_t{entry_x} - placed * side * 40);
    a.z = fx_from_cm(std::min<std::int64_t>(150 + 90 * (placed % 3), stage.depth));
    a.y = Fx{};
    a.facing = side;
    if (a.state != ActorState::ko) {
      a.state = ActorState::idle;
      a.state_ticks = 0;
      a.vx = Fx{};
      a.vz = Fx{};
      a.vanish_strike = 0;
    }
    a.vy = Fx{};
    a.hit_list.clear();
    ++placed;
  }
}

}  // namespace

std::string_view game_status_word(GameStatus status) {
  switch (status) {
    case GameStatus::playing: return "playing";
    case GameStatus::cleared: return "cleared";
    case GameStatus::wiped: return "wiped";
  }
  panic("game status out of range");
}

PickupContent barrel_pickup(const PropContent& content) {
  const std::uint32_t amount = saturate_u32(content.amount);
  return content.contents == BarrelContents::silver ? PickupContent::silver(amount) : PickupContent::food(amount);
}

const StageDef& World::stage() const { return stage_def(stage_index); }

World new_game(std::uint64_t stage, std::uint64_t seed, const std::vector<CharacterSheet>& party) {
  const auto& stages = game_data().stages;
  VELMORA_CHECK(!stages.empty(), "validated: a stage");
  World world;
  world.stage_index = std::min<std::uint64_t>(stage, stages.size() - 1);
  const std::uint8_t default_kind = default_class();

  std::vector<CharacterSheet> sheets(party.begin(), party.begin() + std::min(party.size(), max_party));
  if (sheets.empty()) sheets.push_back(new_character(default_kind));
  const std::vector<std::uint8_t> slots = party_slots(sheets, sheets.size());
  world.actors.reserve(sheets.size());
  for (std::size_t j = 0; j < sheets.size(); ++j) {
    const auto i = static_cast<std::int32_t>(j);
    world.actors.push_back(actor_from_sheet(static_cast<std::uint16_t>(j), sheets[j], slots[j], 250 + 70 * i,
                                            150 + 90 * i - 270 * (i / 3)));
  }

  world.stage_memory.resize(stages.size());
  world.seed = seed;
  world.rng = Rng::from_seed(seed);
  world.view_w = world.stage().view_w;
  world.camera_x = fx_from_cm(world.view_w / 2);
  install_stage_state(world, new_stage_state(world.stage_index));
  return world;
}

StageState new_stage_state(std::uint64_t stage) {
  const StageDef& def = stage_def(stage);
  StageState state;
  state.props = props_of(def);
  state.chests = chests_of(def);
  state.door_states.assign(def.doors.size(), DoorState{});
  state.levers_pulled.assign(def.levers.size(), 0);
  state.trap_states.assign(def.traps.size(), TrapState{});
  return state;
}

void install_stage_state(World& world, StageState&& state) {
  world.props = std::move(state.props);
  world.pickups = std::move(state.pickups);
  world.chests = std::move(state.chests);
  world.gate_index = state.gate_index;
  world.wave_index = state.wave_index;
  world.wave_countdown = state.wave_countdown;
  world.gate_locked = state.gate_locked;
  world.wave_active = state.wave_active;
  world.door_states = std::move(state.door_states);
  world.levers_pulled = std::move(state.levers_pulled);
  world.trap_states = std::move(state.trap_states);
  world.hazards = std::move(state.hazards);
}

void switch_stage(World& world) {
  const std::optional<std::uint64_t> door = std::exchange(world.pending_door, std::nullopt);
  if (!door || world.over != GameStatus::playing) return;
  const StageDef& here = world.stage();
  VELMORA_CHECK(*door < here.doors.size(), "door index out of range");
  const DoorDef& used = here.doors[*door];
  const std::uint64_t target = used.area;
  const std::int32_t entry_x = used.entry_x;
  VELMORA_CHECK(target < world.stage_memory.size() && world.stage_index < world.stage_memory.size(),
                "stage memory does not match the stages");

  world.stage_memory[world.stage_index] = take_stage_state(world);
  world.stage_index = target;
  std::optional<StageState> kept = std::exchange(world.stage_memory[target], std::nullopt);
  install_stage_state(world, kept ? std::move(*kept) : new_stage_state(target));
  world.projectiles.clear();

  place_party(world, entry_x);
  const StageDef& there = world.stage();
  world.camera_x = fx_from_cm(clamp_camera(entry_x, there.view_w, there.length));
  world.view_w = there.view_w;
  world.events.push_back(Event::area_of(target));
}

std::int64_t clamp_camera(std::int64_t x, std::int32_t view_w, std::int32_t length) {
  const std::int64_t half = view_w / 2;
  return clamp_value<std::int64_t>(x, half, std::int64_t{length} - half);
}

World world_clone(const World& world) { return world; }

}  // namespace velmora
