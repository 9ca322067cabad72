// The event objects of a tick as the line protocol shows them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "core/world/events.h"
#include "web/json.h"

namespace velmora {

// One event as the protocol shows it. The word and the detail are fixed
// protocol words or names of the installed game data, which lives as long as
// the process, so they are views and never dangle.
struct EventView {
  std::string_view word;
  std::string_view detail;  // "" when the kind has none
  std::int32_t actor = -1;
  std::int32_t target = -1;
  std::int32_t amount = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t z = 0;
  bool operator==(const EventView&) const = default;
};

// The flat view of one event.
EventView event_name(const Event& event);

// {"kind","actor","target","amount","detail","x","y","z"} of one view.
Json event_json(const EventView& view);

// A list with one event object per event of the run [start, start + count).
// A run reaching past the end of the list stops at its end.
Json events_json(std::span<const Event> events, std::size_t start, std::size_t count);

// The same for the run [start, end).
Json events_to_values(std::span<const Event> events, std::size_t start, std::size_t end);

}  // namespace velmora
