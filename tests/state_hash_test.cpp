#include "core/state_hash.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/data_file.h"

namespace velmora {
namespace {

constexpr std::uint64_t test_data_hash = 0x0123456789abcdefULL;

// ---------------------------------------------------------------------------
// A second encoder, written field by field from the stream's table into a
// byte buffer, then hashed byte by byte.

class Bytes {
 public:
  std::vector<std::uint8_t> out;

  void b(std::uint8_t v) { out.push_back(v); }
  void u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void w32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
  }
  void i32(std::int32_t v) { w32(static_cast<std::uint32_t>(v)); }
  void fx(Fx v) { i32(v.raw); }
  void idx(std::uint64_t v) { w32(static_cast<std::uint32_t>(v & 0xFFFFFFFFu)); }
  void w16(std::uint16_t v) { out.insert(out.end(), {static_cast<std::uint8_t>(v & 0xFF), static_cast<std::uint8_t>(v >> 8), 0, 0}); }
  void w8(std::uint8_t v) { out.insert(out.end(), {v, 0, 0, 0}); }
  void s8(std::int8_t v) {
    const std::uint8_t fill = v < 0 ? 0xFF : 0x00;
    out.insert(out.end(), {static_cast<std::uint8_t>(v), fill, fill, fill});
  }
  void opt16(std::optional<std::uint16_t> v) {
    if (v) {
      w16(*v);
    } else {
      out.insert(out.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    }
  }
};

std::uint64_t fnv(const std::vector<std::uint8_t>& bytes) {
  std::uint64_t h = 0xcbf29ce484222325ULL;
  for (std::uint8_t c : bytes) {
    h ^= c;
    h *= 0x100000001b3ULL;
  }
  return h;
}

void hazard_bytes(Bytes& o, const std::vector<Hazard>& hazards) {
  for (const Hazard& z : hazards) {
    o.w16(z.serial);
    o.w16(z.owner);
    o.fx(z.x);
    o.fx(z.z);
    o.w16(z.ticks);
    o.idx(z.hit_list.size());
  }
}

std::vector<std::uint8_t> world_bytes(const World& w, std::uint64_t data_hash) {
  Bytes o;
  o.u64(data_hash);
  o.u64(w.tick);
  o.u64(w.seed);
  o.w32(w.xp_pool);
  o.idx(w.stage_index);
  o.u64(w.rng.state);
  o.fx(w.camera_x);
  o.idx(w.gate_index);
  o.idx(w.wave_index);
  o.w16(w.wave_countdown);
  o.b(w.gate_locked);
  o.b(w.wave_active);
  o.b(static_cast<std::uint8_t>(w.over));
  o.b(w.fighting);
  for (const Actor& a : w.actors) {
    o.b(a.kind);
    o.b(a.slot);
    o.b(static_cast<std::uint8_t>(a.facing));
    o.b(static_cast<std::uint8_t>(a.state));
    o.b(a.move);
    o.b(a.chain_queued);
    o.b(a.air_attacked);
    o.b(a.juggle);
    o.b(a.hitstop);
    o.b(a.gone);
    for (Fx v : {a.x, a.y, a.z, a.vx, a.vy, a.vz}) o.fx(v);
    for (std::uint16_t v : {a.state_ticks, a.stun, a.invuln, a.fp_regen, a.prev_buttons, a.ai_think, a.ai_cooldown,
                            a.ai_buttons}) {
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
  for (const Prop& p : w.props) o.b(p.broken);
  for (const Chest& c : w.chests) {
    o.b(c.locked);
    o.b(c.jammed);
    o.b(c.opened);
  }
  for (const Actor& a : w.actors) {
    for (int i = 0; i < 3; ++i) o.opt16(a.gear[i]);
    for (std::uint16_t item : a.bag) o.w16(item);
    o.i32(a.skill);
    o.i32(a.xp);
    o.b(a.work_kind);
    o.w16(a.work_target);
    o.w16(a.work_ticks);
  }
  for (const Projectile& p : w.projectiles) {
    o.b(p.move);
    o.b(static_cast<std::uint8_t>(p.facing));
    o.b(p.team);
    o.w16(p.owner);
    o.w16(p.serial);
    o.i32(p.age);
    o.fx(p.x);
    o.fx(p.y);
    o.fx(p.z);
  }
  for (const Pickup& p : w.pickups) {
    o.fx(p.x);
    o.fx(p.z);
    o.b(p.taken);
  }
  for (const DoorState& d : w.door_states) {
    o.b(d.found);
    o.b(d.searched);
  }
  for (std::uint8_t l : w.levers_pulled) o.b(l);
  for (const TrapState& t : w.trap_states) {
    o.b(t.state);
    o.b(t.searched);
  }
  hazard_bytes(o, w.hazards);
  for (const Actor& a : w.actors) {
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
  for (const Projectile& p : w.projectiles) o.opt16(p.thrown_item);
  for (std::size_t p = 0; p < w.stage_memory.size(); ++p) {
    if (!w.stage_memory[p]) continue;
    const StageState& m = *w.stage_memory[p];
    o.idx(p);
    for (const Prop& x : m.props) o.b(x.broken);
    for (const Chest& c : m.chests) {
      o.b(c.locked);
      o.b(c.jammed);
      o.b(c.opened);
    }
    for (const Pickup& x : m.pickups) {
      o.fx(x.x);
      o.fx(x.z);
      o.b(x.taken);
    }
    o.idx(m.gate_index);
    o.b(m.gate_locked);
    o.b(m.wave_active);
    for (const DoorState& d : m.door_states) {
      o.b(d.found);
      o.b(d.searched);
    }
    for (std::uint8_t l : m.levers_pulled) o.b(l);
    for (const TrapState& t : m.trap_states) {
      o.b(t.state);
      o.b(t.searched);
    }
    hazard_bytes(o, m.hazards);
  }
  return o.out;
}

std::uint64_t slow_hash(const World& w) { return fnv(world_bytes(w, test_data_hash)); }
std::uint64_t fast_hash(const World& w) { return state_hash(w, test_data_hash); }

// ---------------------------------------------------------------------------
// Random worlds, built without the game data.

class Filler {
 public:
  explicit Filler(std::uint64_t seed) : rng_(Rng::from_seed(seed)) {}

  std::uint64_t u64() { return rng_.next(); }
  std::uint32_t u32() { return static_cast<std::uint32_t>(rng_.next()); }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  std::uint16_t u16() { return static_cast<std::uint16_t>(rng_.next()); }
  std::uint8_t u8() { return static_cast<std::uint8_t>(rng_.next()); }
  std::int8_t i8() { return static_cast<std::int8_t>(u8()); }
  Fx fx() { return Fx::from_raw(i32()); }
  std::size_t count(std::size_t most) { return static_cast<std::size_t>(rng_.next() % (most + 1)); }
  std::optional<std::uint16_t> opt16() {
    if (rng_.next() % 3 == 0) return std::nullopt;
    return u16();
  }

  template <class List>
  void ids(List& list, std::size_t most) {
    const std::size_t n = count(most);
    for (std::size_t i = 0; i < n; ++i) list.push_back(static_cast<typename List::value_type>(u16()));
  }

  Actor actor() {
    Actor a;
    ids(a.hit_list, 24);
    ids(a.bag, 24);
    ids(a.arts, 10);
    a.st = i32();
    a.hp_max = i32();
    a.ai_lock = opt16();
    a.ai_target = opt16();
    a.ai_threat = opt16();
    a.ai_think = u16();
    a.ai_cooldown = u16();
    a.ai_buttons = u16();
    a.taunt_ticks = u16();
    a.ai_retreat = u16();
    a.ai_stand = u16();
    a.ai_engaged = u8();
    a.ai_stand_armed = u8();
    a.ai_side = i8();
    a.gear = {opt16(), opt16(), opt16()};
    a.quick = opt16();
    a.item_in_use = opt16();
    a.x = fx();
    a.y = fx();
    a.z = fx();
    a.vx = fx();
    a.vy = fx();
    a.vz = fx();
    a.hp = i32();
    a.fp = i32();
    a.mana = i32();
    a.sta = i32();
    a.silver = i32();
    a.skill = i32();
    a.xp = i32();
    a.ward_dr = i32();
    a.temp_hp = i32();
    a.poison = i32();
    a.vanish_speed = i32();
    a.id = u16();
    a.state_ticks = u16();
    a.stun = u16();
    a.invuln = u16();
    a.fp_regen = u16();
    a.mana_regen = u16();
    a.stamina_delay = u16();
    a.stamina_regen = u16();
    a.prev_buttons = u16();
    a.work_target = u16();
    a.work_ticks = u16();
    a.ward_ticks = u16();
    a.temp_hp_ticks = u16();
    a.poison_interval = u16();
    a.poison_counter = u16();
    a.stealth = u16();
    a.guard_cooldown = u16();
    a.team = u8();
    a.chain_queued = u8();
    a.air_attacked = u8();
    a.winded = u8();
    a.gone = u8();
    a.vanish_strike = u8();
    a.held = u8();
    a.state = static_cast<ActorState>(u8() % 13);
    a.kind = u8();
    a.slot = u8();
    a.facing = i8();
    a.move = u8();
    a.juggle = u8();
    a.hitstop = u8();
    a.work_kind = u8();
    a.special = u8();
    return a;
  }

  Hazard hazard() {
    Hazard h;
    ids(h.hit_list, 20);
    h.x = fx();
    h.z = fx();
    h.dice = i32();
    h.add = i32();
    h.serial = u16();
    h.owner = u16();
    h.ticks = u16();
    h.team = u8();
    return h;
  }

  template <class Make>
  auto list(std::size_t most, Make make) {
    std::vector<decltype(make())> out;
    const std::size_t n = count(most);
    for (std::size_t i = 0; i < n; ++i) out.push_back(make());
    return out;
  }

  Prop prop() { return Prop{PropContent{BarrelContents::silver, i32()}, fx(), fx(), u16(), u8()}; }
  Chest chest() { return Chest{u64(), fx(), fx(), i32(), u16(), u8(), u8(), u8()}; }
  Pickup pickup() { return Pickup{PickupContent{PickupTag::item, u16(), u32()}, fx(), fx(), u16(), u8()}; }
  DoorState door() { return DoorState{u8(), u8()}; }
  TrapState trap() { return TrapState{u8(), u8()}; }

  StageState stage_state() {
    StageState s;
    s.props = list(4, [&] { return prop(); });
    s.pickups = list(4, [&] { return pickup(); });
    s.chests = list(3, [&] { return chest(); });
    s.door_states = list(3, [&] { return door(); });
    s.levers_pulled = list(3, [&] { return u8(); });
    s.trap_states = list(3, [&] { return trap(); });
    s.hazards = list(3, [&] { return hazard(); });
    s.gate_index = u64();
    s.wave_index = u64();
    s.wave_countdown = u16();
    s.gate_locked = u8();
    s.wave_active = u8();
    return s;
  }

  World world() {
    World w;
    w.pending_door = u64();
    w.actors = list(8, [&] { return actor(); });
    w.props = list(6, [&] { return prop(); });
    w.pickups = list(6, [&] { return pickup(); });
    w.chests = list(4, [&] { return chest(); });
    w.projectiles = list(5, [&] {
      return Projectile{opt16(), fx(), fx(), fx(), i32(), u16(), u16(), u8(), u8(), i8()};
    });
    w.door_states = list(4, [&] { return door(); });
    w.levers_pulled = list(4, [&] { return u8(); });
    w.trap_states = list(4, [&] { return trap(); });
    const std::size_t stages = count(5);
    for (std::size_t i = 0; i < stages; ++i) {
      if (u8() % 2 == 0) {
        w.stage_memory.push_back(std::nullopt);
      } else {
        w.stage_memory.push_back(stage_state());
      }
    }
    w.hazards = list(4, [&] { return hazard(); });
    w.gate_index = u64();
    w.wave_index = u64();
    w.wave_countdown = u16();
    w.gate_locked = u8();
    w.wave_active = u8();
    w.tick = u64();
    w.seed = u64();
    w.rng.state = u64();
    w.camera_x = fx();
    w.view_w = i32();
    w.stage_index = u64();
    w.xp_pool = u32();
    w.next_projectile_serial = u16();
    w.next_hazard_serial = u16();
    w.fighting = u8();
    w.over = static_cast<GameStatus>(u8() % 3);
    return w;
  }

 private:
  Rng rng_;
};

TEST(StateHash, FnvKnownAnswers) {
  EXPECT_EQ(fnv1a(fnv_offset_basis, ""), 0xcbf29ce484222325ULL);
  EXPECT_EQ(fnv1a(fnv_offset_basis, "a"), 0xaf63dc4c8601ec8cULL);
  EXPECT_EQ(fnv({}), 0xcbf29ce484222325ULL);
  EXPECT_EQ(fnv({'a'}), 0xaf63dc4c8601ec8cULL);
}

TEST(StateHash, EmptyWorldHashesTheHeader) {
  const World w;
  const std::vector<std::uint8_t> bytes = world_bytes(w, test_data_hash);
  EXPECT_EQ(bytes.size(), 8u + 8 + 8 + 4 + 4 + 8 + 4 + 4 + 4 + 4 + 4);
  EXPECT_EQ(fast_hash(w), fnv(bytes));
  EXPECT_NE(state_hash(w, 1), state_hash(w, 2));
}

TEST(StateHash, StreamingAgreesWithTheByteEncoder) {
  for (std::uint64_t seed = 1; seed <= 300; ++seed) {
    Filler f(seed);
    const World w = f.world();
    ASSERT_EQ(fast_hash(w), slow_hash(w)) << "seed " << seed;
  }
}

TEST(StateHash, HazardStepIsTheSameForTheWorldAndTheMemory) {
  Filler f(5);
  const std::vector<Hazard> hazards = f.list(6, [&] { return f.hazard(); });
  Bytes o;
  hazard_bytes(o, hazards);
  std::uint64_t h = 0x1234;
  for (std::uint8_t c : o.out) h = fnv1a_byte(h, c);
  EXPECT_EQ(hash_hazards(0x1234, hazards), h);
}

TEST(StateHash, SignedAndOptionalEncodings) {
  World w;
  w.actors.push_back(Actor{});
  w.actors[0].ai_side = -1;
  const std::vector<std::uint8_t> bytes = world_bytes(w, test_data_hash);
  // ai_side sits after the 10 bytes, six Fx, eight w16, winded, two w16 and
  // four w32 of the actor's first pass.
  const std::size_t header = 8 + 8 + 8 + 4 + 4 + 8 + 4 + 4 + 4 + 4 + 4;
  const std::size_t side_at = header + 10 + 24 + 32 + 1 + 8 + 16;
  ASSERT_GT(bytes.size(), side_at + 12);
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + side_at, bytes.begin() + side_at + 4),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(std::vector<std::uint8_t>(bytes.begin() + side_at + 8, bytes.begin() + side_at + 12),
            (std::vector<std::uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));  // ai_lock absent
  EXPECT_EQ(fast_hash(w), fnv(bytes));
  World lock0 = w;
  lock0.actors[0].ai_lock = 0;
  EXPECT_NE(fast_hash(lock0), fast_hash(w));
  EXPECT_EQ(fast_hash(lock0), slow_hash(lock0));
}

TEST(StateHash, IndexesContributeTheirLowThirtyTwoBits) {
  Filler f(8);
  const World w = f.world();
  World high = w;
  high.stage_index ^= std::uint64_t{1} << 40;
  high.gate_index ^= std::uint64_t{1} << 33;
  high.wave_index ^= std::uint64_t{1} << 63;
  EXPECT_EQ(fast_hash(high), fast_hash(w));
  high.stage_index ^= 1;
  EXPECT_NE(fast_hash(high), fast_hash(w));
}

TEST(StateHash, SwappedMemoryEntriesDiffer) {
  World w;
  StageState a;
  a.props.push_back(Prop{});
  StageState b;
  b.levers_pulled.push_back(1);
  w.stage_memory = {a, b};
  World swapped;
  swapped.stage_memory = {b, a};
  EXPECT_NE(fast_hash(w), fast_hash(swapped));
  World moved;
  moved.stage_memory = {std::nullopt, a};
  World first;
  first.stage_memory = {a, std::nullopt};
  EXPECT_NE(fast_hash(moved), fast_hash(first));
}

// ---------------------------------------------------------------------------
// Coverage: every field of the record either changes the hash or is listed
// as left out.

struct FieldCase {
  std::string name;
  std::function<void(World&)> change;
  bool hashed;
};

Actor& actor0(World& w) { return w.actors[0]; }
StageState& memory1(World& w) { return *w.stage_memory[1]; }

std::vector<FieldCase> actor_cases() {
  using A = Actor;
  std::vector<FieldCase> c;
  auto add = [&](std::string name, std::function<void(A&)> change, bool hashed) {
    c.push_back({"actor." + name, [change](World& w) { change(actor0(w)); }, hashed});
  };
  add("hit_list", [](A& a) { a.hit_list.push_back(1); }, true);
  add("hit_list id", [](A& a) { a.hit_list[0] ^= 1; }, true);
  add("bag", [](A& a) { a.bag.push_back(1); }, true);
  add("bag id", [](A& a) { a.bag[0] ^= 1; }, true);
  add("arts", [](A& a) { a.arts.push_back(1); }, true);
  add("arts id", [](A& a) { a.arts[0] ^= 1; }, true);
  add("sheet", [](A& a) { a.sheet->silver += 1; }, false);
  add("st", [](A& a) { a.st += 1; }, false);
  add("dx", [](A& a) { a.dx += 1; }, false);
  add("iq", [](A& a) { a.iq += 1; }, false);
  add("ht", [](A& a) { a.ht += 1; }, false);
  add("dr", [](A& a) { a.dr += 1; }, false);
  add("toughness", [](A& a) { a.toughness += 1; }, false);
  add("move_bonus", [](A& a) { a.move_bonus += 1; }, false);
  add("magery", [](A& a) { a.magery ^= 1; }, false);
  add("ai_lock", [](A& a) { a.ai_lock = 0; }, true);
  add("ai_target", [](A& a) { a.ai_target = 0; }, true);
  add("ai_threat", [](A& a) { a.ai_threat = 0; }, true);
  add("ai_think", [](A& a) { a.ai_think += 1; }, true);
  add("ai_cooldown", [](A& a) { a.ai_cooldown += 1; }, true);
  add("ai_buttons", [](A& a) { a.ai_buttons += 1; }, true);
  add("taunt_ticks", [](A& a) { a.taunt_ticks += 1; }, true);
  add("ai_retreat", [](A& a) { a.ai_retreat += 1; }, true);
  add("ai_stand", [](A& a) { a.ai_stand += 1; }, true);
  add("ai_engaged", [](A& a) { a.ai_engaged ^= 1; }, true);
  add("ai_stand_armed", [](A& a) { a.ai_stand_armed ^= 1; }, true);
  add("ai_side", [](A& a) { a.ai_side = -1; }, true);
  add("gear weapon", [](A& a) { a.gear[0] = 3; }, true);
  add("gear head", [](A& a) { a.gear[1] = 3; }, true);
  add("gear body", [](A& a) { a.gear[2] = 3; }, true);
  add("quick", [](A& a) { a.quick = 3; }, true);
  add("item_in_use", [](A& a) { a.item_in_use = 3; }, true);
  add("x", [](A& a) { a.x.raw += 1; }, true);
  add("y", [](A& a) { a.y.raw += 1; }, true);
  add("z", [](A& a) { a.z.raw += 1; }, true);
  add("vx", [](A& a) { a.vx.raw += 1; }, true);
  add("vy", [](A& a) { a.vy.raw += 1; }, true);
  add("vz", [](A& a) { a.vz.raw += 1; }, true);
  add("hp", [](A& a) { a.hp += 1; }, true);
  add("hp_max", [](A& a) { a.hp_max += 1; }, false);
  add("fp", [](A& a) { a.fp += 1; }, true);
  add("fp_max", [](A& a) { a.fp_max += 1; }, false);
  add("mana", [](A& a) { a.mana += 1; }, true);
  add("mana_max", [](A& a) { a.mana_max += 1; }, false);
  add("sta", [](A& a) { a.sta += 1; }, true);
  add("sta_max", [](A& a) { a.sta_max += 1; }, false);
  add("silver", [](A& a) { a.silver += 1; }, true);
  add("skill", [](A& a) { a.skill += 1; }, true);
  add("xp", [](A& a) { a.xp += 1; }, true);
  add("ward_dr", [](A& a) { a.ward_dr += 1; }, true);
  add("temp_hp", [](A& a) { a.temp_hp += 1; }, true);
  add("poison", [](A& a) { a.poison += 1; }, true);
  add("vanish_speed", [](A& a) { a.vanish_speed += 1; }, true);
  add("id", [](A& a) { a.id += 1; }, false);
  add("state_ticks", [](A& a) { a.state_ticks += 1; }, true);
  add("stun", [](A& a) { a.stun += 1; }, true);
  add("invuln", [](A& a) { a.invuln += 1; }, true);
  add("fp_regen", [](A& a) { a.fp_regen += 1; }, true);
  add("mana_regen", [](A& a) { a.mana_regen += 1; }, true);
  add("stamina_delay", [](A& a) { a.stamina_delay += 1; }, true);
  add("stamina_regen", [](A& a) { a.stamina_regen += 1; }, true);
  add("prev_buttons", [](A& a) { a.prev_buttons += 1; }, true);
  add("work_target", [](A& a) { a.work_target += 1; }, true);
  add("work_ticks", [](A& a) { a.work_ticks += 1; }, true);
  add("ward_ticks", [](A& a) { a.ward_ticks += 1; }, true);
  add("temp_hp_ticks", [](A& a) { a.temp_hp_ticks += 1; }, true);
  add("poison_interval", [](A& a) { a.poison_interval += 1; }, true);
  add("poison_counter", [](A& a) { a.poison_counter += 1; }, true);
  add("poisoner", [](A& a) { a.poisoner += 1; }, false);
  add("stealth", [](A& a) { a.stealth += 1; }, true);
  add("guard_cooldown", [](A& a) { a.guard_cooldown += 1; }, true);
  add("team", [](A& a) { a.team ^= 1; }, false);
  add("chain_queued", [](A& a) { a.chain_queued ^= 1; }, true);
  add("air_attacked", [](A& a) { a.air_attacked ^= 1; }, true);
  add("winded", [](A& a) { a.winded ^= 1; }, true);
  add("gone", [](A& a) { a.gone ^= 1; }, true);
  add("vanish_strike", [](A& a) { a.vanish_strike ^= 1; }, true);
  add("held", [](A& a) { a.held ^= 1; }, true);
  add("state", [](A& a) { a.state = ActorState::ko; }, true);
  add("kind", [](A& a) { a.kind ^= 1; }, true);
  add("slot", [](A& a) { a.slot ^= 1; }, true);
  add("facing", [](A& a) { a.facing = -1; }, true);
  add("move", [](A& a) { a.move ^= 1; }, true);
  add("juggle", [](A& a) { a.juggle ^= 1; }, true);
  add("hitstop", [](A& a) { a.hitstop ^= 1; }, true);
  add("work_kind", [](A& a) { a.work_kind ^= 1; }, true);
  add("special", [](A& a) { a.special ^= 1; }, true);
  return c;
}

std::vector<FieldCase> world_cases() {
  std::vector<FieldCase> c = actor_cases();
  auto add = [&](std::string name, std::function<void(World&)> change, bool hashed) {
    c.push_back({std::move(name), std::move(change), hashed});
  };
  add("pending_door", [](World& w) { w.pending_door = 0; }, false);
  add("actors", [](World& w) { w.actors.push_back(Actor{}); }, true);
  add("props", [](World& w) { w.props.push_back(Prop{}); }, true);
  add("prop.broken", [](World& w) { w.props[0].broken ^= 1; }, true);
  add("prop.content", [](World& w) { w.props[0].content.amount += 1; }, false);
  add("prop.x", [](World& w) { w.props[0].x.raw += 1; }, false);
  add("prop.z", [](World& w) { w.props[0].z.raw += 1; }, false);
  add("prop.index", [](World& w) { w.props[0].index += 1; }, false);
  add("pickups", [](World& w) { w.pickups.push_back(Pickup{}); }, true);
  add("pickup.x", [](World& w) { w.pickups[0].x.raw += 1; }, true);
  add("pickup.z", [](World& w) { w.pickups[0].z.raw += 1; }, true);
  add("pickup.taken", [](World& w) { w.pickups[0].taken ^= 1; }, true);
  add("pickup.content", [](World& w) { w.pickups[0].content.amount += 1; }, false);
  add("pickup.id", [](World& w) { w.pickups[0].id += 1; }, false);
  add("chests", [](World& w) { w.chests.push_back(Chest{}); }, true);
  add("chest.locked", [](World& w) { w.chests[0].locked ^= 1; }, true);
  add("chest.jammed", [](World& w) { w.chests[0].jammed ^= 1; }, true);
  add("chest.opened", [](World& w) { w.chests[0].opened ^= 1; }, true);
  add("chest.table", [](World& w) { w.chests[0].table += 1; }, false);
  add("chest.x", [](World& w) { w.chests[0].x.raw += 1; }, false);
  add("chest.z", [](World& w) { w.chests[0].z.raw += 1; }, false);
  add("chest.lock", [](World& w) { w.chests[0].lock += 1; }, false);
  add("chest.index", [](World& w) { w.chests[0].index += 1; }, false);
  add("projectiles", [](World& w) { w.projectiles.push_back(Projectile{}); }, true);
  add("projectile.thrown_item", [](World& w) { w.projectiles[0].thrown_item = 0; }, true);
  add("projectile.x", [](World& w) { w.projectiles[0].x.raw += 1; }, true);
  add("projectile.y", [](World& w) { w.projectiles[0].y.raw += 1; }, true);
  add("projectile.z", [](World& w) { w.projectiles[0].z.raw += 1; }, true);
  add("projectile.age", [](World& w) { w.projectiles[0].age += 1; }, true);
  add("projectile.serial", [](World& w) { w.projectiles[0].serial += 1; }, true);
  add("projectile.owner", [](World& w) { w.projectiles[0].owner += 1; }, true);
  add("projectile.team", [](World& w) { w.projectiles[0].team ^= 1; }, true);
  add("projectile.move", [](World& w) { w.projectiles[0].move ^= 1; }, true);
  add("projectile.facing", [](World& w) { w.projectiles[0].facing = -1; }, true);
  add("door_states", [](World& w) { w.door_states.push_back({}); }, true);
  add("door.found", [](World& w) { w.door_states[0].found ^= 1; }, true);
  add("door.searched", [](World& w) { w.door_states[0].searched ^= 4; }, true);
  add("levers_pulled", [](World& w) { w.levers_pulled[0] ^= 1; }, true);
  add("trap.state", [](World& w) { w.trap_states[0].state = trap_disarmed; }, true);
  add("trap.searched", [](World& w) { w.trap_states[0].searched ^= 2; }, true);
  add("hazards", [](World& w) { w.hazards.push_back(Hazard{}); }, true);
  add("hazard.hit_list length", [](World& w) { w.hazards[0].hit_list.push_back(0); }, true);
  add("hazard.hit_list id", [](World& w) { w.hazards[0].hit_list[0] ^= 1; }, false);
  add("hazard.x", [](World& w) { w.hazards[0].x.raw += 1; }, true);
  add("hazard.z", [](World& w) { w.hazards[0].z.raw += 1; }, true);
  add("hazard.dice", [](World& w) { w.hazards[0].dice += 1; }, false);
  add("hazard.add", [](World& w) { w.hazards[0].add += 1; }, false);
  add("hazard.serial", [](World& w) { w.hazards[0].serial += 1; }, true);
  add("hazard.owner", [](World& w) { w.hazards[0].owner += 1; }, true);
  add("hazard.ticks", [](World& w) { w.hazards[0].ticks += 1; }, true);
  add("hazard.team", [](World& w) { w.hazards[0].team ^= 1; }, false);
  add("deferred_values", [](World& w) { w.deferred_values.push_back({1, 2}); }, false);
  add("deferred_moves", [](World& w) { w.deferred_moves.push_back({1, 2}); }, false);
  add("events", [](World& w) { w.events.push_back(Event::plain(EventKind::cleared)); }, false);
  add("gate_index", [](World& w) { w.gate_index += 1; }, true);
  add("wave_index", [](World& w) { w.wave_index += 1; }, true);
  add("wave_countdown", [](World& w) { w.wave_countdown += 1; }, true);
  add("gate_locked", [](World& w) { w.gate_locked ^= 1; }, true);
  add("wave_active", [](World& w) { w.wave_active ^= 1; }, true);
  add("tick", [](World& w) { w.tick += 1; }, true);
  add("seed", [](World& w) { w.seed += 1; }, true);
  add("rng", [](World& w) { w.rng.next(); }, true);
  add("camera_x", [](World& w) { w.camera_x.raw += 1; }, true);
  add("view_w", [](World& w) { w.view_w += 1; }, false);
  add("stage_index", [](World& w) { w.stage_index += 1; }, true);
  add("xp_pool", [](World& w) { w.xp_pool += 1; }, true);
  add("next_projectile_serial", [](World& w) { w.next_projectile_serial += 1; }, false);
  add("next_hazard_serial", [](World& w) { w.next_hazard_serial += 1; }, false);
  add("fighting", [](World& w) { w.fighting ^= 1; }, true);
  add("over", [](World& w) { w.over = GameStatus::wiped; }, true);
  add("stage_memory entry", [](World& w) { w.stage_memory[0] = StageState{}; }, true);
  add("memory.props", [](World& w) { memory1(w).props.push_back(Prop{}); }, true);
  add("memory.prop.broken", [](World& w) { memory1(w).props[0].broken ^= 1; }, true);
  add("memory.prop.x", [](World& w) { memory1(w).props[0].x.raw += 1; }, false);
  add("memory.chest.locked", [](World& w) { memory1(w).chests[0].locked ^= 1; }, true);
  add("memory.chest.jammed", [](World& w) { memory1(w).chests[0].jammed ^= 1; }, true);
  add("memory.chest.opened", [](World& w) { memory1(w).chests[0].opened ^= 1; }, true);
  add("memory.chest.lock", [](World& w) { memory1(w).chests[0].lock += 1; }, false);
  add("memory.pickup.x", [](World& w) { memory1(w).pickups[0].x.raw += 1; }, true);
  add("memory.pickup.z", [](World& w) { memory1(w).pickups[0].z.raw += 1; }, true);
  add("memory.pickup.taken", [](World& w) { memory1(w).pickups[0].taken ^= 1; }, true);
  add("memory.pickup.content", [](World& w) { memory1(w).pickups[0].content.amount += 1; }, false);
  add("memory.gate_index", [](World& w) { memory1(w).gate_index += 1; }, true);
  add("memory.gate_locked", [](World& w) { memory1(w).gate_locked ^= 1; }, true);
  add("memory.wave_active", [](World& w) { memory1(w).wave_active ^= 1; }, true);
  add("memory.wave_index", [](World& w) { memory1(w).wave_index += 1; }, false);
  add("memory.wave_countdown", [](World& w) { memory1(w).wave_countdown += 1; }, false);
  add("memory.door.found", [](World& w) { memory1(w).door_states[0].found ^= 1; }, true);
  add("memory.door.searched", [](World& w) { memory1(w).door_states[0].searched ^= 1; }, true);
  add("memory.levers_pulled", [](World& w) { memory1(w).levers_pulled[0] ^= 1; }, true);
  add("memory.trap.state", [](World& w) { memory1(w).trap_states[0].state ^= 1; }, true);
  add("memory.trap.searched", [](World& w) { memory1(w).trap_states[0].searched ^= 1; }, true);
  add("memory.hazard.serial", [](World& w) { memory1(w).hazards[0].serial += 1; }, true);
  add("memory.hazard.owner", [](World& w) { memory1(w).hazards[0].owner += 1; }, true);
  add("memory.hazard.x", [](World& w) { memory1(w).hazards[0].x.raw += 1; }, true);
  add("memory.hazard.z", [](World& w) { memory1(w).hazards[0].z.raw += 1; }, true);
  add("memory.hazard.ticks", [](World& w) { memory1(w).hazards[0].ticks += 1; }, true);
  add("memory.hazard.hit_list length", [](World& w) { memory1(w).hazards[0].hit_list.push_back(5); }, true);
  add("memory.hazard.dice", [](World& w) { memory1(w).hazards[0].dice += 1; }, false);
  add("memory.hazard.team", [](World& w) { memory1(w).hazards[0].team ^= 1; }, false);
  return c;
}

// A world with one of everything, so that every case has something to change.
World base_world() {
  World w;
  Actor a;
  a.hit_list = {2};
  a.bag = {4};
  a.arts = {6};
  a.sheet = CharacterSheet{};
  w.actors.push_back(a);
  w.props.push_back(Prop{});
  w.pickups.push_back(Pickup{});
  w.chests.push_back(Chest{});
  w.projectiles.push_back(Projectile{});
  w.door_states.push_back(DoorState{});
  w.levers_pulled.push_back(0);
  w.trap_states.push_back(TrapState{});
  Hazard h;
  h.hit_list = {1};
  w.hazards.push_back(h);
  StageState m;
  m.props.push_back(Prop{});
  m.chests.push_back(Chest{});
  m.pickups.push_back(Pickup{});
  m.door_states.push_back(DoorState{});
  m.levers_pulled.push_back(0);
  m.trap_states.push_back(TrapState{});
  m.hazards.push_back(h);
  w.stage_memory = {std::nullopt, m};
  return w;
}

TEST(StateHash, EveryHashedFieldCountsAndNoOtherDoes) {
  const World base = base_world();
  const std::uint64_t h = fast_hash(base);
  for (const FieldCase& c : world_cases()) {
    World changed = base;
    c.change(changed);
    ASSERT_NE(changed, base) << c.name << " changed nothing";
    const std::uint64_t after = fast_hash(changed);
    if (c.hashed) {
      EXPECT_NE(after, h) << c.name << " should change the hash";
    } else {
      EXPECT_EQ(after, h) << c.name << " should not change the hash";
    }
    EXPECT_EQ(after, slow_hash(changed)) << c.name;
  }
}

}  // namespace
}  // namespace velmora
