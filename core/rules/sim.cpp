#include "core/rules/sim.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "core/ai/ai.h"
#include "core/base/clamp.h"
#include "core/rules/combat.h"
#include "core/rules/control.h"
#include "core/rules/effects.h"
#include "core/rules/interactions.h"
#include "core/rules/move_effects.h"
#include "core/rules/projectiles.h"
#include "core/rules/stage_flow.h"

namespace velmora {

namespace {

constexpr std::uint64_t engagement_period = 15;
constexpr std::int32_t camera_step_cm = 8;

// An enemy in the engagement order.
struct EngageEntry {
  std::int64_t distance = 0;
  std::uint16_t id = 0;
  std::size_t index = 0;
};

struct TargetPoint {
  std::int32_t x = 0;
  std::int32_t z = 0;
};

// The short lists of one tick, kept per thread and reused so that a tick
// allocates nothing once they have grown to the size of the game.
struct TickScratch {
  std::vector<AiInput> inputs;  // parallel to actors
  std::vector<std::uint8_t> held;
  std::vector<TargetPoint> targets;
  std::vector<EngageEntry> engage;
  std::vector<std::int32_t> barriers;
  std::vector<DeferredValue> values;
  std::vector<DeferredMove> moves;
};

TickScratch& scratch() {
  thread_local TickScratch s;
  return s;
}

bool is_player(const Actor& a) { return a.team == 0; }

// Distances in the engagement are whole centimetres |dx| + |dz|.
std::int64_t distance_cm(std::int64_t a, std::int64_t b) { return a >= b ? a - b : b - a; }

std::int64_t nearest_target(const Actor& enemy, const std::vector<TargetPoint>& targets) {
  std::int64_t best = std::numeric_limits<std::int32_t>::max();
  const std::int64_t x = enemy.x.floor_int();
  const std::int64_t z = enemy.z.floor_int();
  for (const TargetPoint& t : targets) {
    best = std::min(best, distance_cm(x, t.x) + distance_cm(z, t.z));
  }
  return best;
}

// The live players in sight, and the live enemies sorted by their distance
// to the nearest of them, then by actor id and index.
void engagement_order(const World& world, std::vector<TargetPoint>& targets, std::vector<EngageEntry>& engage) {
  targets.clear();
  engage.clear();
  for (const Actor& a : world.actors) {
    if (is_player(a) && a.live() && a.stealth == 0) targets.push_back({a.x.floor_int(), a.z.floor_int()});
  }
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    const Actor& a = world.actors[i];
    if (!is_player(a) && a.live()) engage.push_back({nearest_target(a, targets), a.id, i});
  }
  std::sort(engage.begin(), engage.end(), [](const EngageEntry& l, const EngageEntry& r) {
    if (l.distance != r.distance) return l.distance < r.distance;
    if (l.id != r.id) return l.id < r.id;
    return l.index < r.index;
  });
}

// Phase 4. Players read their slot's word; enemies ask the AI, which sees
// every position as it was before anybody moves.
void input_phase(World& world, std::span<const Buttons> inputs, std::vector<AiInput>& out) {
  out.resize(world.actors.size());
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    const Actor& a = world.actors[i];
    if (is_player(a)) {
      out[i] = AiInput{a.slot < inputs.size() ? inputs[a.slot] : Buttons{0}, 0};
    } else {
      out[i] = enemy_input(world, i);
    }
  }
}

// Phase 5: an actor in hit-stop counts it down and sits this tick out.
void hold_phase(World& world, std::vector<std::uint8_t>& held) {
  held.assign(world.actors.size(), 0);
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    Actor& a = world.actors[i];
    if (a.hitstop == 0) continue;
    --a.hitstop;
    held[i] = 1;
  }
}

// Phase 6. Actors added during the phase (none today) wait for the next tick.
void actor_phase(World& world, const std::vector<AiInput>& inputs, const std::vector<std::uint8_t>& held) {
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    if (held[i] != 0 || world.actors[i].gone != 0) continue;
    actor_step(world, i, inputs[i].buttons, inputs[i].facing);
  }
}

// Phases 7 and 8: the queue is taken out of the world (left empty) and
// applied in order. The scratch list changes places with it, so both keep
// their storage from tick to tick.
template <class Entry, class Apply>
void drain(World& world, std::vector<Entry>& queue, std::vector<Entry>& taken, Apply apply) {
  taken.clear();
  taken.swap(queue);
  for (const Entry& entry : taken) apply(world, entry);
  taken.clear();
}

// Phase 10, with the closed barriers worked out once for every actor.
void movement_phase(World& world, const std::vector<std::uint8_t>& held, std::vector<std::int32_t>& barriers) {
  closed_barriers(world, barriers);
  for (std::size_t i = 0; i < held.size(); ++i) {
    if (held[i] != 0 || world.actors[i].gone != 0) continue;
    move_actor(world, i, barriers);
  }
}

void actor_status_timers(Actor& a) {
  if (a.temp_hp_ticks > 0 && --a.temp_hp_ticks == 0) a.temp_hp = 0;
  a.stealth = count_down(a.stealth);
  if (a.state != ActorState::stun) a.held = 0;
  if (a.taunt_ticks > 0 && --a.taunt_ticks == 0) a.ai_target.reset();
}

}  // namespace

void update_fighting(World& world) {
  const bool enemy_live = std::any_of(world.actors.begin(), world.actors.end(),
                                      [](const Actor& a) { return !is_player(a) && a.live(); });
  world.fighting = (world.gate_locked == 1 || enemy_live) ? 1 : 0;
}

void update_engagement(World& world) {
  TickScratch& s = scratch();
  engagement_order(world, s.targets, s.engage);
  const std::size_t targets = s.targets.size();
  std::size_t melee = 0;
  std::size_t ranged = 0;
  for (const EngageEntry& e : s.engage) {
    Actor& a = world.actors[e.index];
    const KindDef& kind = kind_by_id(a.kind);
    if (kind.boss || a.ai_target) {
      a.ai_engaged = 1;
      continue;
    }
    const bool shooter = kind.role == AiRole::ranged || kind.role == AiRole::caster;
    std::size_t& counter = shooter ? ranged : melee;
    const std::size_t room = shooter ? targets / 2 : targets;
    a.ai_engaged = counter <= room ? 1 : 0;
    counter += a.ai_engaged;
  }
}

void status_timers(World& world) {
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    actor_status_timers(world.actors[i]);
    poison_tick(world, i);
  }
}

void update_camera(World& world) {
  std::int64_t sum = 0;
  std::int64_t count = 0;
  for (const Actor& a : world.actors) {
    if (!is_player(a) || !a.live()) continue;
    sum += a.x.floor_int();
    ++count;
  }
  const std::int64_t current = world.camera_x.floor_int();
  std::int64_t goal = count > 0 ? sum / count : current;
  const StageDef& stage = world.stage();
  if (world.gate_index < stage.gates.size()) goal = std::min<std::int64_t>(goal, stage.gates[world.gate_index].center_x);
  goal = clamp_camera(goal, world.view_w, stage.length);
  const std::int64_t step = clamp_value<std::int64_t>(goal - current, -camera_step_cm, camera_step_cm);
  world.camera_x = Fx::from_raw(saturate_i32(std::int64_t{world.camera_x.raw} + step * 256));
}

// Gone actors, phase by phase (each phase follows its own rule):
//   4 input: every actor gets its word; enemies always go through the AI,
//     which answers for gone ones itself;
//   5 hold: every actor counts its hit-stop down;
//   6 actor step and 10 movement: gone actors are skipped;
//   9 status timers: every actor, gone or not (poison skips gone ones itself);
//   2, 3, 13, 16 to 18: only live or present actors count, as each rule says.
void tick(World& world, std::span<const Buttons> inputs) {
  world.events.clear();
  ++world.tick;
  if (world.over != GameStatus::playing) return;

  update_fighting(world);
  if (world.tick % engagement_period == 1) update_engagement(world);

  TickScratch& s = scratch();
  input_phase(world, inputs, s.inputs);
  hold_phase(world, s.held);
  actor_phase(world, s.inputs, s.held);
  drain(world, world.deferred_values, s.values, apply_item_effects);
  drain(world, world.deferred_moves, s.moves, apply_move_effects);
  status_timers(world);
  movement_phase(world, s.held, s.barriers);
  melee_hits(world);
  update_projectiles(world);
  update_hazards(world);
  share_experience(world);
  take_pickups(world);
  update_traps(world);
  gates_and_waves(world);
  update_camera(world);
  stage_end(world);
  switch_stage(world);
}

}  // namespace velmora
