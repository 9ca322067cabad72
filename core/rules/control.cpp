#include "core/rules/control.h"

#include <algorithm>
#include <cstdlib>

#include "core/base/clamp.h"
#include "core/rules/effects.h"
#include "core/rules/interactions.h"
#include "core/rules/stage_flow.h"

namespace velmora {

namespace {

// Speeds are Fx centimetres per tick: one whole centimetre is 256.
constexpr std::int64_t cm = 256;

constexpr std::uint16_t stamina_pause = 36;      // ticks without stamina recovery after a spend
constexpr std::int32_t jump_stamina = 10;
constexpr std::int32_t dash_stamina = 18;
constexpr std::int64_t jump_speed = 14 * cm;     // upward speed of a jump
constexpr std::int64_t dash_speed = 7 * cm;      // dash and dodge
constexpr std::uint16_t dash_invuln = 14;
constexpr std::uint16_t dash_last = 17;          // a dash lasts while state_ticks ≤ 17
constexpr std::uint16_t down_last = 39;          // lying down while state_ticks ≤ 39
constexpr std::uint16_t getup_last = 19;
constexpr std::uint16_t getup_invuln = 26;
constexpr std::uint16_t ko_linger = 90;          // a knocked-out enemy leaves after this
constexpr std::int64_t gravity = 179;            // 0.7 cm/tick per tick
constexpr std::int64_t friction = 128;           // 0.5 cm/tick per tick
constexpr std::int64_t barrier_gap_cm = 25;
constexpr std::int64_t screen_margin_cm = 30;
constexpr std::int64_t fp_period_fighting = 240;
constexpr std::int64_t fp_period_calm = 60;
constexpr std::int64_t mana_period = 2400;       // divided by IQ
constexpr std::int64_t stamina_rate_rest = 100;  // idle, stun, down, getup
constexpr std::int64_t stamina_rate_walk = 50;

Fx fx_raw(std::int64_t raw) { return Fx::from_raw(saturate_i32(raw)); }

std::int64_t mul(std::int64_t a, std::int64_t b) { return saturating_mul64(a, b); }

bool has(Buttons word, Buttons bit) { return (word & bit) != 0; }

// -1, 0 or +1 from a pair of opposite buttons held; both held cancel out.
int axis(Buttons word, Buttons negative, Buttons positive) {
  return (has(word, positive) ? 1 : 0) - (has(word, negative) ? 1 : 0);
}

bool is_player(const Actor& a) { return a.team == 0; }

// v moved toward target by at most step.
Fx approach(Fx v, std::int64_t target, std::int64_t step) {
  const std::int64_t now = v.raw;
  if (now < target) return fx_raw(std::min(saturating_add64(now, step), target));
  return fx_raw(std::max(saturating_add64(now, -step), target));
}

// Basic Move: (DX + HT) / 4 plus the kind's bonus.
std::int64_t basic_move(const Actor& a) {
  return (std::int64_t{a.dx} + std::int64_t{a.ht}) / 4 + std::int64_t{a.move_bonus};
}

// 100 plus the worn fatigue: the percent that stamina costs and recovery times scale by.
std::int64_t fatigue_scale(const Actor& a) { return 100 + std::int64_t{gear_fatigue(a)}; }

// The position of an item in a list; 0 when absent.
std::size_t position_in(const ConsumableList& list, std::optional<std::uint16_t> item) {
  for (std::size_t i = 0; item && i < list.size(); ++i) {
    if (list[i] == *item) return i;
  }
  return 0;
}

// A move whose first active frame has effects applied after the actor phase.
bool has_deferred_effects(const MoveDef& m) {
  return m.rally || m.shout != 0 || m.taunt != 0 || m.vanish || m.heal > 0 || m.turn_undead || m.ward ||
         m.burst || m.raise > 0 || m.freeze || m.sleep != 0 || m.storm;
}

// The first active frame: a move of startup 0 has it on its first tick in
// the state, so its effects are never skipped.
std::int64_t first_active_frame(const MoveDef& m) { return std::max<std::int64_t>(m.startup, 1); }

// The tick at which a move ends; skill shortens the recovery. Held within
// the 16-bit tick counter so a move always ends.
std::int64_t move_end(const MoveDef& m, std::int32_t skill) {
  const std::int64_t s = std::max<std::int64_t>(skill, 0);
  const std::int64_t end = std::int64_t{m.startup} + m.active + m.recovery - std::min<std::int64_t>(m.recovery / 2, s);
  return std::min<std::int64_t>(end, UINT16_MAX);
}

// One actor's step with what it read from its button word.
struct Step {
  World& world;
  std::size_t index;
  Buttons buttons;  // held this tick
  Buttons pressed;  // fresh presses
  std::int8_t ai_facing;
  bool can_act = false;
  bool dash_ok = false;

  Actor& actor() { return world.actors[index]; }
  bool held(Buttons bit) const { return has(buttons, bit); }
  bool fresh(Buttons bit) const { return has(pressed, bit); }
  void event(const Event& e) { world.events.push_back(e); }
};

void note_winded(Step& s) { s.event(Event::of_actor(EventKind::winded, s.actor().id)); }

void spend_noting(Step& s, std::int32_t cost) {
  if (spend_stamina(s.actor(), cost)) note_winded(s);
}

void advance_ticks(Actor& a) { a.state_ticks = saturating_add16(a.state_ticks, 1); }

// ---------------------------------------------------------------------------
// Selection of the quick item and the special (players)

void select_items_and_special(Step& s) {
  Actor& a = s.actor();
  if (a.quick && !a.bag.contains(*a.quick)) {
    const ConsumableList list = bag_consumables(a.bag);
    a.quick = list.empty() ? std::nullopt : std::optional(list[0]);
  }
  if (s.fresh(button::quick_next)) cycle_quick_item(a, 1);
  if (s.fresh(button::quick_previous)) cycle_quick_item(a, -1);
  const int n = art_of(s.buttons);
  if (n > 0 && can_use_special(a, static_cast<std::size_t>(n - 1))) a.special = static_cast<std::uint8_t>(n - 1);
}

// ---------------------------------------------------------------------------
// Regeneration

void regenerate_fp(Actor& a, bool fighting) {
  if (a.fp >= a.fp_max) return;
  a.fp_regen = saturating_add16(a.fp_regen, 1);
  const std::int64_t period = fighting ? fp_period_fighting : fp_period_calm;
  if (mul(fatigue_scale(a), period) / 100 <= a.fp_regen) {
    a.fp += 1;
    a.fp_regen = 0;
  }
}

void regenerate_mana(Actor& a, bool fighting) {
  if (a.state == ActorState::block && kind_by_id(a.kind).guard == GuardKind::bubble) return;
  if (a.mana >= a.mana_max) return;
  a.mana_regen = saturating_add16(a.mana_regen, 1);
  std::int64_t p = mana_period / (a.iq >= 2 ? std::int64_t{a.iq} : 1);
  if (!fighting) p /= 4;
  if (mul(fatigue_scale(a), p) / 100 <= a.mana_regen) {
    a.mana += 1;
    a.mana_regen = 0;
  }
}

std::int64_t stamina_rate(ActorState state) {
  switch (state) {
    case ActorState::idle:
    case ActorState::stun:
    case ActorState::down:
    case ActorState::getup: return stamina_rate_rest;
    case ActorState::walk: return stamina_rate_walk;
    default: return 0;
  }
}

// The pause after a spend holds the whole recovery, the end of being winded too.
void regenerate_stamina(Actor& a) {
  if (a.stamina_delay > 0) {
    a.stamina_delay = count_down(a.stamina_delay);
    return;
  }
  if (a.sta < a.sta_max) {
    const std::int64_t need = fatigue_scale(a);
    std::int64_t acc = std::int64_t{a.stamina_regen} + stamina_rate(a.state);
    if (acc >= need) {
      acc -= need;
      a.sta += 1;
    }
    a.stamina_regen = saturate_u16(acc);
  } else {
    a.stamina_regen = 0;
  }
  if (a.winded != 0 && 3 * std::int64_t{a.sta} >= a.sta_max) a.winded = 0;
}

// ---------------------------------------------------------------------------
// Cancels

bool interruptible(const Actor& a) {
  switch (a.state) {
    case ActorState::dash:
    case ActorState::block:
    case ActorState::dodge: return true;
    case ActorState::attack: return !move_def(a.move).air;
    default: return false;
  }
}

void apply_cancels(Step& s) {
  Actor& a = s.actor();
  if (!interruptible(a)) return;
  const bool guard = s.fresh(button::guard);
  const bool in_dash = a.state == ActorState::dash;
  const bool guarding = a.state == ActorState::block || a.state == ActorState::dodge;
  const bool may_guard = is_player(a) || kind_by_id(a.kind).block != 0;
  const bool cancel = (guard && s.dash_ok && !in_dash) || (guard && !s.dash_ok && !guarding && may_guard) ||
                      (s.fresh(button::dash) && s.dash_ok && !in_dash);
  if (cancel) to_idle(a);
}

// ---------------------------------------------------------------------------
// Control: idle and walk

bool try_quick_item(Step& s) {
  Actor& a = s.actor();
  if (!is_player(a) || !s.fresh(button::quick) || !a.quick) return false;
  const std::uint16_t item = *a.quick;
  const ItemDef& def = item_def(item);
  if (def.calm && s.world.fighting != 0) {
    s.event(Event::refuse_of(a.id, RefuseReason::fighting));
    return true;
  }
  if (!s.can_act || !def.use) return false;
  start_move(a, *def.use);
  a.item_in_use = item;
  s.event(Event::actor_item(EventKind::use, a.id, item));
  return true;
}

bool try_special(Step& s) {
  Actor& a = s.actor();
  if (!s.fresh(button::special) || !s.can_act) return false;
  const KindDef& k = kind_by_id(a.kind);
  if (k.special.empty()) return false;
  std::uint8_t move = k.special.front();
  if (is_player(a) && can_use_special(a, a.special)) move = k.special[a.special];
  const MoveDef& m = move_def(move);
  const std::int64_t pool = std::int64_t{a.fp} + (m.spell ? std::int64_t{a.mana} : 0);
  if (pool < m.fp) return false;
  start_move(a, move);
  return true;
}

bool try_light(Step& s) {
  Actor& a = s.actor();
  if (!s.fresh(button::attack) || !s.can_act) return false;
  const auto light = kind_by_id(a.kind).light;
  if (!light) return false;
  start_move(a, *light);
  if (a.winded != 0) note_winded(s);
  return true;
}

bool try_jump(Step& s) {
  Actor& a = s.actor();
  if (!s.fresh(button::jump) || !s.can_act) return false;
  const KindDef& k = kind_by_id(a.kind);
  if (!k.air) return false;
  spend_noting(s, jump_stamina);
  a.state = ActorState::jump;
  a.state_ticks = 0;
  a.air_attacked = 0;
  a.vy = fx_raw(jump_speed);
  const std::int64_t speed = mul(basic_move(a), 128);
  const int dir = axis(s.buttons, button::left, button::right);
  if (dir != 0) {
    if (std::abs(std::int64_t{a.vx.raw}) < speed) a.vx = fx_raw(mul(dir, speed));
    a.facing = static_cast<std::int8_t>(dir);
  }
  const int across = axis(s.buttons, button::up, button::down);
  a.vz = fx_raw(mul(across, mul(k.across, speed) / 100));
  s.event(Event::of_actor(EventKind::jump, a.id));
  return true;
}

bool try_dash(Step& s) {
  if (!s.dash_ok) return false;
  spend_noting(s, dash_stamina);
  Actor& a = s.actor();
  const int dir = axis(s.buttons, button::left, button::right);
  if (dir != 0) a.facing = static_cast<std::int8_t>(dir);
  a.state = ActorState::dash;
  a.state_ticks = 0;
  a.vx = fx_raw(mul(a.facing, dash_speed));
  a.vz = Fx{};
  a.invuln = dash_invuln;
  s.event(Event::of_actor(EventKind::dash, a.id));
  return true;
}

// A raised guard starts its own count (the parry window is measured from it)
// and stops the walk across the band: nothing else would stop it in block.
void enter_block(Actor& a) {
  a.state = ActorState::block;
  a.state_ticks = 0;
  a.vz = Fx{};
}

bool try_dodge(Step& s, const KindDef& k) {
  if (!s.fresh(button::guard) || !s.can_act) return false;
  spend_noting(s, saturate_i32(mul(k.guard_cost, 18) / 100));
  Actor& a = s.actor();
  a.state = ActorState::dodge;
  a.state_ticks = 0;
  a.vx = fx_raw(mul(-std::int64_t{a.facing}, dash_speed));
  a.vz = Fx{};
  a.invuln = k.guard_hold;
  s.event(Event::of_actor(EventKind::dash, a.id));
  return true;
}

bool try_guard(Step& s) {
  Actor& a = s.actor();
  if (!s.held(button::guard)) return false;
  const KindDef& k = kind_by_id(a.kind);
  if (!is_player(a) && k.block == 0) return false;
  switch (k.guard) {
    case GuardKind::shield: enter_block(a); return true;
    case GuardKind::ward:
      if (!s.fresh(button::guard) || a.guard_cooldown != 0) return false;
      enter_block(a);
      return true;
    case GuardKind::bubble:
      if (a.mana <= 0) return false;
      enter_block(a);
      return true;
    case GuardKind::dodge: return try_dodge(s, k);
  }
  return false;
}

void walk(Step& s) {
  Actor& a = s.actor();
  const KindDef& k = kind_by_id(a.kind);
  const int dir = axis(s.buttons, button::left, button::right);
  const int across_dir = axis(s.buttons, button::up, button::down);
  if (s.ai_facing == 0 && dir != 0) a.facing = static_cast<std::int8_t>(dir);
  std::int64_t p = (s.world.fighting != 0 || !is_player(a)) ? 100 : k.jog;
  if (a.stealth > 0) p = mul(100 + std::int64_t{a.vanish_speed}, p) / 100;
  std::int64_t speed = mul(mul(basic_move(a), p), 128) / (a.winded != 0 ? 200 : 100);
  speed = mul(speed, encumbrance_level(a)) / 5;
  a.vx = approach(a.vx, mul(dir, speed), dir != 0 ? k.accel.raw : k.brake.raw);
  std::int64_t across = k.across;
  if (dir != 0) across = mul(across, 75) / 100;
  const std::int64_t target_vz = mul(across_dir, mul(across, speed) / 100);
  a.vz = approach(a.vz, target_vz, across_dir != 0 ? k.accel.raw : k.brake.raw);
  const ActorState next = (dir != 0 || across_dir != 0) ? ActorState::walk : ActorState::idle;
  a.state_ticks = next == a.state ? saturating_add16(a.state_ticks, 1) : std::uint16_t{1};
  a.state = next;
}

void control(Step& s) {
  Actor& a = s.actor();
  if (s.ai_facing != 0) a.facing = s.ai_facing > 0 ? std::int8_t{1} : std::int8_t{-1};
  if (try_quick_item(s) || try_special(s) || try_light(s) || try_jump(s) || try_dash(s) || try_guard(s)) return;
  walk(s);
}

// ---------------------------------------------------------------------------
// Moves in progress

// The first active frame. An item used up meanwhile (sold or dropped during
// the wind-up) has no effect and throws nothing.
void reach_first_active_frame(Step& s, const MoveDef& m) {
  Actor& a = s.actor();
  bool effective = true;
  if (a.item_in_use) {
    const std::uint16_t item = *a.item_in_use;
    const auto at = std::find(a.bag.begin(), a.bag.end(), item);
    if (at == a.bag.end()) {
      effective = false;
    } else {
      a.bag.erase_at(static_cast<std::size_t>(at - a.bag.begin()));
      if (!m.projectile) s.world.deferred_values.push_back(DeferredValue{s.index, item});
    }
  }
  if (effective && has_deferred_effects(m)) s.world.deferred_moves.push_back(DeferredMove{s.index, a.move});
  const std::uint8_t move = a.move;
  const std::uint16_t id = a.id;
  if (effective && m.projectile) spawn_projectiles(s.world, s.index);
  s.event(Event::swing_of(move, id));
}

void end_move(Step& s, const MoveDef& m) {
  Actor& a = s.actor();
  if (a.chain_queued != 0 && s.can_act && m.next) {
    start_move(a, m.next->move);
  } else if (m.air && a.y.raw > 0) {
    a.state = ActorState::jump;
  } else {
    if (m.turn) a.facing = static_cast<std::int8_t>(-a.facing);
    to_idle(a);
  }
}

void move_in_progress(Step& s) {
  const MoveDef& m = move_def(s.actor().move);
  const std::int64_t t = s.actor().state_ticks;
  if (t == first_active_frame(m)) reach_first_active_frame(s, m);
  Actor& a = s.actor();
  if (s.fresh(button::attack) && m.next && move_def(m.next->move).requires_skill <= a.skill &&
      t + std::clamp<std::int64_t>(a.skill, 0, 2) >= m.next->frame) {
    a.chain_queued = 1;
  }
  if (m.invulnerable.to != 0 && m.invulnerable.from <= t && t < m.invulnerable.to) {
    a.invuln = std::max<std::uint16_t>(a.invuln, 1);
  }
  if (!m.air) {
    const bool lunging = t < std::int64_t{m.startup} + m.active;
    a.vx = lunging ? fx_raw(mul(mul(a.facing, m.lunge), cm)) : Fx{};
  }
  if (t >= move_end(m, a.skill)) end_move(s, m);
}

// ---------------------------------------------------------------------------
// The other states

void jump_state(Step& s) {
  Actor& a = s.actor();
  const auto air = kind_by_id(a.kind).air;
  if (!s.fresh(button::attack) || !s.can_act || a.air_attacked != 0 || !air) return;
  start_move(a, *air);
  a.air_attacked = 1;
}

void dash_state(Step& s) {
  Actor& a = s.actor();
  const auto dash = kind_by_id(a.kind).dash;
  if (s.fresh(button::attack) && s.can_act && dash) {
    start_move(a, *dash);
  } else if (a.state_ticks > dash_last) {
    to_idle(a);
  }
}

void block_state(Step& s) {
  Actor& a = s.actor();
  const KindDef& k = kind_by_id(a.kind);
  const bool guard = s.held(button::guard);
  if (k.guard == GuardKind::ward) {
    if (guard && a.state_ticks < k.guard_hold) return;
    a.guard_cooldown = k.guard_rest;
    to_idle(a);
  } else if (!guard) {
    to_idle(a);
  }
}

void down_state(Step& s) {
  Actor& a = s.actor();
  if (a.state_ticks <= down_last) return;
  a.state_ticks = 0;
  if (a.hp > 0) {
    a.state = ActorState::getup;
    a.invuln = getup_invuln;
    return;
  }
  a.state = ActorState::ko;
  s.event(Event::of_actor(EventKind::ko, a.id));
  if (!is_player(a)) ko_rewards(s.world, s.index);
}

void work_state(Step& s) {
  const bool moving =
      axis(s.buttons, button::left, button::right) != 0 || axis(s.buttons, button::up, button::down) != 0;
  const Buttons actions = button::attack | button::jump | button::guard | button::dash | button::special;
  if (moving || (s.pressed & actions) != 0) to_idle(s.actor());
}

void state_handler(Step& s) {
  Actor& a = s.actor();
  if (a.state == ActorState::idle || a.state == ActorState::walk) {
    control(s);
    return;
  }
  advance_ticks(a);
  switch (a.state) {
    case ActorState::jump: jump_state(s); break;
    case ActorState::attack: move_in_progress(s); break;
    case ActorState::dash: dash_state(s); break;
    case ActorState::block: block_state(s); break;
    case ActorState::stun:
      if (a.state_ticks >= a.stun) to_idle(a);
      break;
    case ActorState::down: down_state(s); break;
    case ActorState::getup:
      if (a.state_ticks > getup_last) to_idle(a);
      break;
    case ActorState::ko:
      if (!is_player(a) && a.state_ticks >= ko_linger) a.gone = 1;
      break;
    case ActorState::work: work_state(s); break;
    case ActorState::dodge:
      if (a.state_ticks >= kind_by_id(a.kind).guard_hold) to_idle(a);
      break;
    default: break;  // fall ends on landing
  }
}

// Starting a move other than a vanish breaks stealth: the next blow counts as from hiding.
void break_vanish(Actor& a) {
  if (a.stealth == 0 || a.state != ActorState::attack || a.state_ticks > 1) return;
  if (move_def(a.move).vanish) return;
  a.stealth = 0;
  a.vanish_strike = 1;
}

bool winded_noted(const World& world, std::uint16_t id) {
  return std::any_of(world.events.begin(), world.events.end(),
                     [id](const Event& e) { return e.kind == EventKind::winded && e.actor == id; });
}

bool idle_or_walk(const Actor& a) { return a.state == ActorState::idle || a.state == ActorState::walk; }

// ---------------------------------------------------------------------------
// Movement

// Integration, gravity and landing.
void integrate(World& world, Actor& a) {
  a.x = fx_raw(std::int64_t{a.x.raw} + a.vx.raw);
  a.z = fx_raw(std::int64_t{a.z.raw} + a.vz.raw);
  if (a.y.raw <= 0 && a.vy.raw <= 0) return;
  a.y = fx_raw(std::int64_t{a.y.raw} + a.vy.raw);
  a.vy = fx_raw(std::int64_t{a.vy.raw} - gravity);
  if (a.y.raw > 0) return;
  a.y = Fx{};
  a.vy = Fx{};
  if (a.state == ActorState::fall) {
    a.state = ActorState::down;
    a.state_ticks = 0;
    a.vx = Fx{};
    a.vz = Fx{};
    a.juggle = 0;
    world.events.push_back(Event::of_actor(EventKind::down, a.id));
  } else if (a.state == ActorState::jump || (a.state == ActorState::attack && move_def(a.move).air)) {
    to_idle(a);
    world.events.push_back(Event::of_actor(EventKind::land, a.id));
  }
}

void apply_friction(Actor& a) {
  if (a.state != ActorState::block && a.state != ActorState::stun && a.state != ActorState::down) return;
  const std::int64_t v = a.vx.raw;
  if (std::abs(v) <= friction) {
    a.vx = Fx{};
  } else {
    a.vx = fx_raw(v > 0 ? v - friction : v + friction);
  }
}

}  // namespace

bool spend_stamina(Actor& actor, std::int32_t cost) {
  const std::int64_t loss = mul(cost, fatigue_scale(actor)) / 100;
  const std::int64_t left = std::int64_t{actor.sta} - loss;
  actor.sta = saturate_i32(std::max<std::int64_t>(0, left));
  actor.stamina_delay = stamina_pause;
  if (left < 1 && actor.winded == 0) {
    actor.winded = 1;
    return true;
  }
  return false;
}

void start_move(Actor& actor, std::uint8_t move) {
  const MoveDef& m = move_def(move);
  actor.item_in_use.reset();
  actor.state = ActorState::attack;
  actor.move = move;
  actor.state_ticks = 0;
  actor.chain_queued = 0;
  actor.hit_list.clear();
  std::int64_t cost = m.fp;
  if (m.spell) {
    const std::int64_t from_mana = std::max<std::int64_t>(0, std::min<std::int64_t>(actor.mana, cost));
    actor.mana = saturate_i32(actor.mana - from_mana);
    cost -= from_mana;
  }
  actor.fp = saturate_i32(actor.fp - cost);
  spend_stamina(actor, m.stamina);
  if (!m.air) actor.vx = Fx{};
  actor.vz = Fx{};
}

void cycle_quick_item(Actor& actor, int step) {
  const ConsumableList list = bag_consumables(actor.bag);
  if (list.empty()) {
    actor.quick.reset();
    return;
  }
  const auto len = static_cast<std::int64_t>(list.size());
  const std::int64_t at = static_cast<std::int64_t>(position_in(list, actor.quick)) + step;
  actor.quick = list[static_cast<std::size_t>(((at % len) + len) % len)];
}

void to_idle(Actor& actor) {
  actor.vanish_strike = 0;
  actor.state = ActorState::idle;
  actor.state_ticks = 0;
  actor.vx = Fx{};
  actor.vz = Fx{};
}

std::int64_t carried_weight(const Actor& actor) {
  std::int64_t w = 0;
  for (const auto& worn : actor.gear) {
    if (worn) w += item_def(*worn).weight;
  }
  for (std::uint16_t item : actor.bag) w += item_def(item).weight;
  return w;
}

std::int32_t encumbrance_level(const Actor& actor) {
  const std::int64_t w = carried_weight(actor);
  const std::int64_t basic_lift = mul(2, mul(actor.st, actor.st));
  if (w <= basic_lift) return 5;
  if (w <= mul(2, basic_lift)) return 4;
  if (w <= mul(3, basic_lift)) return 3;
  if (w <= mul(6, basic_lift)) return 2;
  return 1;
}

std::int32_t encumbrance_penalty(const Actor& actor) { return encumbrance_level(actor) - 5; }

void closed_barriers(const World& world, std::vector<std::int32_t>& out) {
  out.clear();
  const StageDef& stage = world.stage();
  for (std::int32_t bx : stage.barriers) {
    bool open = false;
    for (std::size_t i = 0; i < stage.levers.size() && i < world.levers_pulled.size(); ++i) {
      if (world.levers_pulled[i] != 0 && stage.levers[i].barrier_x == bx) open = true;
    }
    if (!open) out.push_back(bx);
  }
}

void actor_step(World& world, std::size_t index, Buttons buttons, std::int8_t ai_facing) {
  Step s{world, index, buttons, 0, ai_facing};
  Actor& a = s.actor();
  const bool was_winded = a.winded != 0;
  s.pressed = static_cast<Buttons>(buttons & ~a.prev_buttons);
  const bool use_fresh = is_player(a) && s.fresh(button::use) && idle_or_walk(a);
  a.prev_buttons = buttons;
  a.invuln = count_down(a.invuln);
  a.guard_cooldown = count_down(a.guard_cooldown);
  a.ward_ticks = count_down(a.ward_ticks);
  if (is_player(a)) select_items_and_special(s);
  regenerate_fp(a, world.fighting != 0);
  regenerate_mana(a, world.fighting != 0);
  regenerate_stamina(a);
  s.can_act = a.winded == 0 && a.sta > 0;
  s.dash_ok = s.fresh(button::dash) && s.can_act && (kind_by_id(a.kind).dash || !is_player(a));
  apply_cancels(s);
  state_handler(s);
  break_vanish(s.actor());
  if (use_fresh && idle_or_walk(s.actor())) interact(world, index);
  const Actor& w = s.actor();
  if (w.state == ActorState::work && w.state_ticks >= w.work_ticks) finish_work(world, index);
  const Actor& now = s.actor();
  if (!was_winded && now.winded != 0 && !winded_noted(world, now.id)) note_winded(s);
}

void move_actor(World& world, std::size_t index, std::span<const std::int32_t> barriers) {
  Actor& a = world.actors[index];
  const std::int64_t start_x = a.x.raw;
  integrate(world, a);
  apply_friction(a);
  const StageDef& stage = world.stage();
  a.z = fx_raw(clamp_value<std::int64_t>(a.z.raw, 0, mul(stage.depth, cm)));
  a.x = fx_raw(clamp_value<std::int64_t>(a.x.raw, 0, mul(stage.length, cm)));
  for (std::int32_t bx : barriers) {
    const std::int64_t at = mul(bx, cm);
    if (start_x > at) {
      a.x = fx_raw(std::max<std::int64_t>(a.x.raw, mul(std::int64_t{bx} + barrier_gap_cm, cm)));
    } else {
      a.x = fx_raw(std::min<std::int64_t>(a.x.raw, mul(std::int64_t{bx} - barrier_gap_cm, cm)));
    }
  }
  if (is_player(a)) {
    const std::int64_t half = mul(std::int64_t{world.view_w} / 2 - screen_margin_cm, cm);
    const std::int64_t camera = world.camera_x.raw;
    a.x = fx_raw(clamp_value<std::int64_t>(a.x.raw, camera - half, camera + half));
  }
}

}  // namespace velmora
