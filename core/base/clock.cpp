#include "core/base/clock.h"

#include <thread>

namespace velmora {

std::uint64_t RealClock::wall_seconds() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  const std::int64_t seconds = std::chrono::duration_cast<std::chrono::seconds>(since).count();
  return seconds > 0 ? static_cast<std::uint64_t>(seconds) : 0;
}

std::uint64_t RealClock::wall_nanoseconds() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  // The conversion to unsigned wraps, as the seed of a new game asks.
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(since).count());
}

std::chrono::nanoseconds RealClock::monotonic() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch());
}

void Clock::sleep_for(std::chrono::nanoseconds period) {
  if (period.count() > 0) std::this_thread::sleep_for(period);
}

RealClock& real_clock() {
  static RealClock clock;
  return clock;
}

}  // namespace velmora
