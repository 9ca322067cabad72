#include "core/world/state_hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <type_traits>
#include <vector>

#include "core/data/data_file.h"

namespace velmora {
namespace {

constexpr std::uint64_t test_data_hash = 0x0123456789abcdefULL;
constexpr std::size_t header_bytes = 8 + 8 + 8 + 4 + 4 + 8 + 4 + 4 + 4 + 4 + 4;

// ---------------------------------------------------------------------------
// A second encoder, written from the stream's field table into a byte
// buffer, then hashed byte by byte.

struct Bytes {
  std::vector<std::uint8_t> out;

  void b(std::uint8_t v) { out.push_back(v); }
  void le(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void u64(std::uint64_t v) { le(v, 8); }
  void w32(std::uint64_t v) { le(v & 0xFFFFFFFFu, 4); }  // also the low half of an index
  void i32(std::int32_t v) { le(static_cast<std::uint32_t>(v), 4); }
  void fx(Fx v) { i32(v.raw); }
  void w16(std::uint16_t v) { le(v, 4); }
  void w8(std::uint8_t v) { le(v, 4); }
  void s8(std::int8_t v) { i32(v); }
  void opt16(std::optional<std::uint16_t> v) { v ? w16(*v) : le(0xFFFFFFFFu, 4); }
};

std::uint64_t fnv(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (std::uint8_t c : bytes) h = (h ^ c) * 0x100000001b3ULL;
  return h;
}

void stage_bytes(Bytes& o, const std::vector<Prop>& props, const std::vector<Chest>& chests) {
  for (const Prop& p : props) o.b(p.broken);
  for (const Chest& c : chests) {
    o.b(c.locked);
    o.b(c.jammed);
    o.b(c.opened);
  }
}

void pickup_bytes(Bytes& o, const std::vector<Pickup>& pickups) {
  for (const Pickup& p : pickups) {
    o.fx(p.x);
    o.fx(p.z);
    o.b(p.taken);
  }
}

void switch_bytes(Bytes& o, const std::vector<DoorState>& doors, const std::vector<std::uint8_t>& levers,
                  const std::vector<TrapState>& traps) {
  for (const DoorState& d : doors) {
    o.b(d.found);
    o.b(d.searched);
  }
  for (std::uint8_t l : levers) o.b(l);
  for (const TrapState& t : traps) {
    o.b(t.state);
    o.b(t.searched);
  }
}

void hazard_bytes(Bytes& o, const std::vector<Hazard>& hazards) {
  for (const Hazard& z : hazards) {
    o.w16(z.serial);
    o.w16(z.owner);
    o.fx(z.x);
    o.fx(z.z);
    o.w16(z.ticks);
    o.w32(z.hit_list.size());
  }
}

void actor_first_bytes(Bytes& o, const Actor& a) {
  for (std::uint8_t v : {a.kind, a.slot, static_cast<std::uint8_t>(a.facing), static_cast<std::uint8_t>(a.state),
                         a.move, a.chain_queued, a.air_attacked, a.juggle, a.hitstop, a.gone}) {
    o.b(v);
  }
  for (Fx v : {a.x, a.y, a.z, a.vx, a.vy, a.vz}) o.fx(v);
  for (std::uint16_t v :
       {a.state_ticks, a.stun, a.invuln, a.fp_regen, a.prev_buttons, a.ai_think, a.ai_cooldown, a.ai_buttons}) {
    o.w16(v);
  }
  o.b(a.winded);
  o.w16(a.stamina_delay);
  o.w16(a.stamina_regen);
  for (std::int32_t v : {a.hp, a.fp, a.sta, a.silver}) o.i32(v);
  o.s8(a.ai_side);
  o.w8(a.ai_engaged);
  o.opt16(a.ai_lock);
  for (std::uint16_t id : a.hit_list) o.w16(id);
}

void actor_second_bytes(Bytes& o, const Actor& a) {
  for (const auto& worn : a.gear) o.opt16(worn);
  for (std::uint16_t item : a.bag) o.w16(item);
  o.i32(a.skill);
  o.i32(a.xp);
  o.b(a.work_kind);
  o.w16(a.work_target);
  o.w16(a.work_ticks);
}

void actor_third_bytes(Bytes& o, const Actor& a) {
  for (std::uint8_t art : a.arts) o.w8(art);
  o.i32(a.temp_hp);
  o.w16(a.temp_hp_ticks);
  o.i32(a.poison);
  o.w16(a.poison_counter);
  o.w16(a.poison_interval);
  o.w16(a.stealth);
  o.i32(a.vanish_speed);
  o.w8(a.vanish_strike);
  o.opt16(a.ai_target);
  o.w16(a.taunt_ticks);
  o.w16(a.ai_retreat);
  o.w16(a.ai_stand);
  o.b(a.ai_stand_armed);
  o.opt16(a.ai_threat);
  o.w8(a.special);
  o.opt16(a.quick);
  o.opt16(a.item_in_use);
  o.i32(a.ward_dr);
  o.w16(a.ward_ticks);
  o.w8(a.held);
  o.i32(a.mana);
  o.w16(a.mana_regen);
  o.w16(a.guard_cooldown);
}

std::vector<std::uint8_t> world_bytes(const World& w, std::uint64_t data_hash) {
  Bytes o;
  for (std::uint64_t v : {data_hash, w.tick, w.seed}) o.u64(v);
  o.w32(w.xp_pool);
  o.w32(w.stage_index);
  o.u64(w.rng.state);
  o.fx(w.camera_x);
  o.w32(w.gate_index);
  o.w32(w.wave_index);
  o.w16(w.wave_countdown);
  for (std::uint8_t v : {w.gate_locked, w.wave_active, static_cast<std::uint8_t>(w.over), w.fighting}) o.b(v);
  for (const Actor& a : w.actors) actor_first_bytes(o, a);
  stage_bytes(o, w.props, w.chests);
  for (const Actor& a : w.actors) actor_second_bytes(o, a);
  for (const Projectile& p : w.projectiles) {
    for (std::uint8_t v : {p.move, static_cast<std::uint8_t>(p.facing), p.team}) o.b(v);
    o.w16(p.owner);
    o.w16(p.serial);
    o.i32(p.age);
    for (Fx v : {p.x, p.y, p.z}) o.fx(v);
  }
  pickup_bytes(o, w.pickups);
  switch_bytes(o, w.door_states, w.levers_pulled, w.trap_states);
  hazard_bytes(o, w.hazards);
  for (const Actor& a : w.actors) actor_third_bytes(o, a);
  for (const Projectile& p : w.projectiles) o.opt16(p.thrown_item);
  for (std::size_t p = 0; p < w.stage_memory.size(); ++p) {
    if (!w.stage_memory[p]) continue;
    const StageState& m = *w.stage_memory[p];
    o.w32(p);
    stage_bytes(o, m.props, m.chests);
    pickup_bytes(o, m.pickups);
    o.w32(m.gate_index);
    o.b(m.gate_locked);
    o.b(m.wave_active);
    switch_bytes(o, m.door_states, m.levers_pulled, m.trap_states);
    hazard_bytes(o, m.hazards);
  }
  return o.out;
}

std::uint64_t slow_hash(const World& w) { return fnv(world_bytes(w, test_data_hash)); }
std::uint64_t fast_hash(const World& w) { return state_hash(w, test_data_hash); }

// ---------------------------------------------------------------------------
// The field table of every record: each field with a change that makes it
// differ and whether the hash covers it. The same table fills random worlds.

class Filler {
 public:
  Filler(std::uint64_t seed, bool once) : rng_(Rng::from_seed(seed)), once_(once) {}

  template <class T>
  T nonzero() {
    const auto v = static_cast<T>(rng_.next());
    return v == T{} ? T{1} : v;
  }
  // How often a field is changed while filling: once, or 0 to 3 times.
  int times() { return once_ ? 1 : static_cast<int>(rng_.next() % 4); }

 private:
  Rng rng_;
  bool once_;
};

template <class T>
struct Field {
  const char* name;
  void (*change)(T&, Filler&);
  bool hashed;
};

template <class T>
std::vector<Field<T>> fields();

// A record with every field changed (see Filler::times); a nonzero number.
template <class T>
T record(Filler& f) {
  if constexpr (std::is_integral_v<T>) {
    return f.nonzero<T>();
  } else {
    T r{};
    for (const Field<T>& field : fields<T>()) {
      for (int n = f.times(); n > 0; --n) field.change(r, f);
    }
    return r;
  }
}

template <class T>
  requires std::is_integral_v<T>
void change(T& v, Filler& f) {
  v = static_cast<T>(v ^ f.nonzero<T>());
}
template <class E>
  requires std::is_enum_v<E>
void change(E& v, Filler& f) {
  auto u = static_cast<std::underlying_type_t<E>>(v);
  change(u, f);
  v = static_cast<E>(u);
}
void change(Fx& v, Filler& f) { change(v.raw, f); }
template <class T>
void change(std::optional<T>& v, Filler& f) {
  v = v ? std::nullopt : std::optional<T>(record<T>(f));
}
template <class T, std::uint32_t N>
void change(SmallVector<T, N>& v, Filler& f) {
  v.push_back(record<T>(f));
}
template <class T>
void change(std::vector<T>& v, Filler& f) {
  v.push_back(record<T>(f));
}
// An absent entry, then a present one: positions count the absent ones too.
void change(std::vector<std::optional<StageState>>& v, Filler& f) {
  v.push_back(std::nullopt);
  v.push_back(record<StageState>(f));
}

#define FIELD(name, hashed) \
  { #name, [](R& r, Filler& f) { change(r.name, f); }, hashed }
#define FIRST(list, hashed) \
  { #list "[0]", [](R& r, Filler& f) { if (!r.list.empty()) change(r.list[0], f); }, hashed }

template <>
std::vector<Field<Prop>> fields<Prop>() {
  using R = Prop;
  return {FIELD(content.contents, false), FIELD(content.amount, false), FIELD(x, false), FIELD(z, false),
          FIELD(index, false),            FIELD(broken, true)};
}

template <>
std::vector<Field<Pickup>> fields<Pickup>() {
  using R = Pickup;
  return {FIELD(content.tag, false), FIELD(content.item, false), FIELD(content.amount, false), FIELD(x, true),
          FIELD(z, true),            FIELD(id, false),           FIELD(taken, true)};
}

template <>
std::vector<Field<Chest>> fields<Chest>() {
  using R = Chest;
  return {FIELD(table, false), FIELD(x, false),     FIELD(z, false),     FIELD(lock, false),
          FIELD(index, false), FIELD(locked, true), FIELD(jammed, true), FIELD(opened, true)};
}

template <>
std::vector<Field<DoorState>> fields<DoorState>() {
  using R = DoorState;
  return {FIELD(found, true), FIELD(searched, true)};
}

template <>
std::vector<Field<TrapState>> fields<TrapState>() {
  using R = TrapState;
  return {FIELD(state, true), FIELD(searched, true)};
}

template <>
std::vector<Field<Hazard>> fields<Hazard>() {
  using R = Hazard;
  return {FIELD(hit_list, true), FIRST(hit_list, false), FIELD(x, true),      FIELD(z, true),     FIELD(dice, false),
          FIELD(add, false),     FIELD(serial, true),    FIELD(owner, true),  FIELD(ticks, true), FIELD(team, false)};
}

template <>
std::vector<Field<Projectile>> fields<Projectile>() {
  using R = Projectile;
  return {FIELD(thrown_item, true), FIELD(x, true),     FIELD(y, true),    FIELD(z, true),    FIELD(age, true),
          FIELD(serial, true),      FIELD(owner, true), FIELD(team, true), FIELD(move, true), FIELD(facing, true)};
}

template <>
std::vector<Field<Actor>> fields<Actor>() {
  using R = Actor;
  return {
      FIELD(hit_list, true), FIRST(hit_list, true), FIELD(bag, true), FIRST(bag, true), FIELD(arts, true),
      FIRST(arts, true),
      {"sheet", [](R& r, Filler&) { r.sheet = r.sheet ? std::nullopt : std::optional(CharacterSheet{}); }, false},
      FIELD(st, false), FIELD(dx, false), FIELD(iq, false), FIELD(ht, false), FIELD(dr, false),
      FIELD(toughness, false), FIELD(move_bonus, false), FIELD(magery, false), FIELD(ai_lock, true),
      FIELD(ai_target, true), FIELD(ai_threat, true), FIELD(ai_think, true), FIELD(ai_cooldown, true),
      FIELD(ai_buttons, true), FIELD(taunt_ticks, true), FIELD(ai_retreat, true), FIELD(ai_stand, true),
      FIELD(ai_engaged, true), FIELD(ai_stand_armed, true), FIELD(ai_side, true), FIELD(gear[0], true),
      FIELD(gear[1], true), FIELD(gear[2], true), FIELD(quick, true), FIELD(item_in_use, true), FIELD(x, true),
      FIELD(y, true), FIELD(z, true), FIELD(vx, true), FIELD(vy, true), FIELD(vz, true), FIELD(hp, true),
      FIELD(hp_max, false), FIELD(fp, true), FIELD(fp_max, false), FIELD(mana, true), FIELD(mana_max, false),
      FIELD(sta, true), FIELD(sta_max, false), FIELD(silver, true), FIELD(skill, true), FIELD(xp, true),
      FIELD(ward_dr, true), FIELD(temp_hp, true), FIELD(poison, true), FIELD(vanish_speed, true), FIELD(id, false),
      FIELD(state_ticks, true), FIELD(stun, true), FIELD(invuln, true), FIELD(fp_regen, true),
      FIELD(mana_regen, true), FIELD(stamina_delay, true), FIELD(stamina_regen, true), FIELD(prev_buttons, true),
      FIELD(work_target, true), FIELD(work_ticks, true), FIELD(ward_ticks, true), FIELD(temp_hp_ticks, true),
      FIELD(poison_interval, true), FIELD(poison_counter, true), FIELD(poisoner, false), FIELD(stealth, true),
      FIELD(guard_cooldown, true), FIELD(team, false), FIELD(chain_queued, true), FIELD(air_attacked, true),
      FIELD(winded, true), FIELD(gone, true), FIELD(vanish_strike, true), FIELD(held, true), FIELD(state, true),
      FIELD(kind, true), FIELD(slot, true), FIELD(facing, true), FIELD(move, true), FIELD(juggle, true),
      FIELD(hitstop, true), FIELD(work_kind, true), FIELD(special, true),
  };
}

template <>
std::vector<Field<StageState>> fields<StageState>() {
  using R = StageState;
  return {FIELD(props, true),         FIELD(pickups, true),        FIELD(chests, true),
          FIELD(door_states, true),   FIELD(levers_pulled, true),  FIRST(levers_pulled, true),
          FIELD(trap_states, true),   FIELD(hazards, true),        FIELD(gate_index, true),
          FIELD(wave_index, false),   FIELD(wave_countdown, false), FIELD(gate_locked, true),
          FIELD(wave_active, true)};
}

template <>
std::vector<Field<World>> fields<World>() {
  using R = World;
  return {
      FIELD(pending_door, false), FIELD(actors, true), FIELD(props, true), FIELD(pickups, true),
      FIELD(chests, true), FIELD(projectiles, true), FIELD(door_states, true), FIELD(levers_pulled, true),
      FIRST(levers_pulled, true), FIELD(trap_states, true), FIELD(stage_memory, true), FIELD(hazards, true),
      {"deferred_values", [](R& r, Filler& f) { r.deferred_values.push_back({f.nonzero<std::uint64_t>(), 1}); }, false},
      {"deferred_moves", [](R& r, Filler& f) { r.deferred_moves.push_back({f.nonzero<std::uint64_t>(), 1}); }, false},
      {"events", [](R& r, Filler& f) { r.events.push_back(Event::of_actor(EventKind::jump, f.nonzero<std::uint16_t>())); }, false},
      FIELD(gate_index, true), FIELD(wave_index, true), FIELD(wave_countdown, true), FIELD(gate_locked, true),
      FIELD(wave_active, true), FIELD(tick, true), FIELD(seed, true), FIELD(rng.state, true),
      FIELD(camera_x, true), FIELD(view_w, false), FIELD(stage_index, true), FIELD(xp_pool, true),
      FIELD(next_projectile_serial, false), FIELD(next_hazard_serial, false), FIELD(fighting, true),
      FIELD(over, true),
  };
}

#undef FIELD
#undef FIRST

TEST(StateHash, FnvKnownAnswers) {
  EXPECT_EQ(fnv1a(fnv_offset_basis, ""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(fnv1a(fnv_offset_basis, "a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(fnv1a(fnv_offset_basis, "foobar"), 0x85944171f73967e8ULL);
  EXPECT_EQ(fnv({'a'}), 0xaf63dc4c8601ec8cULL);
}

TEST(StateHash, EmptyWorldHashesTheDataHashAndTheHeader) {
  const World w;
  const std::vector<std::uint8_t> bytes = world_bytes(w, test_data_hash);
  EXPECT_EQ(bytes.size(), header_bytes);
  EXPECT_EQ(fast_hash(w), fnv(bytes));
  EXPECT_NE(state_hash(w, 1), state_hash(w, 2));
}

TEST(StateHash, StreamingAgreesWithTheByteEncoder) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    Filler f(seed, false);
    const World w = record<World>(f);
    ASSERT_EQ(fast_hash(w), slow_hash(w)) << "seed " << seed;
  }
}

TEST(StateHash, SignedAndOptionalEncodings) {
  World w;
  w.actors.push_back(Actor{});
  w.actors[0].ai_side = -1;
  const std::vector<std::uint8_t> bytes = world_bytes(w, test_data_hash);
  // ai_side follows the 10 bytes, six Fx, eight w16, winded, two w16 and four
  // w32 of the first pass; ai_engaged and then ai_lock come after it.
  const std::size_t at = header_bytes + 10 + 24 + 32 + 1 + 8 + 16;
  ASSERT_EQ(bytes.size(), header_bytes + 103 + 29 + 89);  // the actor's three passes
  const std::vector<std::uint8_t> ff(4, 0xFF);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + at, bytes.begin() + at + 4), ff);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + at + 8, bytes.begin() + at + 12), ff);  // ai_lock absent
  EXPECT_EQ(fast_hash(w), fnv(bytes));
  World lock0 = w;
  lock0.actors[0].ai_lock = 0;  // 00 00 00 00, unlike absent
  EXPECT_NE(fast_hash(lock0), fast_hash(w));
}

TEST(StateHash, LowIndexBitsAndMemoryPositionsCount) {
  World w;
  w.stage_index = std::uint64_t{1} << 40;  // indexes contribute their low 32 bits
  w.gate_index = std::uint64_t{1} << 63;
  EXPECT_EQ(fast_hash(w), fast_hash(World{}));
  StageState a;
  a.props.push_back(Prop{});
  StageState b;
  b.levers_pulled.push_back(1);
  w.stage_memory = {a, b};
  World swapped = w;
  swapped.stage_memory = {b, a};
  EXPECT_NE(fast_hash(w), fast_hash(swapped));
  w.stage_memory = {std::nullopt, a};
  swapped.stage_memory = {a, std::nullopt};
  EXPECT_NE(fast_hash(w), fast_hash(swapped));
}

// Each field of T, changed in the record that `at` finds in a copy of base,
// changes the hash exactly when the hash covers it.
template <class T, class At>
void expect_coverage(const World& base, const char* where, At at) {
  const std::uint64_t h = fast_hash(base);
  Filler f(7, true);
  for (const Field<T>& field : fields<T>()) {
    World changed = base;
    field.change(at(changed), f);
    ASSERT_NE(changed, base) << where << field.name << " changed nothing";
    EXPECT_EQ(fast_hash(changed) != h, field.hashed) << where << field.name;
    EXPECT_EQ(fast_hash(changed), slow_hash(changed)) << where << field.name;
  }
}

TEST(StateHash, EveryHashedFieldCountsAndNoOtherDoes) {
  Filler f(3, true);
  const World base = record<World>(f);  // one of everything; memory entry 1 present
  auto memory = [](World& w) -> StageState& { return *w.stage_memory[1]; };
  expect_coverage<World>(base, "", [](World& w) -> World& { return w; });
  expect_coverage<Actor>(base, "actor.", [](World& w) -> Actor& { return w.actors[0]; });
  expect_coverage<Projectile>(base, "projectile.", [](World& w) -> Projectile& { return w.projectiles[0]; });
  expect_coverage<StageState>(base, "memory.", memory);
  expect_coverage<Prop>(base, "prop.", [](World& w) -> Prop& { return w.props[0]; });
  expect_coverage<Prop>(base, "memory.prop.", [&](World& w) -> Prop& { return memory(w).props[0]; });
  expect_coverage<Pickup>(base, "pickup.", [](World& w) -> Pickup& { return w.pickups[0]; });
  expect_coverage<Pickup>(base, "memory.pickup.", [&](World& w) -> Pickup& { return memory(w).pickups[0]; });
  expect_coverage<Chest>(base, "chest.", [](World& w) -> Chest& { return w.chests[0]; });
  expect_coverage<Chest>(base, "memory.chest.", [&](World& w) -> Chest& { return memory(w).chests[0]; });
  expect_coverage<DoorState>(base, "door.", [](World& w) -> DoorState& { return w.door_states[0]; });
  expect_coverage<DoorState>(base, "memory.door.", [&](World& w) -> DoorState& { return memory(w).door_states[0]; });
  expect_coverage<TrapState>(base, "trap.", [](World& w) -> TrapState& { return w.trap_states[0]; });
  expect_coverage<TrapState>(base, "memory.trap.", [&](World& w) -> TrapState& { return memory(w).trap_states[0]; });
  expect_coverage<Hazard>(base, "hazard.", [](World& w) -> Hazard& { return w.hazards[0]; });
  expect_coverage<Hazard>(base, "memory.hazard.", [&](World& w) -> Hazard& { return memory(w).hazards[0]; });
}

}  // namespace
}  // namespace velmora
