#include "web/error_events.h"

#include <bit>
#include <cstdio>
#include <random>

#include "core/base/clock.h"
#include "core/base/text.h"
#include "web/http_wire.h"

namespace velmora {

namespace {

std::uint64_t sip_load(std::string_view bytes, std::size_t at, std::size_t count) {
  std::uint64_t word = 0;
  for (std::size_t k = 0; k < count; ++k) {
    word |= static_cast<std::uint64_t>(static_cast<unsigned char>(bytes[at + k])) << (8 * k);
  }
  return word;
}

struct SipState {
  std::uint64_t v0, v1, v2, v3;

  void round() {
    v0 += v1;
    v1 = std::rotl(v1, 13) ^ v0;
    v0 = std::rotl(v0, 32);
    v2 += v3;
    v3 = std::rotl(v3, 16) ^ v2;
    v0 += v3;
    v3 = std::rotl(v3, 21) ^ v0;
    v2 += v1;
    v1 = std::rotl(v1, 17) ^ v2;
    v2 = std::rotl(v2, 32);
  }
  void compress(std::uint64_t m, int rounds) {
    v3 ^= m;
    for (int r = 0; r < rounds; ++r) round();
    v0 ^= m;
  }
};

// The per-thread keys of random_word, drawn on the thread's first call.
struct ThreadKeys {
  std::uint64_t k0 = 0;
  std::uint64_t k1 = 0;
  bool drawn = false;
};

std::uint64_t draw_key(std::random_device& source) {
  return (static_cast<std::uint64_t>(source()) << 32) ^ static_cast<std::uint64_t>(source());
}

}  // namespace

std::string rfc3339_at(std::int64_t unix_nanoseconds) {
  const std::int64_t ns = unix_nanoseconds < 0 ? 0 : unix_nanoseconds;
  const std::int64_t seconds = ns / 1'000'000'000;
  const std::int64_t micros = ns % 1'000'000'000 / 1000;
  const std::int64_t days = seconds / 86400;
  const std::int64_t in_day = seconds % 86400;
  // Days to the civil date, in eras of 400 years from 0000-03-01.
  const std::int64_t z = days + 719468;
  const std::int64_t era = z / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
  char text[40];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lld.%06lldZ", static_cast<long long>(year),
                static_cast<long long>(month), static_cast<long long>(day), static_cast<long long>(in_day / 3600),
                static_cast<long long>(in_day % 3600 / 60), static_cast<long long>(in_day % 60),
                static_cast<long long>(micros));
  return text;
}

std::int64_t wall_clock_nanoseconds() {
  // The clock's unsigned count wraps below 1970; as a signed number that is negative.
  return static_cast<std::int64_t>(real_clock().wall_nanoseconds());
}

std::string rfc3339_timestamp() { return rfc3339_at(wall_clock_nanoseconds()); }

std::uint64_t siphash(std::uint64_t k0, std::uint64_t k1, std::string_view bytes, int c_rounds, int d_rounds) {
  SipState s{k0 ^ 0x736f6d6570736575ULL, k1 ^ 0x646f72616e646f6dULL, k0 ^ 0x6c7967656e657261ULL,
             k1 ^ 0x7465646279746573ULL};
  const std::size_t whole = bytes.size() / 8 * 8;
  for (std::size_t at = 0; at < whole; at += 8) s.compress(sip_load(bytes, at, 8), c_rounds);
  const std::uint64_t last = sip_load(bytes, whole, bytes.size() - whole) | (static_cast<std::uint64_t>(bytes.size()) << 56);
  s.compress(last, c_rounds);
  s.v2 ^= 0xff;
  for (int r = 0; r < d_rounds; ++r) s.round();
  return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

std::uint64_t random_word() {
  thread_local ThreadKeys keys;
  if (!keys.drawn) {
    std::random_device source;
    keys.k0 = draw_key(source);
    keys.k1 = draw_key(source);
    keys.drawn = true;
  }
  const std::int64_t now = wall_clock_nanoseconds();
  const std::uint64_t low = now < 0 ? 0 : static_cast<std::uint64_t>(now);
  // The time as a 128-bit little-endian number; the high half is zero.
  char bytes[16] = {};
  for (int k = 0; k < 8; ++k) bytes[k] = static_cast<char>(low >> (8 * k));
  const std::uint64_t word = siphash(keys.k0, keys.k1, std::string_view(bytes, 16), 1, 3);
  ++keys.k0;
  return word;
}

std::string random_hex_id(int words) {
  std::string id = hex16(random_word());
  if (words == 2) id += hex16(random_word());
  return id;
}

Json breadcrumb_json(const Breadcrumb& crumb) {
  return Json::object(4)
      .add("timestamp", crumb.timestamp)
      .add("level", crumb.level)
      .add("category", "log")
      .add("message", crumb.message);
}

Json sentry_event_header(const ReporterConfig& config, std::string_view event_id, std::string timestamp,
                         JsonObj fields) {
  Json event = Json::object(8 + fields.size());
  event.add("event_id", event_id)
      .add("timestamp", std::move(timestamp))
      .add("platform", "native")
      .add("logger", config.logger)
      .add("release", config.release)
      .add("environment", config.environment)
      .add("sdk", Json::object(2).add("name", "velmora.web").add("version", reporter_version));
  if (!config.server_name.empty()) event.add("server_name", config.server_name);
  for (auto& field : fields) event.as_obj().push_back(std::move(field));
  return event;
}

JsonObj error_event_fields(std::string_view level, std::string_view message, std::string_view logger,
                           const std::vector<Breadcrumb>& crumbs, std::optional<EventExtra> extra) {
  Json values = Json::array(crumbs.size());
  for (const Breadcrumb& crumb : crumbs) values.push(breadcrumb_json(crumb));
  JsonObj fields;
  fields.reserve(5);
  fields.emplace_back("level", level);
  fields.emplace_back("message", Json::object(1).add("formatted", message));
  fields.emplace_back("tags", Json::object(1).add("service", logger));
  fields.emplace_back("breadcrumbs", Json::object(1).add("values", std::move(values)));
  if (extra) fields.push_back(std::move(*extra));
  return fields;
}

Json panic_exception(std::string_view message, std::string_view thread_label, const PanicPlace& place) {
  Json frame = Json::object(5)
                   .add("function", thread_label)
                   .add("in_app", true)
                   .add("filename", std::string_view(place.file ? place.file : ""))
                   .add("lineno", place.line)
                   .add("colno", place.column);
  Json value = Json::object(4)
                   .add("type", "panic")
                   .add("value", message)
                   .add("mechanism", Json::object(2).add("type", "panic").add("handled", false))
                   .add("stacktrace", Json::object(1).add("frames", Json::array(1).push(std::move(frame))));
  return Json::object(1).add("values", Json::array(1).push(std::move(value)));
}

std::string envelope_text(std::string_view dsn, std::string_view event_id, std::string_view sent_at,
                          std::string_view item_type, std::string_view payload) {
  const std::string body = utf8_lossy(payload);
  std::string out = utf8_lossy(json_to_string(
      Json::object(3).add("event_id", event_id).add("dsn", dsn).add("sent_at", sent_at)));
  out += '\n';
  json_write(Json::object(2).add("type", item_type).add("length", body.size()), out);
  out += '\n';
  out += body;
  out += '\n';
  return out;
}

}  // namespace velmora
