// The clock seam: the game service reads the time only through a Clock, so
// that tests can set it. The simulation never reads a clock.
#pragma once

#include <chrono>
#include <cstdint>

namespace velmora {

class Clock {
 public:
  virtual ~Clock() = default;
  // Whole seconds since 1970-01-01 UTC; 0 when the clock is set earlier.
  virtual std::uint64_t wall_seconds() = 0;
  // Nanoseconds since 1970-01-01 UTC, wrapping to 64 bits.
  virtual std::uint64_t wall_nanoseconds() = 0;
  // A time that never goes back, for measuring intervals.
  virtual std::chrono::nanoseconds monotonic() = 0;
  // Waits for the period (the real clock sleeps; a test clock moves on).
  virtual void sleep_for(std::chrono::nanoseconds period);
};

// The system's clocks.
class RealClock : public Clock {
 public:
  std::uint64_t wall_seconds() override;
  std::uint64_t wall_nanoseconds() override;
  std::chrono::nanoseconds monotonic() override;
};

// The process-wide real clock.
RealClock& real_clock();

// A clock that stands still until a test moves it. The wall seconds follow
// the wall nanoseconds.
class FakeClock : public Clock {
 public:
  std::uint64_t wall_seconds() override { return wall_ns / 1'000'000'000; }
  std::uint64_t wall_nanoseconds() override { return wall_ns; }
  std::chrono::nanoseconds monotonic() override { return mono; }

  void set_wall_seconds(std::uint64_t seconds) { wall_ns = seconds * 1'000'000'000; }
  void advance(std::chrono::nanoseconds step) {
    wall_ns += static_cast<std::uint64_t>(step.count());
    mono += step;
  }
  void sleep_for(std::chrono::nanoseconds period) override { advance(period); }

  std::uint64_t wall_ns = 0;
  std::chrono::nanoseconds mono{0};
};

}  // namespace velmora
