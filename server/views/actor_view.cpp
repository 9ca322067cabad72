#include "server/views/actor_view.h"

#include <algorithm>
#include <array>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/rules/control.h"
#include "server/views/view_words.h"

namespace velmora {

namespace {

constexpr std::array<std::string_view, 13> state_words = {
    "idle", "walk", "jump", "move", "dash", "block", "stun", "fall", "down", "getup", "ko", "work", "dodge"};

std::string_view state_word(ActorState state) {
  const auto i = static_cast<std::size_t>(state);
  VELMORA_CHECK(i < state_words.size(), "actor state out of range");
  return state_words[i];
}

// Move name, phase and frames of an actor performing a move. A skilled
// fighter's recovery is shown shorter, by at most half.
void fill_move_phase(ActorView& v, const Actor& a) {
  const MoveDef& m = move_def(a.move);
  const std::int32_t f = a.state_ticks;
  const std::int32_t startup = m.startup;
  const std::int32_t active = m.active;
  const std::int32_t recovery = m.recovery;
  v.move = m.name;
  if (f < startup) {
    v.phase = "startup";
    v.phase_frame = f;
    v.phase_len = startup;
  } else if (f < startup + active) {
    v.phase = "active";
    v.phase_frame = f - startup;
    v.phase_len = active;
  } else {
    v.phase = "recovery";
    v.phase_frame = f - startup - active;
    v.phase_len = recovery - std::min(recovery / 2, std::max(a.skill, 0));
  }
}

void fill_work(ActorView& v, const Actor& a) {
  v.work = work_word(a.work_kind);
  const std::int64_t duration = a.work_ticks == 0 ? 1 : a.work_ticks;
  v.work_pct = static_cast<std::int32_t>(std::min<std::int64_t>(100, std::int64_t{a.state_ticks} * 100 / duration));
}

void fill_gear_and_bag(ActorView& v, const Actor& a) {
  for (std::size_t place = 0; place < a.gear.size(); ++place) {
    if (!a.gear[place]) continue;
    const ItemDef& item = item_def(*a.gear[place]);
    v.gear[place] = item.name;
    v.gear_models[place] = item.model;
  }
  v.bag.reserve(a.bag.size());
  std::int64_t value = 0;
  for (const std::uint16_t id : a.bag) {
    const ItemDef& item = item_def(id);
    v.bag.emplace_back(item.title);
    value += item.value;
  }
  v.bag_value = saturate_i32(value);
  v.carried = saturate_i32(carried_weight(a));
  v.encumbrance = -encumbrance_penalty(a);
}

// The model of the consumable `step` places from the quick item in the list,
// wrapping around; "" when the quick item is not in the list or is alone there.
std::string_view neighbour_model(const ConsumableList& list, std::uint16_t quick, int step) {
  const auto* found = std::find(list.begin(), list.end(), quick);
  const std::int64_t n = list.size();
  if (found == list.end() || n <= 1) return "";
  const std::int64_t i = found - list.begin();
  const std::int64_t next = ((i + step) % n + n) % n;
  return item_def(list[static_cast<std::size_t>(next)]).model;
}

void fill_quick(ActorView& v, const Actor& a) {
  const ConsumableList consumables = bag_consumables(a.bag);
  v.quick_kinds = static_cast<std::int32_t>(consumables.size());
  if (!a.quick) return;
  const ItemDef& item = item_def(*a.quick);
  v.quick = item.name;
  v.quick_title = item.title;
  v.quick_model = item.model;
  v.quick_count = static_cast<std::int32_t>(std::count(a.bag.begin(), a.bag.end(), *a.quick));
  v.quick_prev_model = neighbour_model(consumables, *a.quick, -1);
  v.quick_next_model = neighbour_model(consumables, *a.quick, +1);
}

void fill_specials(ActorView& v, const Actor& a, const KindDef& kind) {
  v.specials.reserve(kind.special.size());
  for (std::size_t n = 0; n < kind.special.size(); ++n) {
    const std::uint8_t id = kind.special[n];
    const MoveDef& m = move_def(id);
    v.specials.push_back(SpecialView{m.name, m.title, m.fp, m.spell, m.requires_skill, can_use_special(a, n),
                                     m.price == 0 || a.arts.contains(id), m.price, m.blurb});
  }
}

// Unspent character points: xp / 10 less the points the character has spent.
std::int32_t unspent_points(const Actor& a) {
  const std::int64_t spent = a.sheet ? a.sheet->points_spent : 0;
  return saturate_i32(std::int64_t{a.xp} / 10 - spent);
}

// Hit points never show below 0.
void fill_pools(ActorView& v, const Actor& a) {
  v.hp = std::max(a.hp, 0);
  v.hp_max = a.hp_max;
  v.fp = a.fp;
  v.fp_max = a.fp_max;
  v.mana = a.mana;
  v.mana_max = a.mana_max;
  v.sta = a.sta;
  v.sta_max = a.sta_max;
  v.winded = a.winded != 0;
  v.silver = a.silver;
}

void fill_actor_view(ActorView& v, const Actor& a) {
  const KindDef& kind = kind_by_id(a.kind);
  const bool player = a.team == 0;
  v.id = a.id;
  v.kind = kind.name;
  v.player = player;
  v.slot = player ? std::int32_t{a.slot} : -1;
  v.x = whole(a.x);
  v.y = whole(a.y);
  v.z = whole(a.z);
  v.facing = a.facing < 0 ? -1 : 1;
  v.state = state_word(a.state);
  v.frame = a.state_ticks;
  if (a.state == ActorState::attack) fill_move_phase(v, a);
  fill_pools(v, a);
  fill_gear_and_bag(v, a);
  if (a.state == ActorState::work) fill_work(v, a);
  v.dr = total_dr(a);
  v.fatigue = gear_fatigue(a);
  v.skill = a.skill;
  v.xp = a.xp;
  v.points = unspent_points(a);
  v.invuln = a.invuln != 0;
  v.frozen = a.held >= 2;
  fill_quick(v, a);
  v.ward = a.ward_ticks != 0 ? a.ward_dr : 0;
  if (player) fill_specials(v, a, kind);
  v.special = a.special;
  v.temp_hp = a.temp_hp;
  v.poisoned = a.poison >= 1;
  v.stealth = a.stealth != 0;
  v.taunted = a.ai_target.has_value();
  v.held = held_word(a.held);
  v.guard = guard_kind_word(kind.guard);
}

}  // namespace

std::optional<ActorView> actor_view(ActorCursor& cursor) {
  const auto& actors = cursor.world.actors;
  std::optional<ActorView> view;  // the one object returned, built in place
  while (cursor.next < actors.size() && actors[cursor.next].gone != 0) ++cursor.next;
  if (cursor.next < actors.size()) fill_actor_view(view.emplace(), actors[cursor.next++]);
  return view;
}

std::string_view actor_model_name(const Actor& actor, int step) {
  if (!actor.quick) return "";
  return neighbour_model(bag_consumables(actor.bag), *actor.quick, step);
}

}  // namespace velmora
