// Arbitrary bytes go to the replay reader: it must never crash and never
// accept more ticks than its limit. A record it accepts is written again; the
// text written must read back and write the same text once more. Records
// with few ticks are also played back.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <variant>

#include "core/replay/replay.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

constexpr std::uint64_t playback_ticks = 120;

std::uint64_t total_ticks(const velmora::ReplayRecord& record) {
  std::uint64_t total = 0;
  for (const auto& command : record.commands) {
    if (const auto* ticks = std::get_if<velmora::TicksCommand>(&command)) total += ticks->count;
  }
  return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const auto record = velmora::read_replay(input);
  if (!record.ok()) {
    if (record.message().empty()) fail("an empty message");
    return 0;
  }
  const std::uint64_t ticks = total_ticks(*record);
  if (ticks > velmora::max_replay_ticks) fail("more ticks than the limit");
  if (record->players < 1 || record->players > 4 || record->party.size() != record->players) {
    fail("a party that does not match its players");
  }

  const std::string written = velmora::write_replay(*record);
  const auto again = velmora::read_replay(written);
  if (!again.ok()) fail("written text does not read back");
  if (velmora::write_replay(*again) != written) fail("round trip changed the text");

  if (ticks <= playback_ticks) (void)velmora::play_back(*record);
  return 0;
}
