#include "core/rules/stage_flow.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "core/base/clamp.h"
#include "core/base/panic.h"
#include "core/rules/control.h"
#include "core/rules/interactions.h"

namespace velmora {

namespace {

constexpr std::uint16_t wave_delay = 45;          // ticks before a wave walks in
constexpr std::uint16_t revive_invuln = 26;       // ticks a revived player cannot be hit
constexpr std::int64_t drop_spacing_cm = 40;      // between the items an enemy drops
constexpr std::int64_t entry_margin_cm = 80;      // beyond the edge of the locked view
constexpr std::int64_t entry_spacing_cm = 70;     // between enemies entering on one side
constexpr std::int32_t extra_z_shift_cm = 70;     // extra spawns beside their model
constexpr std::int32_t extra_z_margin_cm = 40;    // extra spawns kept inside the band
constexpr std::int64_t barrier_reach_cm = 25;     // a barrier this close still blocks the entry
constexpr std::uint8_t enemy_team = 1;
constexpr std::uint8_t enemy_slot = 255;

// Actor ids are 16-bit indexes into the actor list, so the list never grows
// beyond 65536 entries, whatever the scaling asks for.
constexpr std::size_t actor_limit = std::size_t{std::numeric_limits<std::uint16_t>::max()} + 1;

// Per-thread scratch of the wave spawn, reused from wave to wave.
struct SpawnScratch {
  std::vector<SpawnDef> spawns;
  std::vector<std::int32_t> barriers;
};

SpawnScratch& spawn_scratch() {
  thread_local SpawnScratch scratch;
  return scratch;
}

bool is_player(const Actor& a) { return a.team == 0; }

bool any_live_enemy(const World& world) {
  return std::any_of(world.actors.begin(), world.actors.end(),
                     [](const Actor& a) { return !is_player(a) && a.live(); });
}

// Players who have not left; knocked-out ones count.
std::size_t present_players(const World& world) {
  return static_cast<std::size_t>(std::count_if(world.actors.begin(), world.actors.end(),
                                                [](const Actor& a) { return is_player(a) && a.gone == 0; }));
}

std::optional<std::size_t> first_live_player(const World& world) {
  for (std::size_t i = 0; i < world.actors.size(); ++i) {
    if (is_player(world.actors[i]) && world.actors[i].live()) return i;
  }
  return std::nullopt;
}

// The largest x in whole centimetres among the live players; 0 without one.
std::int32_t front_player_x(const World& world) {
  std::optional<std::int32_t> front;
  for (const Actor& a : world.actors) {
    if (!is_player(a) || !a.live()) continue;
    const std::int32_t x = a.x.floor_int();
    if (!front || x > *front) front = x;
  }
  return front.value_or(0);
}

Fx shifted_x(Fx x, std::int64_t cm) { return Fx::from_raw(saturate_i32(std::int64_t{x.raw} + cm * 256)); }

// Whether a kind is a common enemy (neither boss nor elite).
bool common_kind(std::uint8_t kind) {
  const KindDef& k = kind_by_id(kind);
  return !k.boss && !k.elite;
}

// Appends the extra common spawns a bigger party brings: copies of the
// written common spawns, 70 cm off their written z, alternating +70 and -70
// by pass, kept 40 cm inside the floor band. A band too shallow for that
// margin puts them at 40.
void add_extra_spawns(std::vector<SpawnDef>& spawns, const WaveDef& wave, std::int32_t minions_pct,
                      std::int32_t depth) {
  std::size_t base_count = 0;
  for (const SpawnDef& s : wave.spawns) base_count += common_kind(s.kind) ? 1 : 0;
  if (base_count == 0) return;
  const auto c = static_cast<std::int64_t>(base_count);
  const std::int64_t scaled = std::max<std::int64_t>(0, saturating_add64(saturating_mul64(c, minions_pct), 50) / 100);
  const auto wanted = std::min<std::int64_t>(scaled, static_cast<std::int64_t>(actor_limit));
  const std::int32_t z_high = saturate_i32(std::int64_t{depth} - extra_z_margin_cm);
  for (std::int64_t r = c; r < wanted; ++r) {
    std::int64_t nth = r % c;
    const SpawnDef* base = nullptr;
    for (const SpawnDef& s : wave.spawns) {
      if (!common_kind(s.kind)) continue;
      if (nth-- == 0) {
        base = &s;
        break;
      }
    }
    VELMORA_CHECK(base != nullptr, "extra spawn without a base");
    const std::int32_t shift = (r / c) % 2 == 1 ? extra_z_shift_cm : -extra_z_shift_cm;
    SpawnDef extra = *base;
    extra.z = clamp_value(saturate_i32(std::int64_t{base->z} + shift), extra_z_margin_cm, z_high);
    spawns.push_back(extra);
  }
}

// Where the enemy of a side enters: beyond the edge of the view centred on the
// gate, further out for each earlier one of that side, but in front of a
// closed barrier on that side that lies at or near the way in.
std::int32_t entry_x(const GateDef& gate, std::int32_t view_w, std::int32_t side, std::int64_t k,
                     const std::vector<std::int32_t>& barriers) {
  const std::int64_t center = gate.center_x;
  std::int64_t x = center + side * (view_w / 2 + entry_margin_cm + entry_spacing_cm * k);
  for (const std::int32_t bx : barriers) {
    const std::int64_t offset = std::int64_t{bx} - center;
    const std::int32_t barrier_side = offset > 0 ? 1 : (offset < 0 ? -1 : 0);
    if (barrier_side != side || (x - bx) * side < -barrier_reach_cm) continue;
    x = std::int64_t{bx} - side * (45 + 30 * (k % 3));
  }
  return saturate_i32(x);
}

std::int32_t hp_scale_pct(std::uint8_t kind, std::size_t party) {
  const KindDef& k = kind_by_id(kind);
  const PartyScaling& scaling = game_data().scaling;
  if (k.boss) return scaling.boss_hp[party - 1];
  if (k.elite) return scaling.elite_hp[party - 1];
  return 100;
}

// The enemies of wave `wave_index` of the current gate walk in.
void spawn_wave(World& world) {
  const StageDef& stage = world.stage();
  VELMORA_CHECK(world.gate_index < stage.gates.size(), "wave spawn without a gate");
  const GateDef& gate = stage.gates[world.gate_index];
  if (world.wave_index >= gate.waves.size()) return;
  const WaveDef& wave = gate.waves[world.wave_index];

  const std::size_t party = std::clamp<std::size_t>(present_players(world), 1, 4);
  SpawnScratch& scratch = spawn_scratch();
  scratch.spawns.assign(wave.spawns.begin(), wave.spawns.end());
  add_extra_spawns(scratch.spawns, wave, game_data().scaling.minions[party - 1], stage.depth);
  closed_barriers(world, scratch.barriers);

  std::int64_t right_count = 0;
  std::int64_t left_count = 0;
  for (const SpawnDef& spawn : scratch.spawns) {
    if (world.actors.size() >= actor_limit) break;
    const std::int32_t side = spawn.side > 0 ? 1 : -1;
    std::int64_t& same_side = side > 0 ? right_count : left_count;
    const std::int32_t x = entry_x(gate, stage.view_w, side, same_side, scratch.barriers);
    ++same_side;
    Actor enemy = actor_from_kind(static_cast<std::uint16_t>(world.actors.size()), spawn.kind, enemy_team,
                                  enemy_slot, x, spawn.z, static_cast<std::int8_t>(-side));
    const std::int32_t pct = hp_scale_pct(spawn.kind, party);
    enemy.hp_max = saturate_i32(saturating_mul64(enemy.hp_max, pct) / 100);
    enemy.hp = enemy.hp_max;
    world.actors.push_back(enemy);
  }
}

// Every knocked-out player who has not left gets up beside the first live
// player with half its hit points (at least 1).
void revive_party(World& world) {
  const std::optional<std::size_t> leader = first_live_player(world);
  if (!leader) return;
  const Fx x = world.actors[*leader].x;
  const Fx z = world.actors[*leader].z;
  for (Actor& a : world.actors) {
    if (!is_player(a) || a.gone != 0 || a.state != ActorState::ko) continue;
    a.hp = std::max(1, a.hp_max / 2);
    a.x = x;
    a.z = z;
    a.y = Fx{};
    a.state = ActorState::idle;
    a.state_ticks = 0;
    a.vx = Fx{};
    a.vz = Fx{};
    a.invuln = revive_invuln;
    world.events.push_back(Event::of_actor(EventKind::revive, a.id));
  }
}

void lock_gate_when_reached(World& world) {
  const StageDef& stage = world.stage();
  if (world.gate_index >= stage.gates.size()) return;
  if (front_player_x(world) < stage.gates[world.gate_index].trigger_x) return;
  world.wave_index = 0;
  world.wave_countdown = wave_delay;
  world.gate_locked = 1;
  world.wave_active = 0;
  world.events.push_back(Event::gate_lock_of(world.gate_index));
}

// The countdown steps first and the wave comes on the tick it reaches 0, so a
// countdown of 45 brings the wave 45 ticks later.
void count_down_wave(World& world) {
  world.wave_countdown = count_down(world.wave_countdown);
  if (world.wave_countdown > 0) return;
  spawn_wave(world);
  world.wave_active = 1;
  world.events.push_back(Event::wave_of(world.gate_index, world.wave_index));
}

void finish_wave(World& world) {
  const StageDef& stage = world.stage();
  ++world.wave_index;
  const bool more = world.gate_index < stage.gates.size() &&
                    world.wave_index < stage.gates[world.gate_index].waves.size();
  if (more) {
    world.wave_active = 0;
    world.wave_countdown = wave_delay;
    return;
  }
  world.events.push_back(Event::gate_clear_of(world.gate_index));
  world.gate_locked = 0;
  world.wave_active = 0;  // no wave of the next gate has come yet
  ++world.gate_index;
  revive_party(world);
}

}  // namespace

void ko_rewards(World& world, std::size_t index) {
  VELMORA_CHECK(index < world.actors.size(), "ko rewards for a missing actor");
  const Actor& enemy = world.actors[index];
  const Fx x = enemy.x;
  const Fx z = enemy.z;
  const KindDef& kind = kind_by_id(enemy.kind);
  world.xp_pool = saturate_u32(std::int64_t{world.xp_pool} + kind.xp);
  const std::int64_t silver = range(world.rng, kind.silver[0], kind.silver[1]);
  lay_pickup(world, PickupContent::silver(saturate_u32(silver)), x, z);
  for (std::size_t i = 0; i < kind.drops.size(); ++i) {
    const auto place = static_cast<std::int64_t>(i) + 1;
    lay_pickup(world, PickupContent::of_item(kind.drops[i]), shifted_x(x, drop_spacing_cm * place), z);
  }
}

void share_experience(World& world) {
  const std::size_t n = present_players(world);
  if (n == 0 || world.xp_pool == 0) return;
  const std::uint32_t share = world.xp_pool / static_cast<std::uint32_t>(n);
  for (Actor& a : world.actors) {
    if (is_player(a) && a.gone == 0) a.xp = saturate_i32(std::int64_t{a.xp} + share);
  }
  world.xp_pool %= static_cast<std::uint32_t>(n);
}

// The three steps run in order within one call, each on the state the one
// before left: the tick a gate locks already counts its first wave down once
// (it comes 44 ticks later), and a wave that brings nobody is over on the
// tick it comes.
void gates_and_waves(World& world) {
  if (world.gate_locked == 0) lock_gate_when_reached(world);
  if (world.gate_locked == 1 && world.wave_active == 0) count_down_wave(world);
  if (world.gate_locked == 1 && world.wave_active == 1 && !any_live_enemy(world)) finish_wave(world);
}

void stage_end(World& world) {
  if (world.over != GameStatus::playing) return;
  const StageDef& stage = world.stage();
  bool any_live = false;
  bool at_exit = false;
  for (const Actor& a : world.actors) {
    if (!is_player(a) || !a.live()) continue;
    any_live = true;
    if (a.x.floor_int() >= stage.exit_x) at_exit = true;
  }
  if (!any_live) {
    world.over = GameStatus::wiped;
    world.events.push_back(Event::plain(EventKind::wiped));
    return;
  }
  if (stage.exit_x > 0 && world.gate_index >= stage.gates.size() && at_exit) {
    world.over = GameStatus::cleared;
    world.events.push_back(Event::plain(EventKind::cleared));
  }
}

}  // namespace velmora
