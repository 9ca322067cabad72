// A bad network, made to order and the same every time for the same seed:
// the delay lines of the impairment relay. A datagram line delays, jitters,
// drops, duplicates and reorders what it carries; a stream line only delays
// and keeps every byte in order. Neither touches a socket or a clock: the
// caller says what time it is.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/result.h"
#include "core/base/rng.h"

namespace velmora {

using Nanos = std::chrono::nanoseconds;

// Chances are counted in hundredths of a percent: 10000 is always.
inline constexpr std::uint32_t chance_scale = 10000;
// A datagram held back to be reordered goes out right after the next one of
// its direction, or after this long when no other one comes.
inline constexpr Nanos reorder_hold_limit = std::chrono::milliseconds(50);
// Datagrams waiting in one direction at most; more are dropped as overflow.
inline constexpr std::size_t max_waiting_datagrams = 16384;
// Stream bytes waiting in one direction at most; the relay stops reading
// that side until the line has room again.
inline constexpr std::size_t max_waiting_stream_bytes = std::size_t{8} << 20;

// What one direction of the network does to what it carries.
struct Impairment {
  Nanos delay{0};
  Nanos jitter{0};          // the delay varies evenly by up to this either way
  std::uint32_t loss = 0;   // hundredths of a percent
  std::uint32_t reorder = 0;
  std::uint32_t duplicate = 0;
  bool operator==(const Impairment&) const = default;
};

// Client to server ("up") and server to client ("down").
struct ImpairmentSettings {
  Impairment up;
  Impairment down;
  std::uint64_t seed = 1;
  bool operator==(const ImpairmentSettings&) const = default;
};

// "5", "2.5" or "0.25" percent as hundredths of a percent; at most 100.
std::optional<std::uint32_t> parse_percent(std::string_view text);

// A setting for both directions ("50") or for each ("50/80": up, then down),
// read by `one`.
template <class T, class Read>
std::optional<std::pair<T, T>> parse_each_way(std::string_view text, Read one) {
  const std::size_t slash = text.find('/');
  const auto up = one(text.substr(0, slash));
  if (!up) return std::nullopt;
  if (slash == std::string_view::npos) return std::make_pair(*up, *up);
  const auto down = one(text.substr(slash + 1));
  if (!down) return std::nullopt;
  return std::make_pair(*up, *down);
}

// Sets one impairment option ("delay", "jitter" in whole milliseconds,
// "loss", "reorder", "duplicate" in percent) from its value, or says what is
// wrong with it.
Status set_impairment(ImpairmentSettings& settings, std::string_view option, std::string_view value);

// What one direction did, for the relay's report.
struct LineCounts {
  std::uint64_t sent = 0;        // datagrams given to the line
  std::uint64_t lost = 0;
  std::uint64_t duplicated = 0;  // extra copies made
  std::uint64_t reordered = 0;   // held back behind a later datagram
  std::uint64_t overflowed = 0;  // dropped because the line was full
  std::uint64_t delivered = 0;   // copies handed out
  std::uint64_t delay_sum_us = 0;  // over the copies handed out
  std::uint64_t delay_max_us = 0;
};

// One waiting datagram and where it goes (the relay's key of a client).
struct Datagram {
  std::string bytes;
  std::uint64_t route = 0;
  Nanos sent{0};
};

// One direction of datagrams.
class DatagramLine {
 public:
  DatagramLine(const Impairment& impairment, std::uint64_t seed);

  // A datagram sent now: lost, or queued once or twice for later.
  void push(Nanos now, std::string_view bytes, std::uint64_t route);
  // The datagrams due by now, in the order they arrive.
  std::vector<Datagram> take_due(Nanos now);
  // When the next datagram is due; none while the line is empty.
  std::optional<Nanos> next_due() const;
  const LineCounts& counts() const { return counts_; }

 private:
  Nanos draw_delay();
  bool draw(std::uint32_t chance);
  void queue(Nanos due, Datagram datagram);
  void release_held(Nanos at);

  Impairment impairment_;
  Rng rng_;
  std::map<std::pair<Nanos, std::uint64_t>, Datagram> waiting_;  // by due time, then arrival
  std::uint64_t order_ = 0;
  std::optional<std::pair<Nanos, Datagram>> held_;  // its own due time and itself
  LineCounts counts_;
};

// One direction of a byte stream: every byte comes out in order, `delay`
// after it went in, and so does the end of the stream.
class StreamLine {
 public:
  explicit StreamLine(Nanos delay) : delay_(delay) {}

  void push(Nanos now, std::string_view bytes);
  // The sender closed its side now; later bytes are not taken.
  void end(Nanos now);
  // The bytes due by now, in order, appended to `out`.
  void take_due(Nanos now, std::string& out);
  std::optional<Nanos> next_due() const;
  // Every byte taken and the end is due.
  bool ended(Nanos now) const { return chunks_.empty() && end_ && *end_ <= now; }
  bool closing() const { return end_.has_value(); }
  bool has_room() const { return waiting_ < max_waiting_stream_bytes; }

 private:
  Nanos delay_;
  std::deque<std::pair<Nanos, std::string>> chunks_;
  std::size_t waiting_ = 0;
  std::optional<Nanos> end_;
};

}  // namespace velmora
