#include "core/bot/bot.h"

#include <algorithm>
#include <optional>

#include "core/base/clamp.h"
#include "core/bot/bot_arts.h"
#include "core/bot/bot_searches.h"
#include "core/rules/combat.h"
#include "core/world/actor.h"

namespace velmora {

namespace {

using Word = std::optional<Buttons>;  // none: the step did not decide

constexpr std::int64_t blow_reach_slack = 40;  // a blow is watched this far past its reach
constexpr std::int64_t blow_depth_slack = 30;
constexpr std::int64_t dodge_lead = 10;  // a dodge goes this many frames before the blow
constexpr std::int64_t dash_lead = 8;    // a bot that cannot guard dashes away this late
constexpr std::int64_t shot_reach = 160;
constexpr std::int64_t shot_depth = 40;
constexpr std::int64_t partner_dx = 199;
constexpr std::int64_t close_gap = 75;  // where the bot stands from its target
constexpr std::int64_t artillery_gap = 330;
constexpr std::int64_t prop_gap = 70;
constexpr std::int64_t window_dz = 20;  // the attack window
constexpr std::int64_t window_min = 30;
constexpr std::int64_t window_max = 115;
constexpr std::int64_t use_dx = 50;  // close enough to a lever or door to use it
constexpr std::int64_t use_dz = 30;
constexpr std::int64_t trap_dx = 119;  // a seen trap this close moves the goal line
constexpr std::int64_t trap_dz = 59;
constexpr std::int64_t trap_step = 80;
constexpr std::int64_t walk_dead_x = 10;  // walking stops this close to the goal
constexpr std::int64_t walk_dead_z = 8;

std::int64_t abs64(std::int64_t v) { return v < 0 ? -v : v; }

bool even_tick(const World& world) { return world.tick % 2 == 0; }

bool idle_or_walking(const Actor& a) { return a.state == ActorState::idle || a.state == ActorState::walk; }

// 2 (right) toward a point at or right of x, else 1 (left).
Buttons toward(std::int64_t x, std::int64_t to) { return to >= x ? button::right : button::left; }

// The first actor of the slot that has not left.
const Actor* slot_actor(const World& world, std::size_t slot) {
  for (const Actor& a : world.actors) {
    if (a.team == 0 && a.gone == 0 && a.slot == slot) return &a;
  }
  return nullptr;
}

// ---------------------------------------------------------------------------
// Guards

// The price of a guard against the foe's move as the hit rules reckon it,
// with the foe's strength and the move's own modifier (no weapon).
std::int64_t guard_price(const Actor& foe, const MoveDef& m, const Actor& bot, const KindDef& bot_kind) {
  const StDamage& row = st_damage_table[static_cast<std::size_t>(clamp_value(foe.st, 1, 20) - 1)];
  std::int64_t dice = m.damage_dice;
  std::int64_t add = 0;
  if (m.damage_base == DamageBase::thrust) {
    dice = row.thrust_dice;
    add = row.thrust_add;
  } else if (m.damage_base == DamageBase::swing) {
    dice = row.swing_dice;
    add = row.swing_add;
  }
  const std::int64_t adds = add + m.damage_add;
  const std::int64_t mean = (35 * dice + 10 * adds + 5) / 10;
  const std::int64_t p = mean - std::int64_t{total_dr(bot)} / std::max<std::int64_t>(1, m.armor_divisor);
  std::int64_t injury = 1;
  if (m.damage_type == DamageType::impaling && bot_kind.undead) {
    injury = std::max<std::int64_t>(1, p);
  } else if (p >= 1) {
    injury = std::max<std::int64_t>(1, saturating_mul64(p, wound_factor_halves(m.damage_type)) / 2);
  }
  return std::max<std::int64_t>(1, saturating_add64(saturating_mul64(injury, bot_kind.guard_cost), 99) / 100);
}

bool can_pay(GuardKind guard, const Actor& bot, std::int64_t cost) {
  switch (guard) {
    case GuardKind::shield:
    case GuardKind::dodge: return true;
    case GuardKind::ward: return bot.fp >= cost;
    case GuardKind::bubble: return 2 * std::int64_t{bot.mana} >= cost;
  }
  return false;
}

bool dodge_ready(const Actor& bot) {
  return (bot.prev_buttons & button::guard) == 0 && bot.winded == 0 && bot.sta > 0;
}

// Whether a press of guard raises the guard now; a bubble held up counts.
bool guard_ready(GuardKind guard, const Actor& bot, bool held_bubble_counts) {
  switch (guard) {
    case GuardKind::shield: return true;
    case GuardKind::ward: return bot.guard_cooldown == 0 && bot.fp >= 2;
    case GuardKind::bubble: return bot.mana >= 2 || (held_bubble_counts && bot.state == ActorState::block);
    case GuardKind::dodge: return dodge_ready(bot) && bot.state != ActorState::dodge;
  }
  return false;
}

// The foe winds up a blow at the bot that is not active yet.
bool blow_coming(const BotView& view, const Actor& foe) {
  if (foe.state != ActorState::attack) return false;
  const MoveDef& m = move_def(foe.move);
  const FloorPoint f = floor_point(foe);
  const bool facing = foe.facing > 0 ? view.at.x > f.x : view.at.x <= f.x;
  return facing && foe.state_ticks < m.startup && abs64(view.at.x - f.x) <= m.forward.to + blow_reach_slack &&
         abs64(view.at.z - f.z) <= m.depth + blow_depth_slack;
}

// The answer to one blow coming; none passes the foe over.
Word answer_blow(const BotView& view, const Actor& foe) {
  const Actor& bot = view.bot;
  if (bot.state == ActorState::attack) return Buttons{0};
  const KindDef& kind = kind_by_id(bot.kind);
  const MoveDef& m = move_def(foe.move);
  const bool paid = can_pay(kind.guard, bot, guard_price(foe, m, bot, kind));
  const std::int64_t frames_left = std::int64_t{m.startup} - foe.state_ticks;
  if (kind.guard == GuardKind::dodge && frames_left > dodge_lead) return Buttons{0};
  const bool moving = idle_or_walking(bot);
  const std::int64_t fx = foe.x.floor_int();
  if (paid || !moving) {
    if (!guard_ready(kind.guard, bot, true)) return std::nullopt;
    const bool faces = bot.facing > 0 ? fx > view.at.x : fx < view.at.x;
    if (fx == view.at.x || faces || !moving || kind.guard == GuardKind::bubble) return button::guard;
    return toward(view.at.x, fx);
  }
  Buttons word = view.at.x >= fx ? button::right : button::left;
  if (frames_left <= dash_lead && bot.sta > 0 && bot.winded == 0) word |= button::dash;
  return word;
}

Word guard_against_blows(const BotView& view) {
  for (const Actor& foe : view.world.actors) {
    if (!in_set(view, foe, FoeSet::foes) || !blow_coming(view, foe)) continue;
    if (const Word word = answer_blow(view, foe)) return word;
  }
  return std::nullopt;
}

// The first shot of another side flying at the bot.
const Projectile* shot_coming(const BotView& view) {
  for (const Projectile& p : view.world.projectiles) {
    if (p.team == view.bot.team) continue;
    const std::int64_t ahead = (view.at.x - p.x.floor_int()) * p.facing;
    if (ahead >= 0 && ahead <= shot_reach && abs64(view.at.z - p.z.floor_int()) <= shot_depth) return &p;
  }
  return nullptr;
}

Word guard_against_shots(const BotView& view) {
  if (shot_coming(view) == nullptr || !idle_or_walking(view.bot)) return std::nullopt;
  if (!guard_ready(kind_by_id(view.bot.kind).guard, view.bot, false)) return std::nullopt;
  return button::guard;
}

// ---------------------------------------------------------------------------
// Specials

// The bot looks at x: facing right with x at or past it, or left with x before it.
bool aimed_at(const Actor& bot, std::int64_t bot_x, std::int64_t x) {
  return (bot.facing == 1 && x >= bot_x) || (bot.facing == -1 && x < bot_x);
}

Word use_special(const BotView& view) {
  const KindDef& kind = kind_by_id(view.bot.kind);
  if (!idle_or_walking(view.bot) || !even_tick(view.world) || kind.special.empty()) return std::nullopt;
  const auto choice = choose_special(view);
  if (!choice) return std::nullopt;
  const MoveDef& m = move_def(kind.special[*choice]);
  if (aims_before_special(m)) {
    if (const auto foe = nearest_in_band(view, m.depth)) {
      const std::int64_t fx = view.world.actors[*foe].x.floor_int();
      if (!aimed_at(view.bot, view.at.x, fx)) return toward(view.at.x, fx);
    }
  }
  return static_cast<Buttons>(button::special + (*choice + 1) * (1u << button::art_shift));
}

// ---------------------------------------------------------------------------
// Targets, goals and the way there

bool has_partner(const BotView& view, std::int64_t tx) {
  for (const Actor& a : view.world.actors) {
    if (live_player(a) && a.id != view.bot.id && abs64(a.x.floor_int() - tx) <= partner_dx) return true;
  }
  return false;
}

// Seen traps near the bot move the goal line off them, toward mid depth.
std::int64_t clear_of_traps(const World& world, std::int64_t bot_x, std::int64_t gz) {
  const StageDef& stage = world.stage();
  for (std::size_t i = 0; i < stage.traps.size() && i < world.trap_states.size(); ++i) {
    if (world.trap_states[i].state != trap_seen) continue;
    const TrapDef& t = stage.traps[i];
    if (abs64(t.x - bot_x) > trap_dx || abs64(t.z - gz) > trap_dz) continue;
    gz = t.z <= stage.depth / 2 ? std::int64_t{t.z} + trap_step : std::int64_t{t.z} - trap_step;
  }
  return gz;
}

Buttons walk_to(const BotView& view, FloorPoint goal) {
  const std::int64_t dx = goal.x - view.at.x;
  const std::int64_t dz = goal.z - view.at.z;
  Buttons word = 0;
  if (dx > walk_dead_x) word |= button::right;
  if (dx < -walk_dead_x) word |= button::left;
  if (dz < -walk_dead_z) word |= button::up;
  if (dz > walk_dead_z) word |= button::down;
  return word;
}

// Strikes on even ticks once in the window, turning first when needed.
Buttons attack_or_walk(const BotView& view, FloorPoint goal, std::int64_t tx) {
  const std::int64_t gap = abs64(tx - view.at.x);
  if (abs64(goal.z - view.at.z) > window_dz || gap < window_min || gap > window_max) return walk_to(view, goal);
  const Actor& bot = view.bot;
  const bool faces = (tx > view.at.x && bot.facing > 0) || (tx < view.at.x && bot.facing <= 0);
  if (faces || !idle_or_walking(bot)) return even_tick(view.world) ? button::attack : Buttons{0};
  return tx > view.at.x ? button::right : button::left;
}

Buttons fight(const BotView& view, const Actor& target) {
  const FloorPoint t = floor_point(target);
  const std::int64_t side = view.at.x > t.x ? 1 : -1;
  std::int64_t gx = t.x + close_gap * side;
  bool strikes = true;
  switch (kind_by_id(view.bot.kind).focus) {
    case FocusKind::assassin: {
      const std::int64_t sign = (t.x > view.at.x) - (t.x < view.at.x);
      if (has_partner(view, t.x) && target.facing != sign) gx = t.x - close_gap * target.facing;
      break;
    }
    case FocusKind::artillery:
      if (view.near == 0 && has_partner(view, t.x)) {
        gx = t.x + artillery_gap * side;
        strikes = false;
      }
      break;
    case FocusKind::plain:
    case FocusKind::vanguard:
    case FocusKind::shepherd: break;
  }
  const FloorPoint goal{gx, clear_of_traps(view.world, view.at.x, t.z)};
  return strikes ? attack_or_walk(view, goal, t.x) : walk_to(view, goal);
}

// With no foe left: food and silver, barrels, then the way on.
Buttons explore(const BotView& view) {
  const World& world = view.world;
  if (const auto pickup = safe_pickup(view)) {
    const FloorPoint p{world.pickups[*pickup].x.floor_int(), world.pickups[*pickup].z.floor_int()};
    return walk_to(view, FloorPoint{p.x, clear_of_traps(world, view.at.x, p.z)});
  }
  if (const auto prop = safe_prop(view)) {
    const FloorPoint p{world.props[*prop].x.floor_int(), world.props[*prop].z.floor_int()};
    const std::int64_t gx = view.at.x <= p.x ? p.x - prop_gap : p.x + prop_gap;
    return attack_or_walk(view, FloorPoint{gx, clear_of_traps(world, view.at.x, p.z)}, p.x);
  }
  const TravelGoal goal = travel_goal(world, view.at.x);
  if (goal.use && abs64(goal.at.x - view.at.x) <= use_dx && abs64(goal.at.z - view.at.z) <= use_dz) {
    return even_tick(world) ? button::use : Buttons{0};
  }
  return walk_to(view, FloorPoint{goal.at.x, clear_of_traps(world, view.at.x, goal.at.z)});
}

}  // namespace

Buttons bot_input(const World& world, std::size_t slot) {
  const Actor* bot = slot_actor(world, slot);
  if (bot == nullptr || bot->state == ActorState::ko) return 0;
  const BotView view(world, *bot);
  if (const Word word = guard_against_blows(view)) return *word;
  if (const Word word = guard_against_shots(view)) return *word;
  if (bot->state == ActorState::block || bot->winded != 0) return 0;
  if (const Word word = use_special(view)) return *word;
  if (const auto target = choose_target(view)) return fight(view, world.actors[*target]);
  return explore(view);
}

}  // namespace velmora
