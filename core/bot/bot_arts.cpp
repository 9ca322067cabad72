#include "core/bot/bot_arts.h"

#include "core/world/actor.h"

namespace velmora {

namespace {

constexpr std::int64_t least_score = 30;
constexpr std::size_t wheel_size = 7;  // art numbers 1 to 7 fit bits 13-15

using Score = std::optional<SpecialScore>;
using C = SpecialCategory;

std::int64_t abs64(std::int64_t v) { return v < 0 ? -v : v; }

Score scored(std::int64_t score, SpecialCategory category) { return SpecialScore{score, category}; }

bool boss_or_elite(const Actor& a) {
  const KindDef& k = kind_by_id(a.kind);
  return k.boss || k.elite;
}

bool shooter(const Actor& a) {
  const AiRole role = kind_by_id(a.kind).role;
  return role == AiRole::ranged || role == AiRole::caster;
}

std::int64_t hp(const Actor& a) { return a.hp; }
std::int64_t hp_max(const Actor& a) { return a.hp_max; }

template <class Keep>
std::int64_t count(const World& world, Keep keep) {
  std::int64_t n = 0;
  for (const Actor& a : world.actors) n += keep(a) ? 1 : 0;
  return n;
}

bool on_screen_ally(const BotView& view, const Actor& a) {
  return live_player(a) && abs64(a.x.floor_int() - view.camera_x) <= view.half_view;
}

bool affordable(const Actor& bot, const MoveDef& m) {
  const std::int64_t pool = std::int64_t{bot.fp} + (m.spell ? std::int64_t{bot.mana} : 0);
  return pool >= m.fp;
}

// Rows 1 to 13: moves that help the party or hit a crowd without aiming.
// None when the move has none of their fields; `matched` tells whether a
// row took the move (and then its condition decided).
Score party_and_crowd(const BotView& view, const SpecialCounts& n, const MoveDef& m, bool& matched) {
  const Actor& bot = view.bot;
  matched = true;
  if (m.raise > 0) return n.downed >= 1 ? scored(100 * n.downed, C::support) : Score{};
  if (m.heal > 0) {
    const bool fits = n.hurt >= 1 && (view.near < 2 || m.armor);
    return fits ? scored(45 + 20 * n.hurt, C::support) : Score{};
  }
  if (m.ward && m.ward->dr <= 9) {
    const bool fits = view.world.fighting != 0 && bot.ward_ticks == 0 && n.standing >= 3;
    return fits ? scored(35, C::support) : Score{};
  }
  if (m.ward) {
    const bool fits = view.near >= 2 && (n.hurt >= 2 || 2 * hp(bot) < hp_max(bot));
    return fits ? scored(80, C::support) : Score{};
  }
  if (m.rally) {
    if (bot.temp_hp != 0 || (n.wounded < 1 && n.standing < 4)) return Score{};
    return scored(n.wounded >= 1 ? 30 + 10 * n.wounded : 40, C::support);
  }
  if (m.vanish) return view.near >= 1 && 3 * hp(bot) < hp_max(bot) ? scored(90, C::evade) : Score{};
  if (m.taunt > 0) {
    const bool fits = 10 * hp(bot) > 6 * hp_max(bot) && ally_in_danger(view);
    return fits ? scored(60, C::crowd) : Score{};
  }
  if (m.shout > 0) return n.common >= 3 ? scored(40 + 10 * n.common, C::crowd) : Score{};
  if (m.sleep > 0) return n.common >= 3 ? scored(45 + 10 * n.common, C::crowd) : Score{};
  if (m.storm) {
    return n.standing >= 4 || wounded_boss(view) ? scored(60 + 10 * n.standing, C::crowd) : Score{};
  }
  if (m.turn_undead) {
    if (n.undead >= 2) return scored(40 + 15 * n.undead, C::support);
    return n.undead == 1 && view.near >= 1 ? scored(55, C::support) : Score{};
  }
  if (m.freeze) {
    const std::int64_t f = count_targetable_in_radius(view, m.freeze->radius);
    return f >= 2 ? scored(40 + 15 * f, C::crowd) : Score{};
  }
  if (m.burst && !m.projectile) {
    const std::int64_t b = count_targetable_in_radius(view, m.burst->radius);
    return b >= 2 ? scored(45 + 15 * b, C::crowd) : Score{};
  }
  matched = false;
  return Score{};
}

// Row 14: a shot down the bot's lane while no foe is near.
Score shot(const BotView& view, const MoveDef& m) {
  if (view.near != 0) return Score{};
  const auto target = nearest_in_lane(view, m.projectile->range);
  if (!target) return Score{};
  const Actor& t = view.world.actors[*target];
  std::int64_t score = shooter(t) ? 45 : 30;
  if (m.burst) score += 15 * count_in_radius(view, floor_point(t), m.burst->radius);
  if (m.spread > 0) score += 10;
  return scored(score, C::ranged);
}

bool sweep_like(const MoveDef& m) { return m.forward.from < -50 && m.lunge < 10; }

// T looks toward the bot.
bool faces_bot(const Actor& t, std::int64_t bot_x) {
  const std::int64_t tx = t.x.floor_int();
  return t.facing > 0 ? bot_x > tx : bot_x <= tx;
}

bool winding_up(const Actor& t) {
  return t.state == ActorState::attack && t.state_ticks < move_def(t.move).startup;
}

// A blow on one foe within reach, by the first of the move's tricks it has.
Score strike_in_reach(const BotView& view, const MoveDef& m, const Actor& t) {
  const KindDef& k = kind_by_id(t.kind);
  const bool facing = faces_bot(t, view.at.x);
  if (m.sap > 0) {
    return !facing && !k.boss && t.state != ActorState::stun ? scored(50, C::strike) : Score{};
  }
  if (m.backstab && m.backstab_mult > 2) return !facing ? scored(45, C::strike) : Score{};
  if (m.poison) {
    const bool fits = !k.undead && t.poison == 0 && (boss_or_elite(t) || t.hp >= 21);
    return fits ? scored(35, C::strike) : Score{};
  }
  if (m.undead_mult > 1) {
    if (k.undead) return scored(50, C::strike);
    return boss_or_elite(t) ? scored(30, C::strike) : Score{};
  }
  const bool heavy_blow =
      m.reaction == ReactionKind::knockdown || (m.reaction == ReactionKind::stagger && m.stun >= 40);
  return heavy_blow && (boss_or_elite(t) || winding_up(t)) ? scored(35, C::strike) : Score{};
}

// A move aimed at the nearest foe in its depth.
Score single_target(const BotView& view, const MoveDef& m) {
  const auto found = nearest_in_depth(view, m.depth);
  if (!found) return Score{};
  const Actor& t = view.world.actors[*found];
  const std::int64_t dx = abs64(t.x.floor_int() - view.at.x);
  const bool in_reach = std::max<std::int64_t>(m.forward.from, 10) <= dx && dx <= m.forward.to && targetable(t);
  if (m.harmless && m.turn) {
    return faces_bot(t, view.at.x) && dx >= 100 && dx <= 220 ? scored(40, C::evade) : Score{};
  }
  if (!m.harmless && !in_reach && m.lunge >= 8) return dx >= 180 && dx <= 320 ? scored(35, C::strike) : Score{};
  if (m.harmless || !in_reach) return Score{};
  return strike_in_reach(view, m, t);
}

// Row 15: moves that strike by reach.
Score melee(const BotView& view, const MoveDef& m) {
  if (sweep_like(m) && !m.harmless) {
    return view.near >= 2 ? scored(40 + 10 * view.near, C::crowd) : Score{};
  }
  const bool long_reach = m.forward.to >= 500;
  const bool charge = m.lunge >= 10 && m.active >= 20 && !m.harmless;
  if (long_reach || charge) {
    const std::int64_t reach = long_reach ? m.forward.to : std::int64_t{m.active} * m.lunge;
    const std::int64_t line =
        std::max(count_in_line(view, 1, reach, m.depth), count_in_line(view, -1, reach, m.depth));
    return line >= 2 ? scored(40 + 15 * line, m.lunge > 0 ? C::crowd : C::ranged) : Score{};
  }
  return single_target(view, m);
}

bool favoured(FocusKind focus, SpecialCategory c) {
  switch (focus) {
    case FocusKind::plain: return false;
    case FocusKind::vanguard: return c == C::crowd;
    case FocusKind::assassin: return c == C::evade || c == C::strike;
    case FocusKind::shepherd: return c == C::support;
    case FocusKind::artillery: return c == C::crowd || c == C::ranged;
  }
  return false;
}

}  // namespace

SpecialCounts special_counts(const BotView& view) {
  const World& w = view.world;
  SpecialCounts n;
  n.hurt = count(w, [&](const Actor& a) { return on_screen_ally(view, a) && 2 * hp(a) <= hp_max(a); });
  n.wounded = count(w, [&](const Actor& a) { return on_screen_ally(view, a) && 10 * hp(a) < 7 * hp_max(a); });
  n.downed = count(w, [](const Actor& a) { return a.team == 0 && a.gone == 0 && a.state == ActorState::ko; });
  n.standing = count(w, [&](const Actor& a) { return in_set(view, a, FoeSet::standing); });
  n.common = count(w, [&](const Actor& a) { return in_set(view, a, FoeSet::common); });
  n.undead = count_undead(view);
  return n;
}

std::optional<SpecialScore> score_special(const BotView& view, const SpecialCounts& counts, const MoveDef& m) {
  bool matched = false;
  const Score by_effect = party_and_crowd(view, counts, m, matched);
  if (matched) return by_effect;
  if (m.projectile) return shot(view, m);
  return melee(view, m);
}

std::int64_t with_focus(FocusKind focus, SpecialScore s) {
  return favoured(focus, s.category) ? 3 * s.score / 2 : s.score;
}

std::optional<std::size_t> choose_special(const BotView& view) {
  const Actor& bot = view.bot;
  const KindDef& kind = kind_by_id(bot.kind);
  const SpecialCounts counts = special_counts(view);
  std::optional<std::size_t> choice;
  std::int64_t best = least_score - 1;
  for (std::size_t i = 0; i < kind.special.size() && i < wheel_size; ++i) {
    const MoveDef& m = move_def(kind.special[i]);
    if (!can_use_special(bot, i) || !affordable(bot, m)) continue;
    const Score s = score_special(view, counts, m);
    if (!s) continue;
    const std::int64_t score = with_focus(kind.focus, *s);
    if (score > best) {
      best = score;
      choice = i;
    }
  }
  return choice;
}

bool aims_before_special(const MoveDef& m) {
  if (sweep_like(m)) return false;
  return !(m.harmless && m.forward.from >= -50 && m.lunge <= 0);
}

}  // namespace velmora
