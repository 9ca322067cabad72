#include "server/views/world_view.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <span>
#include <utility>

#include "core/rules/combat.h"
#include "server/views/view_words.h"

namespace velmora {

// ---------------------------------------------------------------------------
// Writing views
// ---------------------------------------------------------------------------
//
// One set of writers serves two outputs: TreeOut builds a Json value (for
// callers that add keys of their own), TextOut writes the same JSON text
// straight into a buffer (the hot road of every tick reply). Both take the
// same calls, so their results cannot drift apart: TextOut's text is exactly
// what json_write gives for TreeOut's value. Keys are words fixed here and
// never need escaping.

namespace {

// Builds a Json tree. Each open container is the last one added to its
// parent, and a parent only grows once its child is closed, so the pointers
// on the stack stay valid.
class TreeOut {
 public:
  void begin_object(std::size_t capacity) { open(Json::object(capacity)); }
  void end_object() { stack_.pop_back(); }
  void begin_array(std::size_t capacity) { open(Json::array(capacity)); }
  void end_array() { stack_.pop_back(); }
  void key(std::string_view key) { key_ = key; }
  void number(std::int64_t value) { put(Json(value)); }
  void flag(bool value) { put(Json(value)); }
  void text(std::string_view value) { put(Json(value)); }
  void owned_text(std::string&& value) { put(Json(std::move(value))); }
  void json(Json&& value) { put(std::move(value)); }

  Json take() { return std::move(root_); }

 private:
  Json* put(Json&& value) {
    if (stack_.empty()) {
      root_ = std::move(value);
      return &root_;
    }
    Json& top = *stack_.back();
    if (top.kind() == Json::Kind::Arr) {
      top.push(std::move(value));
      return &top.as_arr().back();
    }
    top.add(JsonKey(key_), std::move(value));
    return &top.as_obj().back().second;
  }
  void open(Json&& container) { stack_.push_back(put(std::move(container))); }

  Json root_;
  std::vector<Json*> stack_;
  std::string_view key_;
};

// Writes compact JSON text, escaping strings exactly as json_write does. It
// writes through a pointer into the text's storage, grown in large steps and
// cut back to what was written by `finish`.
class TextOut {
 public:
  explicit TextOut(std::string& out) : out_(out), end_(out.size()) { grow(0); }
  TextOut(const TextOut&) = delete;
  TextOut& operator=(const TextOut&) = delete;

  void finish() { out_.resize(end_); }

  void begin_object(std::size_t) { open('{'); }
  void end_object() { put('}'); }
  void begin_array(std::size_t) { open('['); }
  void end_array() { put(']'); }
  // A key fixed in the program: its length is known where it is written.
  template <std::size_t N>
  void key(const char (&key)[N]) {
    separate();
    char* at = room(N + 2);
    at[0] = '"';
    std::memcpy(at + 1, key, N - 1);
    at[N] = '"';
    at[N + 1] = ':';
    end_ += N + 2;
  }
  void number(std::int64_t value) {
    separate();
    constexpr std::size_t longest = 20;  // "-9223372036854775808"
    char* at = room(longest);
    end_ += static_cast<std::size_t>(std::to_chars(at, at + longest, value).ptr - at);
  }
  void flag(bool value) {
    separate();
    if (value) {
      std::memcpy(room(4), "true", 4);
      end_ += 4;
    } else {
      std::memcpy(room(5), "false", 5);
      end_ += 5;
    }
  }
  void text(std::string_view value) {
    separate();
    std::size_t i = 0;
    while (i < value.size() && !needs_escape(value[i])) ++i;
    if (i < value.size()) return escaped(value, i);
    char* at = room(value.size() + 2);
    at[0] = '"';
    if (!value.empty()) std::memcpy(at + 1, value.data(), value.size());
    at[value.size() + 1] = '"';
    end_ += value.size() + 2;
  }
  void owned_text(std::string&& value) { text(value); }
  void json(Json&& value) {
    separate();
    out_.resize(end_);
    json_write(value, out_);
    end_ = out_.size();
    grow(0);
  }

 private:
  static bool needs_escape(char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == '"' || byte == '\\';
  }
  char* room(std::size_t n) {
    if (size_ - end_ < n) [[unlikely]] grow(n);
    return data_ + end_;
  }
  // Kept out of line so that room stays small enough to inline. The text
  // doubles, within the capacity reserved while that is enough: every byte
  // resize adds is zeroed first, so a jump to a large capacity would cost.
  [[gnu::noinline]] void grow(std::size_t n) {
    const std::size_t least = end_ + n + 1024;
    const std::size_t doubled = std::max(least, out_.size() * 2);
    out_.resize(least <= out_.capacity() ? std::min(doubled, out_.capacity()) : doubled);
    data_ = out_.data();
    size_ = out_.size();
  }
  void put(char c) {
    *room(1) = c;
    ++end_;
  }
  void open(char bracket) {
    separate();
    put(bracket);
  }
  // A comma goes before every entry but the first of its list or object; a
  // value right after its key takes none. Every complete value ends in a
  // quote, a digit, a letter or a closing bracket, never in these three.
  void separate() {
    if (end_ == 0) return;
    const char last = data_[end_ - 1];
    if (last != '{' && last != '[' && last != ':') put(',');
  }
  // The slow road, for a text with a byte to escape at `first` or later.
  void escaped(std::string_view value, std::size_t first) {
    static constexpr char hex[] = "0123456789abcdef";
    put('"');
    std::size_t run = 0;  // start of the bytes not yet copied
    for (std::size_t i = first; i < value.size(); ++i) {
      if (!needs_escape(value[i])) continue;
      append(value.data() + run, i - run);
      run = i + 1;
      const auto byte = static_cast<unsigned char>(value[i]);
      switch (byte) {
        case '"': append("\\\"", 2); break;
        case '\\': append("\\\\", 2); break;
        case '\t': append("\\t", 2); break;
        case '\n': append("\\n", 2); break;
        case '\r': append("\\r", 2); break;
        default: {
          const char unit[6] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
          append(unit, sizeof unit);
        }
      }
    }
    append(value.data() + run, value.size() - run);
    put('"');
  }
  void append(const char* bytes, std::size_t n) {
    if (n == 0) return;
    std::memcpy(room(n), bytes, n);
    end_ += n;
  }

  std::string& out_;
  char* data_ = nullptr;  // out_'s storage
  std::size_t size_ = 0;  // out_'s size, the room there is
  std::size_t end_;       // end of the text written
};

// One key and its value.
template <class Out, std::size_t N>
void put_num(Out& out, const char (&key)[N], std::int64_t value) {
  out.key(key);
  out.number(value);
}
template <class Out, std::size_t N>
void put_flag(Out& out, const char (&key)[N], bool value) {
  out.key(key);
  out.flag(value);
}
template <class Out, std::size_t N>
void put_text(Out& out, const char (&key)[N], std::string_view value) {
  out.key(key);
  out.text(value);
}
// A text of a view, moved out of it.
template <class Out, std::size_t N>
void put_owned(Out& out, const char (&key)[N], std::string& value) {
  out.key(key);
  out.owned_text(std::move(value));
}

// ---------------------------------------------------------------------------
// Actor objects
// ---------------------------------------------------------------------------

template <class Out, std::size_t N>
void write_texts(Out& out, const char (&key)[N], std::span<std::string> texts) {
  out.key(key);
  out.begin_array(texts.size());
  for (std::string& text : texts) out.owned_text(std::move(text));
  out.end_array();
}

template <class Out>
void write_special(Out& out, SpecialView& s) {
  out.begin_object(9);
  put_owned(out, "name", s.name);
  put_owned(out, "title", s.title);
  put_num(out, "fp", s.fp);
  put_flag(out, "spell", s.spell);
  put_num(out, "requires", s.requires_skill);
  put_flag(out, "unlocked", s.unlocked);
  put_flag(out, "learned", s.learned);
  put_num(out, "price", s.price);
  put_owned(out, "blurb", s.blurb);
  out.end_object();
}

// The 55 keys of one actor in three runs; the view's texts are moved out.
// Keys 1 to 14: who and where the actor is and what it is doing.
template <class Out>
void write_actor_motion(Out& out, ActorView& v) {
  put_num(out, "id", v.id);
  put_owned(out, "kind", v.kind);
  put_flag(out, "player", v.player);
  put_num(out, "slot", v.slot);
  put_num(out, "x", v.x);
  put_num(out, "y", v.y);
  put_num(out, "z", v.z);
  put_num(out, "facing", v.facing);
  put_owned(out, "state", v.state);
  put_owned(out, "move", v.move);
  put_owned(out, "phase", v.phase);
  put_num(out, "frame", v.frame);
  put_num(out, "phase_frame", v.phase_frame);
  put_num(out, "phase_len", v.phase_len);
}

// Keys 15 to 37: pools, silver, gear and bag, work, armour and experience.
template <class Out>
void write_actor_pools(Out& out, ActorView& v) {
  put_num(out, "hp", v.hp);
  put_num(out, "hp_max", v.hp_max);
  put_num(out, "fp", v.fp);
  put_num(out, "fp_max", v.fp_max);
  put_num(out, "mana", v.mana);
  put_num(out, "mana_max", v.mana_max);
  put_num(out, "sta", v.sta);
  put_num(out, "sta_max", v.sta_max);
  put_flag(out, "winded", v.winded);
  put_num(out, "silver", v.silver);
  write_texts(out, "gear", v.gear);
  write_texts(out, "gear_models", v.gear_models);
  write_texts(out, "bag", v.bag);
  put_num(out, "bag_value", v.bag_value);
  put_num(out, "carried", v.carried);
  put_num(out, "encumbrance", v.encumbrance);
  put_owned(out, "work", v.work);
  put_num(out, "work_pct", v.work_pct);
  put_num(out, "dr", v.dr);
  put_num(out, "fatigue", v.fatigue);
  put_num(out, "skill", v.skill);
  put_num(out, "xp", v.xp);
  put_num(out, "points", v.points);
}

// Keys 38 to 55: the quick item, the specials and the statuses.
template <class Out>
void write_actor_statuses(Out& out, ActorView& v) {
  put_flag(out, "invuln", v.invuln);
  put_flag(out, "frozen", v.frozen);
  put_owned(out, "quick", v.quick);
  put_owned(out, "quick_title", v.quick_title);
  put_owned(out, "quick_model", v.quick_model);
  put_num(out, "quick_count", v.quick_count);
  put_num(out, "quick_kinds", v.quick_kinds);
  put_owned(out, "quick_prev_model", v.quick_prev_model);
  put_owned(out, "quick_next_model", v.quick_next_model);
  put_num(out, "ward", v.ward);
  out.key("specials");
  out.begin_array(v.specials.size());
  for (SpecialView& s : v.specials) write_special(out, s);
  out.end_array();
  put_num(out, "special", v.special);
  put_num(out, "temp_hp", v.temp_hp);
  put_flag(out, "poisoned", v.poisoned);
  put_flag(out, "stealth", v.stealth);
  put_flag(out, "taunted", v.taunted);
  put_owned(out, "held", v.held);
  put_owned(out, "guard", v.guard);
}

template <class Out>
void write_actor(Out& out, ActorView& v) {
  out.begin_object(55);
  write_actor_motion(out, v);
  write_actor_pools(out, v);
  write_actor_statuses(out, v);
  out.end_object();
}

// ---------------------------------------------------------------------------
// The state object
// ---------------------------------------------------------------------------

template <class Out, std::size_t N>
void write_point(Out& out, const char (&key)[N], const std::optional<Point>& point) {
  out.key(key);
  out.begin_array(point ? 2 : 0);
  if (point) {
    out.number(point->x);
    out.number(point->z);
  }
  out.end_array();
}

template <class Out>
void write_gate(Out& out, const World& world, const StageDef& stage) {
  const std::size_t count = stage.gates.size();
  const std::size_t waves = world.gate_index < count ? stage.gates[world.gate_index].waves.size() : 0;
  out.key("gate");
  out.begin_object(6);
  put_num(out, "index", static_cast<std::int64_t>(world.gate_index));
  put_num(out, "count", static_cast<std::int64_t>(count));
  put_flag(out, "active", world.gate_locked != 0);
  put_num(out, "wave", static_cast<std::int64_t>(world.wave_index));
  put_num(out, "waves", static_cast<std::int64_t>(waves));
  out.key("centers");
  out.begin_array(count);
  for (const GateDef& gate : stage.gates) out.number(gate.center_x);
  out.end_array();
  out.end_object();
}

template <class Out>
void write_props(Out& out, const World& world) {
  out.key("props");
  out.begin_array(world.props.size());
  for (const Prop& p : world.props) {
    out.begin_object(5);
    put_num(out, "id", p.index);
    put_text(out, "kind", "barrel");
    put_num(out, "x", whole(p.x));
    put_num(out, "z", whole(p.z));
    put_flag(out, "broken", p.broken != 0);
    out.end_object();
  }
  out.end_array();
}

// Food and silver show their amount; an item shows its id, name, title and model.
template <class Out>
void write_pickup(Out& out, const Pickup& p) {
  const bool item = p.content.tag != PickupTag::food && p.content.tag != PickupTag::silver;
  const ItemDef* def = item ? &item_def(p.content.item) : nullptr;
  out.begin_object(8);
  put_num(out, "id", p.id);
  put_text(out, "kind", pickup_detail(p.content.tag));
  put_num(out, "amount", item ? std::int64_t{p.content.item} : std::int64_t{p.content.amount});
  put_text(out, "item", def ? std::string_view(def->name) : "");
  put_text(out, "title", def ? std::string_view(def->title) : "");
  put_text(out, "model", def ? std::string_view(def->model) : "");
  put_num(out, "x", whole(p.x));
  put_num(out, "z", whole(p.z));
  out.end_object();
}

template <class Out>
void write_pickups(Out& out, const World& world) {
  out.key("pickups");
  out.begin_array(world.pickups.size());
  for (const Pickup& p : world.pickups) {
    if (p.taken == 0) write_pickup(out, p);
  }
  out.end_array();
}

std::string_view chest_word(const Chest& c) {
  if (c.opened != 0) return "open";
  if (c.jammed != 0) return "jammed";
  if (c.locked != 0) return "locked";
  return "closed";
}

template <class Out>
void write_chests(Out& out, const World& world) {
  out.key("chests");
  out.begin_array(world.chests.size());
  for (const Chest& c : world.chests) {
    out.begin_object(4);
    put_num(out, "id", c.index);
    put_num(out, "x", whole(c.x));
    put_num(out, "z", whole(c.z));
    put_text(out, "state", chest_word(c));
    out.end_object();
  }
  out.end_array();
}

// The view shows a projectile at the middle of its move's height band.
std::int64_t projectile_y(const Projectile& p, const MoveDef& m) {
  return std::int64_t{whole(p.y)} + (std::int64_t{m.height.from} + m.height.to) / 2;
}

template <class Out>
void write_projectiles(Out& out, const World& world) {
  out.key("projectiles");
  out.begin_array(world.projectiles.size());
  for (const Projectile& p : world.projectiles) {
    const MoveDef& m = move_def(p.move);
    out.begin_object(7);
    put_num(out, "id", p.serial);
    put_text(out, "kind", m.name);
    put_text(out, "model", p.thrown_item ? std::string_view(item_def(*p.thrown_item).model) : "");
    put_num(out, "x", whole(p.x));
    put_num(out, "y", projectile_y(p, m));
    put_num(out, "z", whole(p.z));
    put_num(out, "dir", p.facing);
    out.end_object();
  }
  out.end_array();
}

template <class Out>
void write_hazards(Out& out, const World& world) {
  out.key("hazards");
  out.begin_array(world.hazards.size());
  for (const Hazard& h : world.hazards) {
    out.begin_object(3);
    put_num(out, "id", h.serial);
    put_num(out, "x", whole(h.x));
    put_num(out, "z", whole(h.z));
    out.end_object();
  }
  out.end_array();
}

// Plain doors always; a secret door once it has been found. Ids are indexes
// in the stage's full door list, so they can have gaps.
template <class Out>
void write_doors(Out& out, const World& world, const StageDef& stage) {
  out.key("doors");
  out.begin_array(stage.doors.size());
  for (std::size_t i = 0; i < stage.doors.size(); ++i) {
    const DoorDef& d = stage.doors[i];
    const bool found = i < world.door_states.size() && world.door_states[i].found == 1;
    if (d.secret && !found) continue;
    out.begin_object(5);
    put_num(out, "id", static_cast<std::int64_t>(i));
    put_num(out, "x", d.x);
    put_num(out, "z", d.z);
    put_text(out, "title", d.title);
    put_flag(out, "secret", d.secret);
    out.end_object();
  }
  out.end_array();
}

bool lever_pulled(const World& world, std::size_t i) {
  return i < world.levers_pulled.size() && world.levers_pulled[i] != 0;
}

template <class Out>
void write_levers(Out& out, const World& world, const StageDef& stage) {
  out.key("levers");
  out.begin_array(stage.levers.size());
  for (std::size_t i = 0; i < stage.levers.size(); ++i) {
    out.begin_object(4);
    put_num(out, "id", static_cast<std::int64_t>(i));
    put_num(out, "x", stage.levers[i].x);
    put_num(out, "z", stage.levers[i].z);
    put_flag(out, "pulled", lever_pulled(world, i));
    out.end_object();
  }
  out.end_array();
}

// A barrier is open when a pulled lever names its x.
template <class Out>
void write_barriers(Out& out, const World& world, const StageDef& stage) {
  const std::size_t levers = std::min(stage.levers.size(), world.levers_pulled.size());
  out.key("barriers");
  out.begin_array(stage.barriers.size());
  for (const std::int32_t b : stage.barriers) {
    bool open = false;
    for (std::size_t i = 0; i < levers && !open; ++i) open = lever_pulled(world, i) && stage.levers[i].barrier_x == b;
    out.begin_object(2);
    put_num(out, "x", b);
    put_flag(out, "open", open);
    out.end_object();
  }
  out.end_array();
}

std::string_view trap_word(std::uint8_t state) {
  switch (state) {
    case trap_seen: return "seen";
    case trap_sprung: return "sprung";
    case trap_disarmed: return "disarmed";
    default: return "";
  }
}

// Traps nobody has found yet are left out.
template <class Out>
void write_traps(Out& out, const World& world, const StageDef& stage) {
  out.key("traps");
  out.begin_array(stage.traps.size());
  const std::size_t count = std::min(stage.traps.size(), world.trap_states.size());
  for (std::size_t i = 0; i < count; ++i) {
    const std::string_view word = trap_word(world.trap_states[i].state);
    if (word.empty()) continue;
    out.begin_object(4);
    put_num(out, "id", static_cast<std::int64_t>(i));
    put_num(out, "x", stage.traps[i].x);
    put_num(out, "z", stage.traps[i].z);
    put_text(out, "state", word);
    out.end_object();
  }
  out.end_array();
}

template <class Out>
void write_actors(Out& out, const World& world) {
  out.key("actors");
  out.begin_array(world.actors.size());
  ActorCursor cursor{world};
  while (std::optional<ActorView> view = actor_view(cursor)) write_actor(out, *view);
  out.end_array();
}

// The display name, section name, interior flag and look come from the game
// data's record of the stage; the rest of the stage's values from the World's.
template <class Out>
void write_state(Out& out, const World& world) {
  const StageDef& data_stage = stage_at(world.stage_index);
  const StageDef& stage = world.stage();
  out.begin_object(28);
  put_num(out, "tick", static_cast<std::int64_t>(world.tick));
  put_text(out, "status", game_status_word(world.over));
  put_flag(out, "in_combat", world.fighting != 0);
  put_text(out, "stage", data_stage.title);
  put_text(out, "stage_id", data_stage.name);
  put_flag(out, "town", stage.town);
  write_point(out, "shop_at", stage.shop_at);
  write_point(out, "inn_at", stage.inn_at);
  write_point(out, "trainer_at", stage.trainer_at);
  put_num(out, "length", stage.length);
  put_num(out, "depth", stage.depth);
  put_num(out, "camera_x", whole(world.camera_x));
  put_num(out, "view_w", world.view_w);
  write_gate(out, world, stage);
  put_num(out, "exit_x", stage.exit_x);
  put_flag(out, "exit_open", stage.exit_x >= 1 && world.gate_index >= stage.gates.size());
  write_actors(out, world);
  write_props(out, world);
  write_pickups(out, world);
  write_chests(out, world);
  write_projectiles(out, world);
  put_flag(out, "interior", data_stage.interior);
  put_text(out, "look", data_stage.look);
  write_hazards(out, world);
  write_doors(out, world, stage);
  write_levers(out, world, stage);
  write_barriers(out, world, stage);
  write_traps(out, world, stage);
  out.end_object();
}

// ---------------------------------------------------------------------------
// Debug boxes
// ---------------------------------------------------------------------------

struct Box {
  std::string_view kind;
  std::int64_t actor, x0, x1, y0, y1, z0, z1;
};

template <class Out>
void write_box(Out& out, const Box& b) {
  out.begin_object(8);
  put_text(out, "kind", b.kind);
  put_num(out, "actor", b.actor);
  put_num(out, "x0", b.x0);
  put_num(out, "x1", b.x1);
  put_num(out, "y0", b.y0);
  put_num(out, "y1", b.y1);
  put_num(out, "z0", b.z0);
  put_num(out, "z1", b.z1);
  out.end_object();
}

bool hurt_off(const Actor& a) {
  return a.state == ActorState::down || a.state == ActorState::getup || a.invuln != 0 ||
         (a.state == ActorState::fall && a.juggle >= 2);
}

// The body box: upright, or lying along x while falling or down.
Box body_box(const Actor& a) {
  const KindDef& kind = kind_by_id(a.kind);
  const std::int64_t w = kind.body[0];
  const std::int64_t h = kind.body[1];
  const std::int64_t x = whole(a.x);
  const std::int64_t y = whole(a.y);
  const std::int64_t z = whole(a.z);
  const std::string_view word = hurt_off(a) ? "hurt_off" : "hurt";
  if (a.state == ActorState::fall || a.state == ActorState::down) {
    const std::int64_t lying = h * 7 / 10;
    return {word, a.id, x - lying, x + lying, y, y + 2 * w, z - 20, z + 20};
  }
  return {word, a.id, x - w, x + w, y, y + h, z - 20, z + 20};
}

std::string_view attack_phase_word(const Actor& a) {
  const MoveDef& m = move_def(a.move);
  const std::int32_t f = a.state_ticks;
  if (f < m.startup) return "windup";
  if (f < std::int32_t{m.startup} + m.active) return "hit";
  return "spent";
}

Box projectile_box(const Projectile& p) {
  const MoveDef& m = move_def(p.move);
  const std::int64_t x = whole(p.x);
  const std::int64_t y = whole(p.y);
  const std::int64_t z = whole(p.z);
  const std::int64_t f0 = m.forward.from;
  const std::int64_t f1 = m.forward.to;
  const bool right = p.facing >= 1;
  return {"hit",          p.owner, right ? x + f0 : x - f1, right ? x + f1 : x - f0, y + m.height.from,
          y + m.height.to, z - m.depth, z + m.depth};
}

// Body boxes of the actors still standing in the fight, each followed by its
// attack box; then projectiles; then the whole barrels.
template <class Out>
void write_boxes(Out& out, const World& world) {
  out.key("boxes");
  out.begin_array(2 * world.actors.size() + world.projectiles.size() + world.props.size());
  for (const Actor& a : world.actors) {
    if (a.gone != 0 || a.state == ActorState::ko) continue;
    write_box(out, body_box(a));
    if (const std::optional<AttackBox> box = attack_box(a)) {
      write_box(out, Box{attack_phase_word(a), a.id, box->x0, box->x1, box->y0, box->y1, box->z0, box->z1});
    }
  }
  for (const Projectile& p : world.projectiles) write_box(out, projectile_box(p));
  for (const Prop& p : world.props) {
    if (p.broken != 0) continue;
    const std::int64_t x = whole(p.x);
    const std::int64_t z = whole(p.z);
    write_box(out, Box{"prop", -1, x - 35, x + 35, 0, 100, z - 20, z + 20});
  }
  out.end_array();
}

template <class Out>
void write_reply(Out& out, const World& world, std::string_view message, Json&& events, bool debug) {
  out.begin_object(debug ? 5 : 4);
  put_flag(out, "ok", true);
  put_text(out, "message", message);
  out.key("events");
  out.json(std::move(events));
  out.key("state");
  write_state(out, world);
  if (debug) write_boxes(out, world);
  out.end_object();
}

}  // namespace

Json actor_json(ActorView view) {
  TreeOut out;
  write_actor(out, view);
  return out.take();
}

Json view_json(const World& world, std::string_view message, Json events, bool debug) {
  TreeOut out;
  write_reply(out, world, message, std::move(events), debug);
  return out.take();
}

std::string view_text(const World& world, Json events, bool debug) {
  std::string text;
  text.reserve(4096 + 1536 * world.actors.size() + 160 * (world.props.size() + world.projectiles.size()));
  TextOut out(text);
  write_reply(out, world, "", std::move(events), debug);
  out.finish();
  return text;
}

}  // namespace velmora
