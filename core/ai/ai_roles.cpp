#include "core/ai/ai_roles.h"

#include <optional>

#include "core/base/clamp.h"
#include "core/base/rng.h"

namespace velmora {

namespace {

using i64 = std::int64_t;

// The brute.
constexpr i64 brute_hang_back_cm = 300;     // plus 40 per (id mod 3)
constexpr i64 brute_hang_back_step_cm = 40;
constexpr i64 brute_side_cm = 90;           // across the band from the target while waiting
constexpr i64 charge_max_dz_cm = 60;
constexpr i64 charge_min_dx_cm = 400;
constexpr std::int32_t charge_chance = 300;  // per mille

// The guard.
constexpr i64 guard_offset_cm = 110;  // beside the one it shields, toward the threat

// The skirmisher.
constexpr i64 flee_cm = 400;
constexpr i64 flee_side_cm = 150;
constexpr i64 cornered_cm = 39;  // a flight clamped this near to its own x turns to fight
constexpr i64 circle_cm = 360;
constexpr i64 circle_side_cm = 110;
constexpr i64 hang_back_extra_cm = 170;
constexpr i64 hang_back_side_cm = 70;
constexpr i64 flank_side_cm = 60;

// Shooters.
constexpr i64 crowd_dx_cm = 150;
constexpr i64 crowd_dz_cm = 60;
constexpr i64 escape_cm = 200;
constexpr std::uint16_t retreat_ticks = 150;
constexpr i64 unarmed_extra_cm = 100;
constexpr i64 sidestep_cm = 130;
constexpr i64 sidestep_max_dz_cm = 49;
constexpr i64 fire_max_dz_cm = 20;
constexpr i64 fire_near_slack_cm = 120;
constexpr i64 fire_range_slack_cm = 40;
constexpr i64 settled_cm = 40;  // a shooter this far from its goal is still walking there

// Every role.
constexpr i64 reach_margin_cm = 10;  // the light move is used 10 cm inside its reach
constexpr i64 view_margin_cm = 100;  // goals stay this far inside the screen edges

i64 cm(Fx v) { return v.floor_int(); }
i64 magnitude(i64 v) { return v < 0 ? -v : v; }
i64 toward(i64 dx) { return dx < 0 ? -1 : 1; }
i64 sign(i64 v) { return v > 0 ? 1 : v < 0 ? -1 : 0; }

bool busy_state(ActorState s) { return s == ActorState::fall || s == ActorState::down || s == ActorState::getup; }

// The light move's reach, FROM..TO along the stage and its depth across.
// A kind without a light move reaches nothing.
struct Reach {
  i64 from = 0;
  i64 to = 0;
  i64 depth = 0;

  i64 mean() const { return (from + to) / 2; }
  bool holds(i64 dx, i64 dz) const {
    const i64 ax = magnitude(dx);
    return from <= ax && ax <= to - reach_margin_cm && magnitude(dz) <= depth;
  }
};

Reach light_reach(const KindDef& kind) {
  if (!kind.light) return Reach{0, 0, -1};
  const MoveDef& m = move_def(*kind.light);
  return Reach{m.forward.from, m.forward.to, m.depth};
}

// Goal x range: the screen less a margin on each side. Below the range gives
// its low end, above it its high end (also when a narrow view empties it).
struct ViewWindow {
  i64 low = 0;
  i64 high = 0;

  i64 clamp(i64 v) const {
    if (v < low) return low;
    if (v > high) return high;
    return v;
  }
  bool contains(i64 v) const { return low <= v && v <= high; }
};

ViewWindow view_window(const World& world) {
  const i64 centre = cm(world.camera_x);
  const i64 half = i64{world.view_w} / 2 - view_margin_cm;
  return ViewWindow{centre - half, centre + half};
}

i64 floor_band(i64 z, i64 depth) {
  if (z < 0) return 0;
  if (z > depth) return depth;
  return z;
}

// What every role works out first about itself and its target.
struct Scene {
  i64 x = 0, z = 0;
  i64 dx = 0, dz = 0;  // target minus self
  i64 toward = 1;      // -1 when the target is to the left
  i64 away = -1;
  i64 side = 1;        // -1 for an odd actor id, +1 for an even one
  i64 depth = 0;       // the stage's
  Reach reach;
  ViewWindow view;

  bool in_reach() const { return reach.holds(dx, dz); }
};

Scene scene_of(const World& world, const Actor& a, const AiTarget& t) {
  Scene s;
  s.x = cm(a.x);
  s.z = cm(a.z);
  s.dx = i64{t.x} - s.x;
  s.dz = i64{t.z} - s.z;
  s.toward = toward(s.dx);
  s.away = -s.toward;
  s.side = a.id % 2 != 0 ? -1 : 1;
  s.depth = world.stage().depth;
  s.reach = light_reach(kind_by_id(a.kind));
  s.view = view_window(world);
  return s;
}

AiSteer walk_to(i64 goal_x, i64 goal_z, Buttons buttons, i64 facing) {
  return AiSteer{1, saturate_i32(goal_x), saturate_i32(goal_z), buttons, static_cast<std::int8_t>(facing)};
}

// The nearest actor to (x, z) by |dx| + |dz| among those `pick` accepts;
// ties go to the lower id.
template <class Pick>
std::optional<std::size_t> nearest_to(const World& world, i64 x, i64 z, Pick pick) {
  std::optional<std::size_t> best;
  i64 best_distance = 0;
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    const Actor& c = world.actors[i];
    if (!pick(i, c)) continue;
    const i64 d = magnitude(cm(c.x) - x) + magnitude(cm(c.z) - z);
    if (!best || d < best_distance || (d == best_distance && c.id < world.actors[*best].id)) {
      best = i;
      best_distance = d;
    }
  }
  return best;
}

bool sighted_player(const Actor& a) { return a.team == 0 && a.live() && a.stealth == 0; }

// ---------------------------------------------------------------------------
// Brute

// Attacks in reach while its cooldown has run out; from afar and in line it
// may charge with its special instead (and then does nothing on a failed roll).
Buttons brute_buttons(World& world, const Actor& a, const Scene& s, const AiTarget& t) {
  if (a.ai_cooldown != 0 || t.busy != 0) return 0;
  const KindDef& kind = kind_by_id(a.kind);
  if (!kind.special.empty() && magnitude(s.dz) <= charge_max_dz_cm && magnitude(s.dx) > charge_min_dx_cm) {
    return chance(world.rng, charge_chance) ? button::special : Buttons{0};
  }
  return s.in_reach() ? button::attack : Buttons{0};
}

// ---------------------------------------------------------------------------
// Skirmisher

enum class Stance : std::uint8_t { fight, flee, hang_back };

bool foe_side_other(const Actor& c, const Actor& self) { return c.team != 0 && c.live() && c.id != self.id; }

// Low on hit points, unless it is the last of its side standing.
bool low_on_hp(const World& world, const Actor& a, const KindDef& kind) {
  if (i64{a.hp} * 100 >= i64{a.hp_max} * kind.flee_hp) return false;
  for (const Actor& c : world.actors) {
    if (foe_side_other(c, a)) return true;
  }
  return false;
}

i64 distance_to(const Actor& c, const AiTarget& t) { return magnitude(cm(c.x) - t.x) + magnitude(cm(c.z) - t.z); }

bool ally_nearer_to(const World& world, const Actor& a, const AiTarget& t) {
  const i64 own = distance_to(a, t);
  for (const Actor& c : world.actors) {
    if (foe_side_other(c, a) && distance_to(c, t) < own) return true;
  }
  return false;
}

// The target swings a harmful move with its back to this enemy, or at an
// ally of this enemy that stands nearer to it.
bool opening(const World& world, const Actor& a, const AiTarget& t) {
  const Actor* player = nullptr;
  for (const Actor& c : world.actors) {
    if (c.team == 0 && c.id == t.id) {
      player = &c;
      break;
    }
  }
  if (player == nullptr || player->state != ActorState::attack || move_def(player->move).harmless) return false;
  const i64 x = cm(a.x);
  const bool back_turned = (x >= t.x && t.facing <= 0) || (x < t.x && t.facing > 0);
  return back_turned || ally_nearer_to(world, a, t);
}

// The stand roll of one retreat: taken once, while the armed mark is clear.
bool stand_roll(World& world, Actor& a, const KindDef& kind) {
  a.ai_stand_armed = 1;
  if (kind.stand.chance == 0 || !chance(world.rng, kind.stand.chance)) return false;
  a.ai_stand = kind.stand.ticks;
  return true;
}

Stance low_stance(World& world, Actor& a, const KindDef& kind, const AiTarget& t) {
  if (a.ai_cooldown != 0) {
    a.ai_stand = 0;
  } else if (a.ai_stand == 0 && opening(world, a, t)) {
    a.ai_stand = kind.stand.ticks;
    a.ai_stand_armed = 1;
  }
  if (a.ai_stand != 0) return Stance::fight;
  if (a.ai_stand_armed != 0) return Stance::flee;
  return stand_roll(world, a, kind) ? Stance::fight : Stance::flee;
}

Stance healthy_stance(World& world, Actor& a, const KindDef& kind) {
  if (a.ai_engaged == 0 || a.ai_cooldown == 0 || a.ai_stand != 0) {
    a.ai_stand_armed = 0;
    return Stance::fight;
  }
  if (a.ai_stand_armed != 0) return Stance::hang_back;
  if (!stand_roll(world, a, kind)) return Stance::hang_back;
  a.ai_stand_armed = 0;
  return Stance::fight;
}

AiSteer skirmisher_flee(const Actor& a, const Scene& s, const AiTarget& t) {
  const i64 goal_x = s.view.clamp(s.x + s.away * flee_cm);
  const bool cornered = magnitude(goal_x - s.x) <= cornered_cm;
  const bool strike = cornered && s.in_reach() && a.ai_cooldown == 0 && t.busy == 0;
  return walk_to(goal_x, floor_band(t.z + s.side * flee_side_cm, s.depth), strike ? button::attack : 0, s.toward);
}

// Behind the target when that point is on screen, else on this side of it;
// off to one side in depth while still walking there.
AiSteer skirmisher_flank(const Scene& s, const AiTarget& t) {
  const i64 behind = t.x - i64{t.facing} * s.reach.mean();
  const i64 goal_x = s.view.contains(behind) ? behind : t.x + s.away * s.reach.mean();
  const i64 off = goal_x - s.x;
  const i64 o = (-flank_side_cm < off && off < flank_side_cm) ? 0 : s.side * flank_side_cm;
  const bool strike = s.in_reach() && t.busy == 0;
  return walk_to(s.view.clamp(goal_x), floor_band(t.z + o, s.depth), strike ? button::attack : 0, s.toward);
}

AiSteer skirmisher_steer(const Actor& a, Stance stance, const Scene& s, const AiTarget& t) {
  if (stance == Stance::flee) return skirmisher_flee(a, s, t);
  if (a.ai_engaged == 0) {
    return walk_to(s.view.clamp(t.x + s.away * circle_cm), floor_band(t.z + s.side * circle_side_cm, s.depth), 0,
                   s.toward);
  }
  if (stance == Stance::hang_back) {
    return walk_to(s.view.clamp(t.x + s.away * (s.reach.mean() + hang_back_extra_cm)),
                   floor_band(t.z + s.side * hang_back_side_cm, s.depth), 0, s.toward);
  }
  if (a.ai_stand != 0) {
    const bool strike = s.in_reach() && a.ai_cooldown == 0 && t.busy == 0;
    return walk_to(s.view.clamp(t.x + s.away * s.reach.mean()), t.z, strike ? button::attack : 0, s.toward);
  }
  return skirmisher_flank(s, t);
}

// ---------------------------------------------------------------------------
// Shooters

struct Shot {
  bool usable = false;
  i64 range = 0;  // 0 for a special that throws nothing
};

Shot shooter_shot(const Actor& a, const KindDef& kind) {
  if (kind.special.empty()) return Shot{};
  const MoveDef& m = move_def(kind.special.front());
  const bool usable = kind.role != AiRole::caster || a.fp >= m.fp;
  return Shot{usable, m.projectile ? i64{m.projectile->range} : 0};
}

// The sighted live player nearest along the stage, then across it, then the
// one further left; on a full tie the first in the list.
const Actor* nearest_in_lane(const World& world, i64 x, i64 z) {
  const Actor* best = nullptr;
  for (const Actor& c : world.actors) {
    if (!sighted_player(c)) continue;
    if (best == nullptr) {
      best = &c;
      continue;
    }
    const i64 ax = magnitude(cm(c.x) - x);
    const i64 bx = magnitude(cm(best->x) - x);
    const i64 az = magnitude(cm(c.z) - z);
    const i64 bz = magnitude(cm(best->z) - z);
    if (ax < bx || (ax == bx && (az < bz || (az == bz && cm(c.x) < cm(best->x))))) best = &c;
  }
  return best;
}

bool crowds(const Actor* near, const Scene& s) {
  return near != nullptr && magnitude(cm(near->x) - s.x) < crowd_dx_cm && magnitude(cm(near->z) - s.z) < crowd_dz_cm;
}

// Pressed from nearby: stand and fight for a while when the roll says so.
bool shooter_stands(World& world, Actor& a, const KindDef& kind, bool pressed) {
  if (!pressed) {
    a.ai_stand_armed = 0;
    return false;
  }
  if (a.ai_stand != 0) return true;
  if (a.ai_stand_armed != 0) return false;
  return stand_roll(world, a, kind);
}

// A dash away from the crowding player, when there is room and breath for it.
std::optional<AiSteer> dash_away(Actor& a, const Scene& s, const Actor* near) {
  if (!crowds(near, s) || a.ai_retreat != 0 || a.winded != 0) return std::nullopt;
  const i64 side = cm(near->x) < s.x ? 1 : -1;
  if (s.view.clamp(s.x + side * escape_cm) == s.x) return std::nullopt;
  a.ai_retreat = retreat_ticks;
  const Buttons word = button::dash | (side > 0 ? button::right : button::left);
  return AiSteer{0, 0, 0, word, static_cast<std::int8_t>(side)};
}

// Too near and in line: step aside in depth, to the deeper side unless that
// leaves the band or an odd id finds room on the nearer one.
i64 keep_goal_z(const Actor& a, const KindDef& kind, const Scene& s, const AiTarget& t) {
  const i64 z = t.z;
  if (magnitude(s.dx) >= kind.keep[0] || magnitude(s.dz) > sidestep_max_dz_cm) return floor_band(z, s.depth);
  const bool nearer_side = z + sidestep_cm > s.depth || (a.id % 2 != 0 && z >= sidestep_cm);
  return floor_band(nearer_side ? z - sidestep_cm : z + sidestep_cm, s.depth);
}

Buttons keep_buttons(const Actor& a, const KindDef& kind, const Scene& s, const AiTarget& t, const Shot& shot,
                     i64 goal_x) {
  if (a.ai_cooldown != 0 || t.busy != 0) return 0;
  const i64 near = kind.keep[0];
  const i64 ax = magnitude(s.dx);
  if (shot.usable && a.ai_engaged != 0 && magnitude(s.dz) <= fire_max_dz_cm && near - fire_near_slack_cm <= ax &&
      ax <= shot.range - fire_range_slack_cm) {
    return button::special;
  }
  const bool held_back = shot.usable && (ax >= near || magnitude(goal_x - s.x) >= settled_cm);
  return s.in_reach() && !held_back ? button::attack : Buttons{0};
}

AiSteer shooter_keep(Actor& a, const KindDef& kind, const Scene& s, const AiTarget& t, const Actor* near) {
  if (std::optional<AiSteer> dash = dash_away(a, s, near)) return *dash;
  const Shot shot = shooter_shot(a, kind);
  const i64 distance = shot.usable ? (i64{kind.keep[0]} + kind.keep[1]) / 2 : i64{kind.keep[1]} + unarmed_extra_cm;
  const i64 goal_x = s.view.clamp(t.x + s.away * distance);
  return walk_to(goal_x, keep_goal_z(a, kind, s, t), keep_buttons(a, kind, s, t, shot, goal_x), s.toward);
}

// Holds its ground and fights with the light move; never fires from here.
AiSteer shooter_stand(const Actor& a, const Scene& s, const AiTarget& t) {
  const bool strike = s.in_reach() && a.ai_cooldown == 0 && t.busy == 0;
  return walk_to(s.x, floor_band(t.z, s.depth), strike ? button::attack : 0, s.toward);
}

}  // namespace

AiTarget ai_target_of(const Actor& target) {
  return AiTarget{target.x.floor_int(), target.z.floor_int(), target.facing, target.id,
                  static_cast<std::uint8_t>(busy_state(target.state) ? 1 : 0)};
}

// A target straight above or below it (dx 0) is its own goal along the
// stage; it still faces right.
AiSteer ai_brute(World& world, std::size_t index, const AiTarget& target) {
  const Actor& a = world.actors[index];
  const Scene s = scene_of(world, a, target);
  const i64 side_of_target = sign(s.dx);
  if (a.ai_engaged != 0) {
    const Buttons buttons = brute_buttons(world, a, s, target);
    return walk_to(target.x - side_of_target * s.reach.mean(), target.z, buttons, s.toward);
  }
  const i64 back = brute_hang_back_cm + i64{a.id % 3} * brute_hang_back_step_cm;
  return walk_to(target.x - side_of_target * back, floor_band(target.z + s.side * brute_side_cm, s.depth), 0,
                 s.toward);
}

AiSteer ai_guard(World& world, std::size_t index, const AiTarget& target) {
  const Actor& a = world.actors[index];
  const auto ward = nearest_to(world, cm(a.x), cm(a.z), [index](std::size_t i, const Actor& c) {
    if (i == index || c.team == 0 || !c.live()) return false;
    const KindDef& kind = kind_by_id(c.kind);
    return kind.boss || kind.role == AiRole::ranged || kind.role == AiRole::caster;
  });
  if (!ward) return ai_brute(world, index, target);
  const Actor& shielded = world.actors[*ward];
  const auto threat = nearest_to(world, cm(shielded.x), cm(shielded.z),
                                 [](std::size_t, const Actor& c) { return sighted_player(c); });
  if (!threat) return ai_brute(world, index, target);
  const Actor& foe = world.actors[*threat];
  const i64 px = cm(shielded.x);
  const i64 goal_x = cm(foe.x) < px ? px - guard_offset_cm : px + guard_offset_cm;
  const i64 goal_z = (cm(shielded.z) + cm(foe.z)) / 2;
  const Scene s = scene_of(world, a, target);
  const bool strike = s.in_reach() && a.ai_cooldown == 0 && target.busy == 0;
  return walk_to(goal_x, goal_z, strike ? button::attack : 0, s.toward);
}

AiSteer ai_skirmisher(World& world, std::size_t index, const AiTarget& target) {
  Actor& a = world.actors[index];
  const KindDef& kind = kind_by_id(a.kind);
  const Stance stance =
      low_on_hp(world, a, kind) ? low_stance(world, a, kind, target) : healthy_stance(world, a, kind);
  return skirmisher_steer(a, stance, scene_of(world, a, target), target);
}

AiSteer ai_shooter(World& world, std::size_t index, const AiTarget& target) {
  Actor& a = world.actors[index];
  const KindDef& kind = kind_by_id(a.kind);
  const Scene s = scene_of(world, a, target);
  const Actor* near = nearest_in_lane(world, s.x, s.z);
  const bool pressed = magnitude(s.dx) < kind.keep[0] || crowds(near, s);
  if (shooter_stands(world, a, kind, pressed)) return shooter_stand(a, s, target);
  return shooter_keep(a, kind, s, target, near);
}

}  // namespace velmora
