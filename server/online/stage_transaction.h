// One performance transaction per stage of an online game: opened when the
// stage starts, measured by the server loop tick by tick, finished once with
// how the stage ended ("cleared", "wiped", "left" or "abandoned") and sent
// to the collector when it was sampled at its start.
//
// The server loop's part:
//   GameTransaction t = open_stage_transaction(world, world.stage().name, traces_sample_rate());
//   ... each tick: record_tick(t, elapsed_us, period_us);
//   finish_transaction(std::move(t), "cleared");
// A loop that keeps its own counts opens with the stage's name, classes and
// party size instead, and sets ticks, slow_ticks and tick_us_max before the
// finish.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/world/world.h"
#include "web/error_events.h"
#include "web/error_reporter.h"
#include "web/json.h"

namespace velmora {

struct GameTransaction {
  std::string name;
  std::string trace_id;  // 32 hex digits
  std::string span_id;   // 16 hex digits
  JsonArr spans;         // child spans; the server adds none
  JsonMap tags;          // in the order added
  JsonMap extra;         // the measurements, added at the finish
  std::optional<std::string> parent_span_id;
  std::string_view op = "game.stage";
  std::int64_t start_ns = 0;  // wall clock at the opening, nanoseconds since 1970
  bool sampled = false;
  std::int64_t ticks = 0;        // ticks simulated in the stage
  std::int64_t slow_ticks = 0;   // ticks that overran the tick period
  std::int64_t tick_us_max = 0;  // the longest tick in microseconds
};

// Whether a transaction is sent: the rate above a number in [0, 1) made from
// the word's top 53 bits. A rate of 0 or below never samples, 1 or above always.
bool sampled_at(double sample_rate, std::uint64_t word);

// A new transaction with fresh identifiers, started now, sampled by a fresh
// random word against the rate.
GameTransaction game_transaction(std::string name, double sample_rate);

// The stage's transaction: named "stage NAME", tagged "stage" (the name),
// "classes" (the kind names of the player fighters, team 0, in actor order,
// joined with ",") and "players" (their number).
GameTransaction open_stage_transaction(const World& world, std::string_view stage, double sample_rate);

// The same from the names: "classes" is the joined list, "players" the count.
GameTransaction open_stage_transaction(std::string_view stage, std::string classes, std::uint64_t players,
                                       double sample_rate);

// Counts one tick that took elapsed_us against the tick period.
void record_tick(GameTransaction& transaction, std::int64_t elapsed_us, std::int64_t period_us);

// Adds the tag "result" and the measurements "ticks", "slow_ticks" and "tick_us_max".
void close_transaction(GameTransaction& transaction, std::string_view status);

// The transaction event of a closed transaction, finished at `timestamp`.
Json transaction_json(const ReporterConfig& config, const GameTransaction& transaction, std::string_view event_id,
                      std::string timestamp);

// Closes the transaction and, when the reporter is on and it was sampled,
// queues it as a "transaction" envelope.
void finish_transaction(Reporter* reporter, GameTransaction transaction, std::string_view status);

// The same on the process's reporter.
void finish_transaction(GameTransaction transaction, std::string_view status);

}  // namespace velmora
