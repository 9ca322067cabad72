// The texts the error reporter sends to a Sentry-protocol collector: error
// events with their breadcrumbs, the panic's exception entry, the envelope
// that wraps every payload, RFC 3339 timestamps and random identifiers.
//
// The builders take their identifiers and timestamps as arguments, so that a
// test can compare whole texts; the reporter fills them from the clock and
// `random_word`. Keys are written in the order they are added.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/base/panic.h"
#include "web/json.h"

namespace velmora {

inline constexpr std::string_view reporter_version = "0.3.0";

// What the reporter was configured with, as its events and envelopes carry it.
struct ReporterConfig {
  std::string key;          // the DSN's public key
  std::string endpoint;     // http://HOST[:80]PREFIX/api/PROJECT/envelope/
  std::string dsn;          // SENTRY_DSN as read (trimmed)
  std::string release;      // SENTRY_RELEASE or "some-velmora@0.3.0"
  std::string environment;  // SENTRY_ENVIRONMENT or "production"
  std::string server_name;  // HOSTNAME or empty
  std::string logger = "velmora-server";
  double traces_sample_rate = 1.0;  // SENTRY_TRACES_SAMPLE_RATE or 1.0
};

// One recent log line.
struct Breadcrumb {
  std::string timestamp;
  std::string message;
  std::string_view level;  // "info" or "error"
};

// The caller's one extra entry of an error event (the panic's "exception").
using EventExtra = std::pair<std::string_view, Json>;

// RFC 3339 in UTC with microseconds, e.g. 2024-05-01T12:00:00.123456Z. Times
// before 1970 (negative) give the epoch itself.
std::string rfc3339_at(std::int64_t unix_nanoseconds);

// rfc3339_at of the wall clock now.
std::string rfc3339_timestamp();

// The wall clock in nanoseconds since 1970 (negative before 1970).
std::int64_t wall_clock_nanoseconds();

// SipHash with c compression and d finalization rounds over the bytes.
std::uint64_t siphash(std::uint64_t k0, std::uint64_t k1, std::string_view bytes, int c_rounds, int d_rounds);

// A fresh 64-bit random number: SipHash-1-3 of the wall clock's nanoseconds,
// under keys drawn once per thread from the system's random source, the first
// key stepped by one on every call.
std::uint64_t random_word();

// `words` (1 or 2) random words as 16 lower-case hex digits each: one word is
// a span id, two an event or trace id.
std::string random_hex_id(int words);

// {"timestamp","level","category":"log","message"}.
Json breadcrumb_json(const Breadcrumb& crumb);

// The common fields (event id, timestamp, platform, logger, release,
// environment, sdk, server_name unless empty) followed by `fields`.
Json sentry_event_header(const ReporterConfig& config, std::string_view event_id, std::string timestamp,
                         JsonObj fields);

// The error event's own fields: level, message, tags, breadcrumbs, then the extra entry.
JsonObj error_event_fields(std::string_view level, std::string_view message, std::string_view logger,
                           const std::vector<Breadcrumb>& crumbs, std::optional<EventExtra> extra);

// The panic's "exception" entry: one value of type "panic", not handled, with
// a single frame naming the thread and the place.
Json panic_exception(std::string_view message, std::string_view thread_label, const PanicPlace& place);

// Three lines: {"event_id","dsn","sent_at"}, {"type","length"}, the payload.
// Every invalid UTF-8 sequence is replaced first, and the length counts the
// payload's bytes after that.
std::string envelope_text(std::string_view dsn, std::string_view event_id, std::string_view sent_at,
                          std::string_view item_type, std::string_view payload);

}  // namespace velmora
