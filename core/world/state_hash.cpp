#include "core/world/state_hash.h"

#include "core/data/data_file.h"
#include "core/data/game_data.h"

namespace velmora {

namespace {

// FNV-1a fed field by field, without a buffer. Zero bytes only multiply, so
// the zero padding of the widened fields is applied as one multiplication by
// the matching power of the prime.
class HashStream {
 public:
  explicit HashStream(std::uint64_t h) : h_(h) {}

  std::uint64_t value() const { return h_; }

  void b(std::uint8_t v) { h_ = fnv1a_byte(h_, v); }

  void u64(std::uint64_t v) {
    for (int i = 0; i < 8; ++i) b(static_cast<std::uint8_t>(v >> (8 * i)));
  }

  void w32(std::uint32_t v) {
    b(static_cast<std::uint8_t>(v));
    b(static_cast<std::uint8_t>(v >> 8));
    b(static_cast<std::uint8_t>(v >> 16));
    b(static_cast<std::uint8_t>(v >> 24));
  }
  void w32(std::int32_t v) { w32(static_cast<std::uint32_t>(v)); }
  void w32(Fx v) { w32(v.raw); }
  // The low 32 bits of an index or a length.
  void low32(std::uint64_t v) { w32(static_cast<std::uint32_t>(v)); }

  void w16(std::uint16_t v) {
    b(static_cast<std::uint8_t>(v));
    b(static_cast<std::uint8_t>(v >> 8));
    h_ *= prime_squared;
  }

  void w8(std::uint8_t v) {
    b(v);
    h_ *= prime_cubed;
  }

  void s8(std::int8_t v) { w32(static_cast<std::uint32_t>(static_cast<std::int32_t>(v))); }

  void opt16(const std::optional<std::uint16_t>& v) {
    if (v) {
      w16(*v);
    } else {
      w32(std::uint32_t{0xFFFFFFFF});
    }
  }

 private:
  static constexpr std::uint64_t prime_squared = fnv_prime * fnv_prime;
  static constexpr std::uint64_t prime_cubed = prime_squared * fnv_prime;
  std::uint64_t h_;
};

std::uint8_t byte_of(std::int8_t v) { return static_cast<std::uint8_t>(v); }
std::uint8_t byte_of(ActorState v) { return static_cast<std::uint8_t>(v); }
std::uint8_t byte_of(GameStatus v) { return static_cast<std::uint8_t>(v); }

void header(HashStream& s, const World& w) {
  s.u64(w.tick);
  s.u64(w.seed);
  s.w32(w.xp_pool);
  s.low32(w.stage_index);
  s.u64(w.rng.state);
  s.w32(w.camera_x);
  s.low32(w.gate_index);
  s.low32(w.wave_index);
  s.w16(w.wave_countdown);
  s.b(w.gate_locked);
  s.b(w.wave_active);
  s.b(byte_of(w.over));
  s.b(w.fighting);
}

void actor_first(HashStream& s, const Actor& a) {
  s.b(a.kind);
  s.b(a.slot);
  s.b(byte_of(a.facing));
  s.b(byte_of(a.state));
  s.b(a.move);
  s.b(a.chain_queued);
  s.b(a.air_attacked);
  s.b(a.juggle);
  s.b(a.hitstop);
  s.b(a.gone);
  s.w32(a.x);
  s.w32(a.y);
  s.w32(a.z);
  s.w32(a.vx);
  s.w32(a.vy);
  s.w32(a.vz);
  s.w16(a.state_ticks);
  s.w16(a.stun);
  s.w16(a.invuln);
  s.w16(a.fp_regen);
  s.w16(a.prev_buttons);
  s.w16(a.ai_think);
  s.w16(a.ai_cooldown);
  s.w16(a.ai_buttons);
  s.b(a.winded);
  s.w16(a.stamina_delay);
  s.w16(a.stamina_regen);
  s.w32(a.hp);
  s.w32(a.fp);
  s.w32(a.sta);
  s.w32(a.silver);
  s.s8(a.ai_side);
  s.w8(a.ai_engaged);
  s.opt16(a.ai_lock);
  for (std::uint16_t id : a.hit_list) s.w16(id);
}

void actor_second(HashStream& s, const Actor& a) {
  for (const auto& worn : a.gear) s.opt16(worn);
  for (std::uint16_t item : a.bag) s.w16(item);
  s.w32(a.skill);
  s.w32(a.xp);
  s.b(a.work_kind);
  s.w16(a.work_target);
  s.w16(a.work_ticks);
}

void actor_third(HashStream& s, const Actor& a) {
  for (std::uint8_t art : a.arts) s.w8(art);
  s.w32(a.temp_hp);
  s.w16(a.temp_hp_ticks);
  s.w32(a.poison);
  s.w16(a.poison_counter);
  s.w16(a.poison_interval);
  s.w16(a.stealth);
  s.w32(a.vanish_speed);
  s.w8(a.vanish_strike);
  s.opt16(a.ai_target);
  s.w16(a.taunt_ticks);
  s.w16(a.ai_retreat);
  s.w16(a.ai_stand);
  s.b(a.ai_stand_armed);
  s.opt16(a.ai_threat);
  s.w8(a.special);
  s.opt16(a.quick);
  s.opt16(a.item_in_use);
  s.w32(a.ward_dr);
  s.w16(a.ward_ticks);
  s.w8(a.held);
  s.w32(a.mana);
  s.w16(a.mana_regen);
  s.w16(a.guard_cooldown);
}

void props(HashStream& s, const std::vector<Prop>& props) {
  for (const Prop& p : props) s.b(p.broken);
}

void chests(HashStream& s, const std::vector<Chest>& chests) {
  for (const Chest& c : chests) {
    s.b(c.locked);
    s.b(c.jammed);
    s.b(c.opened);
  }
}

void pickups(HashStream& s, const std::vector<Pickup>& pickups) {
  for (const Pickup& p : pickups) {
    s.w32(p.x);
    s.w32(p.z);
    s.b(p.taken);
  }
}

void doors_levers_traps(HashStream& s, const std::vector<DoorState>& doors, const std::vector<std::uint8_t>& levers,
                        const std::vector<TrapState>& traps) {
  for (const DoorState& d : doors) {
    s.b(d.found);
    s.b(d.searched);
  }
  for (std::uint8_t pulled : levers) s.b(pulled);
  for (const TrapState& t : traps) {
    s.b(t.state);
    s.b(t.searched);
  }
}

void stage_memory(HashStream& s, const std::vector<std::optional<StageState>>& memory) {
  for (std::size_t p = 0; p < memory.size(); ++p) {
    if (!memory[p]) continue;
    const StageState& m = *memory[p];
    s.low32(p);
    props(s, m.props);
    chests(s, m.chests);
    pickups(s, m.pickups);
    s.low32(m.gate_index);
    s.b(m.gate_locked);
    s.b(m.wave_active);
    doors_levers_traps(s, m.door_states, m.levers_pulled, m.trap_states);
    s = HashStream(hash_hazards(s.value(), m.hazards));
  }
}

}  // namespace

std::uint64_t hash_hazards(std::uint64_t h, const std::vector<Hazard>& hazards) {
  HashStream s(h);
  for (const Hazard& z : hazards) {
    s.w16(z.serial);
    s.w16(z.owner);
    s.w32(z.x);
    s.w32(z.z);
    s.w16(z.ticks);
    s.low32(z.hit_list.size());
  }
  return s.value();
}

std::uint64_t state_hash(const World& world) { return state_hash(world, game_data().data_hash); }

std::uint64_t state_hash(const World& w, std::uint64_t data_hash) {
  HashStream s(fnv_offset_basis);
  s.u64(data_hash);
  header(s, w);
  for (const Actor& a : w.actors) actor_first(s, a);
  props(s, w.props);
  chests(s, w.chests);
  for (const Actor& a : w.actors) actor_second(s, a);
  for (const Projectile& p : w.projectiles) {
    s.b(p.move);
    s.b(byte_of(p.facing));
    s.b(p.team);
    s.w16(p.owner);
    s.w16(p.serial);
    s.w32(p.age);
    s.w32(p.x);
    s.w32(p.y);
    s.w32(p.z);
  }
  pickups(s, w.pickups);
  doors_levers_traps(s, w.door_states, w.levers_pulled, w.trap_states);
  s = HashStream(hash_hazards(s.value(), w.hazards));
  for (const Actor& a : w.actors) actor_third(s, a);
  for (const Projectile& p : w.projectiles) s.opt16(p.thrown_item);
  stage_memory(s, w.stage_memory);
  return s.value();
}

}  // namespace velmora
