// What a computer-controlled player sees: its measures of the world and the
// read-only searches its decisions are made of. Positions are compared in
// whole centimetres; the distance between two actors is |dx| + |dz|. Every
// nearest or weakest search gives the lower actor id among equals.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/world/world.h"

namespace velmora {

// A whole-centimetre point on the floor.
struct FloorPoint {
  std::int64_t x = 0;
  std::int64_t z = 0;
  bool operator==(const FloorPoint&) const = default;
};

FloorPoint floor_point(const Actor& actor);

// The bot's own measures for one call.
struct BotView {
  const World& world;
  const Actor& bot;
  FloorPoint at;               // the bot's position
  std::int64_t camera_x = 0;   // whole centimetres
  std::int64_t half_view = 0;  // view_w / 2
  std::int64_t margin = 0;     // half view - 60: where pickups and barrels are sought
  std::int64_t near = 0;       // foes within 149 in x and 59 in z

  BotView(const World& world, const Actor& bot);
};

// The actor sets, each a test on one actor of the world's list.
enum class FoeSet : std::uint8_t {
  foes,        // another team, not gone, not knocked out
  candidates,  // foes neither down nor getting up
  on_screen,   // foes within the half view of the camera
  standing,    // on-screen foes neither falling, down nor getting up
  common,      // standing foes that are neither boss nor elite
};

bool in_set(const BotView& view, const Actor& actor, FoeSet set);

// Not gone, not knocked out, down or getting up, not invulnerable and not
// juggled twice: a blow could land on it now.
bool targetable(const Actor& actor);

// A player of the party (team 0, not gone, not knocked out).
bool live_player(const Actor& actor);

// The nearest member of a set from a point.
std::optional<std::size_t> nearest_by_distance(const BotView& view, FoeSet set, FloorPoint from);

// The other player lowest in hit points by percent, below half of them.
std::optional<std::size_t> weakest_ally(const BotView& view);

// The nearest ranged or caster candidate in view, within 449 of the bot.
std::optional<std::size_t> nearest_shooter(const BotView& view);

// The foe nearest in x within the band of a move of that depth.
std::optional<std::size_t> nearest_in_band(const BotView& view, std::int64_t depth);

// The on-screen foe nearest in x within a move's depth + 10.
std::optional<std::size_t> nearest_in_depth(const BotView& view, std::int64_t depth);

// The nearest targetable on-screen foe in the bot's lane, 150 to range - 50 away.
std::optional<std::size_t> nearest_in_lane(const BotView& view, std::int64_t range);

// Targetable on-screen foes ahead in direction dir (+1 or -1) within reach.
std::int64_t count_in_line(const BotView& view, int dir, std::int64_t reach, std::int64_t depth);

std::int64_t count_targetable_in_radius(const BotView& view, std::int64_t radius);

// On-screen foes within a radius of a centre, whatever their state.
std::int64_t count_in_radius(const BotView& view, FloorPoint centre, std::int64_t radius);

std::int64_t count_undead(const BotView& view);

// Another player below 40 % of its hit points with an on-screen foe close in x.
bool ally_in_danger(const BotView& view);

// An on-screen boss below half of its hit points.
bool wounded_boss(const BotView& view);

// The first food (while hurt) or silver in view that no seen trap guards.
std::optional<std::size_t> safe_pickup(const BotView& view);

// The first whole barrel in view that no seen trap guards.
std::optional<std::size_t> safe_prop(const BotView& view);

// The foe to fight: the nearest candidate, or, when none is within 150, the
// one nearest the weakest other player (vanguard, shepherd) or the nearest
// shooter (assassin).
std::optional<std::size_t> choose_target(const BotView& view);

// Where the party goes with no foe left, and whether the bot presses use there.
struct TravelGoal {
  FloorPoint at;
  bool use = false;
  bool operator==(const TravelGoal&) const = default;
};

TravelGoal travel_goal(const World& world, std::int64_t bot_x);

}  // namespace velmora
