// The JSON views of the line protocol: the world view that every game reply
// carries, the actor entries inside it, and the event objects of a tick.
//
// Every view reads a World and the installed game data and changes nothing.
// Positions that the World keeps as Fx are shown in whole centimetres (shifted
// right by 8, rounding down); positions that the stage data keeps whole are
// shown as stored. A value that does not apply is -1 (ids in events), 0
// (numbers) or "" (texts), never null.
//
// A tick reply is written like this:
//   Json events = events_to_values(world.events, 0, world.events.size());
//   std::string line = view_text(world, std::move(events), debug);
//   line = json_text_add_field(std::move(line), "replay_saved", path);  // when needed
// view_text writes the text straight from the World without building a Json
// tree, and gives the same bytes as json_write of view_json.
#pragma once

#include <string>
#include <string_view>

#include "core/world/world.h"
#include "server/views/actor_view.h"
#include "server/views/event_json.h"
#include "web/json.h"

namespace velmora {

// The actor object of a view, 55 keys; the view's texts are moved in.
Json actor_json(ActorView view);

// The reply object {"ok","message","events","state"} and, while debug is on,
// "boxes" with the collision boxes of the tick. `events` is the event list
// already built; callers add their own keys after these.
Json view_json(const World& world, std::string_view message, Json events, bool debug);

// view_json with an empty message, written as one compact line of text; the
// fast road for tick replies (no Json tree is built for the state).
std::string view_text(const World& world, Json events, bool debug);

}  // namespace velmora
