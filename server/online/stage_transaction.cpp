#include "server/online/stage_transaction.h"

#include <algorithm>
#include <utility>

#include "core/base/text.h"
#include "core/world/actor.h"

namespace velmora {

bool sampled_at(double sample_rate, std::uint64_t word) {
  // 53 bits fit a double exactly, so the draw stays below 1 and a rate of 1
  // samples every transaction.
  const double draw = static_cast<double>(word >> 11) * 0x1p-53;
  return sample_rate > draw;
}

GameTransaction game_transaction(std::string name, double sample_rate) {
  GameTransaction t;
  t.name = std::move(name);
  t.sampled = sampled_at(sample_rate, random_word());
  t.trace_id = random_hex_id(2);
  t.span_id = random_hex_id(1);
  t.start_ns = wall_clock_nanoseconds();
  return t;
}

GameTransaction open_stage_transaction(const World& world, std::string_view stage, double sample_rate) {
  std::vector<std::string> classes;
  for (const Actor& actor : world.actors) {
    if (actor.team == 0) classes.push_back(kind_by_id(actor.kind).name);
  }
  return open_stage_transaction(stage, join(classes, ","), classes.size(), sample_rate);
}

GameTransaction open_stage_transaction(std::string_view stage, std::string classes, std::uint64_t players,
                                       double sample_rate) {
  GameTransaction t = game_transaction("stage " + std::string(stage), sample_rate);
  json_object_push_str(t.tags, "stage", std::string(stage));
  json_object_push_str(t.tags, "classes", std::move(classes));
  json_object_push_str(t.tags, "players", std::to_string(players));
  return t;
}

void record_tick(GameTransaction& t, std::int64_t elapsed_us, std::int64_t period_us) {
  ++t.ticks;
  if (elapsed_us > period_us) ++t.slow_ticks;
  t.tick_us_max = std::max(t.tick_us_max, elapsed_us);
}

void close_transaction(GameTransaction& t, std::string_view status) {
  json_object_push_str(t.tags, "result", std::string(status));
  json_object_push(t.extra, "ticks", t.ticks);
  json_object_push(t.extra, "slow_ticks", t.slow_ticks);
  json_object_push(t.extra, "tick_us_max", t.tick_us_max);
}

Json transaction_json(const ReporterConfig& config, const GameTransaction& t, std::string_view event_id,
                      std::string timestamp) {
  Json tags = Json::map(t.tags.size() + 1);
  tags.add_owned("service", config.logger);
  for (const auto& [key, value] : t.tags) tags.add_owned(key, value);
  Json trace = Json::object(5).add("trace_id", t.trace_id).add("span_id", t.span_id).add("op", t.op).add("status", "ok");
  if (t.parent_span_id) trace.add("parent_span_id", *t.parent_span_id);
  JsonObj fields;
  fields.reserve(7);
  fields.emplace_back("type", "transaction");
  fields.emplace_back("transaction", t.name);
  fields.emplace_back("start_timestamp", rfc3339_at(t.start_ns));
  fields.emplace_back("tags", std::move(tags));
  fields.emplace_back("contexts", Json::object(1).add("trace", std::move(trace)));
  fields.emplace_back("spans", Json(t.spans));
  fields.emplace_back("extra", Json(t.extra));
  return sentry_event_header(config, event_id, std::move(timestamp), std::move(fields));
}

void finish_transaction(Reporter* reporter, GameTransaction t, std::string_view status) {
  close_transaction(t, status);
  if (!reporter || !t.sampled) return;
  const std::string event_id = random_hex_id(2);
  const Json event = transaction_json(reporter->config(), t, event_id, rfc3339_timestamp());
  reporter->capture_event(
      envelope_text(reporter->config().dsn, event_id, rfc3339_timestamp(), "transaction", json_to_string(event)));
}

void finish_transaction(GameTransaction t, std::string_view status) {
  finish_transaction(active_reporter(), std::move(t), status);
}

}  // namespace velmora
