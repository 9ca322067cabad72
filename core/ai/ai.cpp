#include "core/ai/ai.h"

#include <algorithm>
#include <optional>

#include "core/ai/ai_roles.h"
#include "core/base/clamp.h"
#include "core/base/rng.h"

namespace velmora {

namespace {

using i64 = std::int64_t;

// Buttons that go out on the think tick only; the held word keeps the rest.
constexpr Buttons think_only = button::attack | button::guard | button::dash | button::special;

// A blow is a threat this far beyond its reach and depth.
constexpr i64 threat_reach_slack_cm = 40;
constexpr i64 threat_depth_slack_cm = 30;
constexpr i64 guard_linger_ticks = 4;  // the guard stays up this long after the blow's active frames

// Walking bits start beyond these offsets from the goal.
constexpr i64 walk_left_below = -12;
constexpr i64 walk_right_from = 13;
constexpr i64 walk_up_below = -8;
constexpr i64 walk_down_from = 9;

i64 cm(Fx v) { return v.floor_int(); }
i64 magnitude(i64 v) { return v < 0 ? -v : v; }

bool idle_or_walk(const Actor& a) { return a.state == ActorState::idle || a.state == ActorState::walk; }

AiInput held_word(const Actor& a) { return AiInput{a.ai_buttons, a.ai_side}; }

AiInput reset_think(Actor& a) {
  a.ai_think = 0;
  a.ai_buttons = 0;
  return AiInput{};
}

void count_timers(Actor& a) {
  a.ai_cooldown = count_down(a.ai_cooldown);
  a.ai_retreat = count_down(a.ai_retreat);
  if (a.ai_stand == 1) a.ai_stand_armed = 0;
  a.ai_stand = count_down(a.ai_stand);
}

// ---------------------------------------------------------------------------
// Guard reaction

// The first active frame of a move; a move of startup 0 has it on its first
// tick in the state.
i64 first_active_frame(const MoveDef& m) { return std::max<i64>(m.startup, 1); }

// A player winding up a harmful blow at this enemy, near enough to land it.
bool threatens(const Actor& p, const Actor& enemy) {
  if (p.team != 0 || p.gone != 0 || p.state != ActorState::attack) return false;
  const MoveDef& m = move_def(p.move);
  if (m.harmless || p.state_ticks >= first_active_frame(m)) return false;
  const i64 ex = cm(enemy.x);
  const i64 px = cm(p.x);
  const std::int8_t facing_enemy = ex >= px ? 1 : -1;
  if (p.facing != facing_enemy) return false;
  return magnitude(ex - px) <= i64{m.forward.to} + threat_reach_slack_cm &&
         magnitude(cm(enemy.z) - cm(p.z)) <= i64{m.depth} + threat_depth_slack_cm;
}

std::optional<std::size_t> first_threat(const World& world, const Actor& enemy) {
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    if (threatens(world.actors[i], enemy)) return i;
  }
  return std::nullopt;
}

enum class Reaction : std::uint8_t { none, reset, guard };

// Raises the guard until the blow's active frames are over.
void raise_guard(Actor& a, const Actor& attacker) {
  const MoveDef& m = move_def(attacker.move);
  a.ai_buttons = button::guard;
  a.ai_side = cm(a.x) > cm(attacker.x) ? std::int8_t{-1} : std::int8_t{1};
  const i64 hold = i64{m.startup} - attacker.state_ticks + m.active + guard_linger_ticks;
  a.ai_think = saturate_u16(std::max<i64>(hold, 1));
}

// Each new threat is met once: a busy enemy drops what it held, a free one
// rolls its kind's block chance.
Reaction guard_reaction(World& world, std::size_t index) {
  Actor& a = world.actors[index];
  const std::optional<std::size_t> threat = first_threat(world, a);
  if (!threat) {
    a.ai_threat.reset();
    return Reaction::none;
  }
  const Actor& attacker = world.actors[*threat];
  if (a.ai_threat == attacker.id) return Reaction::none;
  if (!idle_or_walk(a)) return Reaction::reset;
  a.ai_threat = attacker.id;
  if (!chance(world.rng, kind_by_id(a.kind).block)) return Reaction::none;
  raise_guard(a, attacker);
  return Reaction::guard;
}

// ---------------------------------------------------------------------------
// Think

// The taunting actor while it is still on its feet somewhere on the stage.
std::optional<std::size_t> taunter(const World& world, const Actor& a) {
  if (!a.ai_target || *a.ai_target >= world.actors.size()) return std::nullopt;
  const Actor& t = world.actors[*a.ai_target];
  if (t.gone != 0 || t.state == ActorState::ko) return std::nullopt;
  return *a.ai_target;
}

// The nearest live player in sight; ties go to the lower id.
std::optional<std::size_t> nearest_player(const World& world, const Actor& a) {
  std::optional<std::size_t> best;
  i64 best_distance = 0;
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    const Actor& p = world.actors[i];
    if (p.team != 0 || !p.live() || p.stealth != 0) continue;
    const i64 d = (magnitude(i64{p.x.raw} - a.x.raw) >> 8) + (magnitude(i64{p.z.raw} - a.z.raw) >> 8);
    if (!best || d < best_distance || (d == best_distance && p.id < world.actors[*best].id)) {
      best = i;
      best_distance = d;
    }
  }
  return best;
}

// A taunted enemy fights like a brute whatever its kind.
AiSteer decide(World& world, std::size_t index, const AiTarget& target) {
  if (world.actors[index].ai_target) return ai_brute(world, index, target);
  switch (kind_by_id(world.actors[index].kind).role) {
    case AiRole::brute: return ai_brute(world, index, target);
    case AiRole::guard: return ai_guard(world, index, target);
    case AiRole::skirmisher: return ai_skirmisher(world, index, target);
    case AiRole::ranged:
    case AiRole::caster: return ai_shooter(world, index, target);
  }
  return ai_brute(world, index, target);
}

Buttons walking_bits(const Actor& a, const AiSteer& steer) {
  const i64 dx = i64{steer.goal_x} - cm(a.x);
  const i64 dz = i64{steer.goal_z} - cm(a.z);
  Buttons word = 0;
  if (dx < walk_left_below) word |= button::left;
  if (dx >= walk_right_from) word |= button::right;
  if (dz < walk_up_below) word |= button::up;
  if (dz >= walk_down_from) word |= button::down;
  return word;
}

AiInput think(World& world, std::size_t index) {
  Actor& a = world.actors[index];
  a.ai_think = kind_by_id(a.kind).think;
  std::optional<std::size_t> target = taunter(world, a);
  if (!target) target = nearest_player(world, a);
  if (!target) {
    a.ai_buttons = 0;
    return AiInput{};
  }
  const AiTarget t = ai_target_of(world.actors[*target]);
  const AiSteer steer = decide(world, index, t);
  return ai_steer_word(world, index, t, steer);
}

}  // namespace

AiInput ai_steer_word(World& world, std::size_t index, const AiTarget& target, const AiSteer& steer) {
  Actor& a = world.actors[index];
  const KindDef& kind = kind_by_id(a.kind);
  Buttons word = steer.buttons;
  const Buttons acts = button::attack | button::dash | button::special;
  if (steer.valid != 0 && (word & acts) == 0) {
    word |= walking_bits(a, steer);
    if (kind.jitter != 0 && chance(world.rng, kind.jitter)) word = 0;
  }
  if ((word & (button::attack | button::special)) != 0) {
    a.ai_cooldown = saturate_u16(range(world.rng, kind.cooldown[0], kind.cooldown[1]));
  }
  a.ai_lock = target.id;
  a.ai_side = steer.facing;
  a.ai_buttons = static_cast<Buttons>(word & ~think_only);
  return AiInput{word, steer.facing};
}

AiInput enemy_input(World& world, std::size_t index) {
  Actor& a = world.actors[index];
  if (a.gone != 0) return AiInput{};
  count_timers(a);
  if (a.state == ActorState::block && a.ai_think != 0) {
    --a.ai_think;
    return held_word(a);
  }
  if (kind_by_id(a.kind).block != 0) {
    switch (guard_reaction(world, index)) {
      case Reaction::reset: return reset_think(a);
      case Reaction::guard: return held_word(a);
      case Reaction::none: break;
    }
  }
  if (!idle_or_walk(a)) return reset_think(a);
  if (a.ai_think > 0) {
    --a.ai_think;
    return held_word(a);
  }
  return think(world, index);
}

}  // namespace velmora
