// The whole state of one running stage, its per-stage part kept in memory
// when the party leaves through a door, new games and the stage switch.
//
// A World is made of plain values: the stage definition is referred to by its
// index into the immutable game data, the actors keep their short lists
// inline, and every other list is a std::vector of plain records. Copying a
// world into an existing world (`a = b`) reuses the target's storage, so the
// rollback copies of online play do not allocate once sizes have settled.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "core/base/fx.h"
#include "core/base/rng.h"
#include "core/base/small_vector.h"
#include "core/data/stage_file.h"
#include "core/world/actor.h"
#include "core/world/events.h"

namespace velmora {

// The state of the running stage.
enum class GameStatus : std::uint8_t { playing = 0, cleared = 1, wiped = 2 };

std::string_view game_status_word(GameStatus status);

// A barrel's content as the stage file gives it.
struct PropContent {
  BarrelContents contents = BarrelContents::food;
  std::int32_t amount = 0;
  bool operator==(const PropContent&) const = default;
};

// One breakable (barrel).
struct Prop {
  PropContent content;
  Fx x, z;
  std::uint16_t index = 0;  // position in the stage's barrel list
  std::uint8_t broken = 0;
  bool operator==(const Prop&) const = default;
};

// What a broken barrel leaves on the floor; a negative amount gives 0.
PickupContent barrel_pickup(const PropContent& content);

struct Pickup {
  PickupContent content;
  Fx x, z;
  std::uint16_t id = 0;  // the pickup list's length when it was added
  std::uint8_t taken = 0;
  bool operator==(const Pickup&) const = default;
};

struct Chest {
  std::uint64_t table = 0;  // loot table index
  Fx x, z;
  std::int32_t lock = 0;    // lock-picking penalty
  std::uint16_t index = 0;  // position in the stage's chest list
  std::uint8_t locked = 0;
  std::uint8_t jammed = 0;
  std::uint8_t opened = 0;
  bool operator==(const Chest&) const = default;
};

// Per door: found (1 once a secret door is found) and the searched set
// (bit 1 << (slot mod 8) per party slot that came within search distance).
struct DoorState {
  std::uint8_t found = 0;
  std::uint8_t searched = 0;
  bool operator==(const DoorState&) const = default;
};

inline constexpr std::uint8_t trap_unseen = 0;
inline constexpr std::uint8_t trap_seen = 1;
inline constexpr std::uint8_t trap_sprung = 2;
inline constexpr std::uint8_t trap_disarmed = 3;

// Per trap: its state (unseen 0, seen 1, sprung 2, disarmed 3) and the searched set.
struct TrapState {
  std::uint8_t state = 0;
  std::uint8_t searched = 0;
  bool operator==(const TrapState&) const = default;
};

// A laid ground hazard (caltrops). It hurts each actor once, so its hit list
// holds at most one entry per actor.
struct Hazard {
  HitList hit_list;
  Fx x, z;
  std::int32_t dice = 0;
  std::int32_t add = 0;
  std::uint16_t serial = 0;
  std::uint16_t owner = 0;  // actor id
  std::uint16_t ticks = 0;  // life left
  std::uint8_t team = 0;
  bool operator==(const Hazard&) const = default;
};

// A thrown or shot thing in flight.
struct Projectile {
  std::optional<std::uint16_t> thrown_item;
  Fx x, y, z;
  std::int32_t age = 0;  // whole centimetres flown
  std::uint16_t serial = 0;
  std::uint16_t owner = 0;  // actor id
  std::uint8_t team = 0;
  std::uint8_t move = 0;
  std::int8_t facing = 0;
  bool operator==(const Projectile&) const = default;
};

// An item whose use reached its first active frame in this tick's actor pass.
struct DeferredValue {
  std::uint64_t actor = 0;
  std::uint16_t item = 0;
  bool operator==(const DeferredValue&) const = default;
};

// A move with special effects that reached its first active frame.
struct DeferredMove {
  std::uint64_t actor = 0;
  std::uint8_t move = 0;
  bool operator==(const DeferredMove&) const = default;
};

// The part of a world that belongs to one stage; held in the stage memory
// while the party is elsewhere.
struct StageState {
  std::vector<Prop> props;
  std::vector<Pickup> pickups;
  std::vector<Chest> chests;
  std::vector<DoorState> door_states;
  std::vector<std::uint8_t> levers_pulled;
  std::vector<TrapState> trap_states;
  std::vector<Hazard> hazards;
  std::uint64_t gate_index = 0;
  std::uint64_t wave_index = 0;
  std::uint16_t wave_countdown = 0;
  std::uint8_t gate_locked = 0;
  std::uint8_t wave_active = 0;
  bool operator==(const StageState&) const = default;
};

struct World {
  std::optional<std::uint64_t> pending_door;  // a door of the stage used this tick
  std::vector<Actor> actors;                  // index = actor id; never shrinks
  std::vector<Prop> props;
  std::vector<Pickup> pickups;
  std::vector<Chest> chests;
  std::vector<Projectile> projectiles;
  std::vector<DoorState> door_states;     // one per door of the stage
  std::vector<std::uint8_t> levers_pulled;  // one per lever; 1 = pulled
  std::vector<TrapState> trap_states;     // one per trap
  std::vector<std::optional<StageState>> stage_memory;  // one per stage of the game data
  std::vector<Hazard> hazards;
  std::vector<DeferredValue> deferred_values;  // empty between ticks
  std::vector<DeferredMove> deferred_moves;    // empty between ticks
  std::vector<Event> events;                   // the last tick's, then the commands'
  std::uint64_t gate_index = 0;
  std::uint64_t wave_index = 0;
  std::uint16_t wave_countdown = 0;
  std::uint8_t gate_locked = 0;
  std::uint8_t wave_active = 0;
  std::uint64_t tick = 0;
  std::uint64_t seed = 0;
  Rng rng;
  Fx camera_x;
  std::int32_t view_w = 0;
  std::uint64_t stage_index = 0;  // the current stage in game_data().stages
  std::uint32_t xp_pool = 0;
  std::uint16_t next_projectile_serial = 0;
  std::uint16_t next_hazard_serial = 0;
  std::uint8_t fighting = 0;
  GameStatus over = GameStatus::playing;

  // The current stage's definition (read-only game data).
  const StageDef& stage() const;

  bool operator==(const World&) const = default;
};

// A game at the start of a stage: the index is clamped to the last stage, the
// party cut to its first four sheets (an empty party plays the default class).
World new_game(std::uint64_t stage, std::uint64_t seed, const std::vector<CharacterSheet>& party);

// The fresh live state of a stage.
StageState new_stage_state(std::uint64_t stage);

// Moves a stage state's lists and gate and wave fields into the world.
void install_stage_state(World& world, StageState&& state);

// The stage switch, the tick's last step: takes `pending_door` and, when it
// held a door and the stage is not over, keeps the current stage's state in
// the stage memory, enters the door's target stage, places the party there
// and appends the "area" event.
void switch_stage(World& world);

// The camera centre (whole centimetres) nearest to x that keeps a view of
// width view_w inside a stage of that length. A stage narrower than its view
// has no such centre; the camera then stays at half the view.
std::int64_t clamp_camera(std::int64_t x, std::int32_t view_w, std::int32_t length);

// A deep copy (the same as copying the value; named for the callers that keep
// snapshots).
World world_clone(const World& world);

}  // namespace velmora
