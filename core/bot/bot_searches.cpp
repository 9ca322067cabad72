#include "core/bot/bot_searches.h"

#include <cstdlib>
#include <limits>

#include "core/world/actor.h"

namespace velmora {

namespace {

constexpr std::int64_t near_dx = 149;
constexpr std::int64_t near_dz = 59;
constexpr std::int64_t margin_inset = 60;
constexpr std::int64_t shooter_reach = 449;
constexpr std::int64_t lane_dz = 15;
constexpr std::int64_t lane_min = 150;
constexpr std::int64_t lane_short = 50;  // a shot is aimed this far inside its range
constexpr std::int64_t danger_dx = 149;
constexpr std::int64_t target_far = 151;  // from here the focus may pick another target
constexpr std::int64_t trap_guard_dx = 119;  // a seen trap this close keeps the bot off a pickup or barrel
constexpr std::int64_t trap_guard_dz = 139;

std::int64_t abs64(std::int64_t v) { return v < 0 ? -v : v; }

std::int64_t distance(FloorPoint a, FloorPoint b) { return abs64(a.x - b.x) + abs64(a.z - b.z); }

bool in_radius(FloorPoint centre, FloorPoint p, std::int64_t radius) {
  const std::int64_t dx = p.x - centre.x;
  const std::int64_t dz = p.z - centre.z;
  const std::int64_t r = abs64(radius);
  return dx * dx + dz * dz <= r * r;
}

bool is_state(const Actor& a, ActorState s) { return a.state == s; }

bool lying(const Actor& a) { return is_state(a, ActorState::down) || is_state(a, ActorState::getup); }

// The index of the best actor by a measure among those that pass a test;
// the first (lowest id) of equals wins.
template <class Keep, class Measure>
std::optional<std::size_t> lowest(const World& world, Keep keep, Measure measure) {
  std::optional<std::size_t> best;
  std::int64_t best_value = std::numeric_limits<std::int64_t>::max();
  std::uint16_t best_id = 0;
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    const Actor& a = world.actors[i];
    if (!keep(a)) continue;
    const std::int64_t value = measure(a);
    if (!best || value < best_value || (value == best_value && a.id < best_id)) {
      best = i;
      best_value = value;
      best_id = a.id;
    }
  }
  return best;
}

template <class Keep>
std::int64_t count(const World& world, Keep keep) {
  std::int64_t n = 0;
  for (const Actor& a : world.actors) n += keep(a) ? 1 : 0;
  return n;
}

// No seen trap of the stage lies within the guard box around (x, z).
bool clear_of_seen_traps(const World& world, FloorPoint p) {
  const std::vector<TrapDef>& traps = world.stage().traps;
  for (std::size_t i = 0; i < traps.size() && i < world.trap_states.size(); ++i) {
    if (world.trap_states[i].state != trap_seen) continue;
    if (abs64(traps[i].x - p.x) <= trap_guard_dx && abs64(traps[i].z - p.z) <= trap_guard_dz) return false;
  }
  return true;
}

bool in_margin(const BotView& view, Fx x) { return abs64(x.floor_int() - view.camera_x) <= view.margin; }

bool wanted(const BotView& view, const PickupContent& content) {
  switch (content.tag) {
    case PickupTag::food: return view.bot.hp < view.bot.hp_max;
    case PickupTag::silver: return true;
    case PickupTag::item: return false;
  }
  return false;
}

// The lever ahead of the bot that still closes a barrier.
std::optional<std::size_t> lever_to_pull(const World& world, std::int64_t bot_x) {
  const std::vector<LeverDef>& levers = world.stage().levers;
  const std::size_t n = std::min(levers.size(), world.levers_pulled.size());
  auto opened_by_another = [&](std::int32_t barrier_x) {
    for (std::size_t j = 0; j < n; ++j) {
      if (world.levers_pulled[j] == 1 && levers[j].barrier_x == barrier_x) return true;
    }
    return false;
  };
  for (std::size_t i = 0; i < n; ++i) {
    if (world.levers_pulled[i] != 0 || levers[i].barrier_x <= bot_x) continue;
    if (!opened_by_another(levers[i].barrier_x)) return i;
  }
  return std::nullopt;
}

bool remembered(const World& world, std::uint64_t stage) {
  return stage < world.stage_memory.size() && world.stage_memory[stage].has_value();
}

// A stage not yet seen beats one the party has been to, then the nearer end
// of the stage, then the list order. Secret passages count once found.
std::optional<std::size_t> best_door(const World& world) {
  const std::vector<DoorDef>& doors = world.stage().doors;
  std::optional<std::size_t> best;
  for (std::size_t i = 0; i < doors.size(); ++i) {
    const bool found = i < world.door_states.size() && world.door_states[i].found != 0;
    if (doors[i].secret && !found) continue;
    if (!best) {
      best = i;
      continue;
    }
    const DoorDef& b = doors[*best];
    const bool fresh = !remembered(world, doors[i].area);
    const bool best_fresh = !remembered(world, b.area);
    if ((fresh && !best_fresh) || (fresh == best_fresh && doors[i].x < b.x)) best = i;
  }
  return best;
}

}  // namespace

FloorPoint floor_point(const Actor& actor) { return FloorPoint{actor.x.floor_int(), actor.z.floor_int()}; }

BotView::BotView(const World& w, const Actor& b)
    : world(w),
      bot(b),
      at(floor_point(b)),
      camera_x(w.camera_x.floor_int()),
      half_view(w.view_w / 2),
      margin(w.view_w / 2 - margin_inset) {
  near = count(world, [&](const Actor& a) {
    const FloorPoint p = floor_point(a);
    return in_set(*this, a, FoeSet::foes) && abs64(p.x - at.x) <= near_dx && abs64(p.z - at.z) <= near_dz;
  });
}

bool in_set(const BotView& view, const Actor& a, FoeSet set) {
  switch (set) {
    case FoeSet::foes: return a.team != 0 && a.live();
    case FoeSet::candidates: return in_set(view, a, FoeSet::foes) && !lying(a);
    case FoeSet::on_screen:
      return in_set(view, a, FoeSet::foes) && abs64(a.x.floor_int() - view.camera_x) <= view.half_view;
    case FoeSet::standing:
      return in_set(view, a, FoeSet::on_screen) && !lying(a) && !is_state(a, ActorState::fall);
    case FoeSet::common: {
      if (!in_set(view, a, FoeSet::standing)) return false;
      const KindDef& k = kind_by_id(a.kind);
      return !k.boss && !k.elite;
    }
  }
  return false;
}

bool targetable(const Actor& a) {
  if (!a.live() || lying(a) || a.invuln != 0) return false;
  return !(is_state(a, ActorState::fall) && a.juggle >= 2);
}

bool live_player(const Actor& a) { return a.team == 0 && a.live(); }

std::optional<std::size_t> nearest_by_distance(const BotView& view, FoeSet set, FloorPoint from) {
  return lowest(
      view.world, [&](const Actor& a) { return in_set(view, a, set); },
      [&](const Actor& a) { return distance(floor_point(a), from); });
}

std::optional<std::size_t> weakest_ally(const BotView& view) {
  return lowest(
      view.world,
      [&](const Actor& a) {
        return live_player(a) && a.id != view.bot.id && 2 * std::int64_t{a.hp} < a.hp_max;
      },
      [](const Actor& a) { return 100 * std::int64_t{a.hp} / std::max<std::int64_t>(a.hp_max, 1); });
}

std::optional<std::size_t> nearest_shooter(const BotView& view) {
  return lowest(
      view.world,
      [&](const Actor& a) {
        if (!in_set(view, a, FoeSet::candidates)) return false;
        const AiRole role = kind_by_id(a.kind).role;
        if (role != AiRole::ranged && role != AiRole::caster) return false;
        return abs64(a.x.floor_int() - view.camera_x) <= view.half_view &&
               distance(floor_point(a), view.at) <= shooter_reach;
      },
      [&](const Actor& a) { return distance(floor_point(a), view.at); });
}

std::optional<std::size_t> nearest_in_band(const BotView& view, std::int64_t depth) {
  const std::int64_t band = depth <= 20 ? 40 : depth + 20;
  return lowest(
      view.world,
      [&](const Actor& a) { return in_set(view, a, FoeSet::foes) && abs64(a.z.floor_int() - view.at.z) <= band; },
      [&](const Actor& a) { return abs64(a.x.floor_int() - view.at.x); });
}

std::optional<std::size_t> nearest_in_depth(const BotView& view, std::int64_t depth) {
  return lowest(
      view.world,
      [&](const Actor& a) {
        return in_set(view, a, FoeSet::on_screen) && abs64(a.z.floor_int() - view.at.z) <= depth + 10;
      },
      [&](const Actor& a) { return abs64(a.x.floor_int() - view.at.x); });
}

std::optional<std::size_t> nearest_in_lane(const BotView& view, std::int64_t range) {
  return lowest(
      view.world,
      [&](const Actor& a) {
        if (!in_set(view, a, FoeSet::on_screen) || !targetable(a)) return false;
        const std::int64_t dx = abs64(a.x.floor_int() - view.at.x);
        return abs64(a.z.floor_int() - view.at.z) <= lane_dz && dx >= lane_min && dx <= range - lane_short;
      },
      [&](const Actor& a) { return abs64(a.x.floor_int() - view.at.x); });
}

std::int64_t count_in_line(const BotView& view, int dir, std::int64_t reach, std::int64_t depth) {
  return count(view.world, [&](const Actor& a) {
    if (!in_set(view, a, FoeSet::on_screen) || !targetable(a)) return false;
    const std::int64_t ahead = (a.x.floor_int() - view.at.x) * dir;
    return ahead > 0 && ahead <= reach && abs64(a.z.floor_int() - view.at.z) <= depth + 10;
  });
}

std::int64_t count_targetable_in_radius(const BotView& view, std::int64_t radius) {
  return count(view.world, [&](const Actor& a) {
    return in_set(view, a, FoeSet::on_screen) && targetable(a) && in_radius(view.at, floor_point(a), radius);
  });
}

std::int64_t count_in_radius(const BotView& view, FloorPoint centre, std::int64_t radius) {
  return count(view.world, [&](const Actor& a) {
    return in_set(view, a, FoeSet::on_screen) && in_radius(centre, floor_point(a), radius);
  });
}

std::int64_t count_undead(const BotView& view) {
  return count(view.world, [&](const Actor& a) {
    return in_set(view, a, FoeSet::on_screen) && targetable(a) && kind_by_id(a.kind).undead;
  });
}

bool ally_in_danger(const BotView& view) {
  for (const Actor& p : view.world.actors) {
    if (!live_player(p) || p.id == view.bot.id || 5 * std::int64_t{p.hp} >= 2 * std::int64_t{p.hp_max}) continue;
    const bool pressed = count(view.world, [&](const Actor& a) {
                           return in_set(view, a, FoeSet::on_screen) &&
                                  abs64(a.x.floor_int() - p.x.floor_int()) <= danger_dx;
                         }) > 0;
    if (pressed) return true;
  }
  return false;
}

bool wounded_boss(const BotView& view) {
  return count(view.world, [&](const Actor& a) {
           return in_set(view, a, FoeSet::on_screen) && kind_by_id(a.kind).boss &&
                  2 * std::int64_t{a.hp} < a.hp_max;
         }) > 0;
}

std::optional<std::size_t> safe_pickup(const BotView& view) {
  const std::vector<Pickup>& pickups = view.world.pickups;
  for (std::size_t i = 0; i < pickups.size(); ++i) {
    const Pickup& p = pickups[i];
    if (p.taken != 0 || !in_margin(view, p.x) || !wanted(view, p.content)) continue;
    if (clear_of_seen_traps(view.world, FloorPoint{p.x.floor_int(), p.z.floor_int()})) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> safe_prop(const BotView& view) {
  const std::vector<Prop>& props = view.world.props;
  for (std::size_t i = 0; i < props.size(); ++i) {
    const Prop& p = props[i];
    if (p.broken != 0 || !in_margin(view, p.x)) continue;
    if (clear_of_seen_traps(view.world, FloorPoint{p.x.floor_int(), p.z.floor_int()})) return i;
  }
  return std::nullopt;
}

std::optional<std::size_t> choose_target(const BotView& view) {
  const auto nearest = nearest_by_distance(view, FoeSet::candidates, view.at);
  if (nearest && distance(floor_point(view.world.actors[*nearest]), view.at) < target_far) return nearest;
  const FocusKind focus = kind_by_id(view.bot.kind).focus;
  if (focus == FocusKind::vanguard || focus == FocusKind::shepherd) {
    if (const auto weakest = weakest_ally(view)) {
      return nearest_by_distance(view, FoeSet::candidates, floor_point(view.world.actors[*weakest]));
    }
  }
  if (focus == FocusKind::assassin) {
    if (const auto shooter = nearest_shooter(view)) return shooter;
  }
  return nearest;
}

TravelGoal travel_goal(const World& world, std::int64_t bot_x) {
  const StageDef& stage = world.stage();
  const FloorPoint far_end{stage.length, stage.depth / 2};
  if (const auto lever = lever_to_pull(world, bot_x)) {
    const LeverDef& l = stage.levers[*lever];
    return TravelGoal{FloorPoint{l.x, l.z}, true};
  }
  if (stage.exit_x > 0) return TravelGoal{far_end, false};
  if (const auto door = best_door(world)) {
    const DoorDef& d = stage.doors[*door];
    return TravelGoal{FloorPoint{d.x, d.z}, true};
  }
  return TravelGoal{far_end, false};
}

}  // namespace velmora
