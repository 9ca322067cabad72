// The texts sent to the collector: events, breadcrumbs, the panic entry and
// envelopes, compared whole; timestamps, SipHash and identifiers.
#include <gtest/gtest.h>

#include <set>

#include "web/error_events.h"
#include "web/http_wire.h"

namespace velmora {
namespace {

ReporterConfig config_with(std::string server_name) {
  ReporterConfig c;
  c.dsn = "http://key@collector:8000/7";
  c.release = "some-velmora@0.3.0";
  c.environment = "production";
  c.server_name = std::move(server_name);
  return c;
}

constexpr const char* id = "0123456789abcdef0123456789abcdef";
constexpr const char* when = "2024-05-01T12:00:00.123456Z";

TEST(ErrorEvents, EventsAreWrittenWithTheirKeysInOrder) {
  const std::string head =
      R"({"event_id":"0123456789abcdef0123456789abcdef","timestamp":"2024-05-01T12:00:00.123456Z",)"
      R"("platform":"native","logger":"velmora-server","release":"some-velmora@0.3.0","environment":"production",)"
      R"("sdk":{"name":"velmora.web","version":"0.3.0"},)";
  const std::vector<Breadcrumb> two = {{"2024-05-01T11:59:58.000001Z", "online game: a party of 2", "info"},
                                       {"2024-05-01T11:59:59.000002Z", "agones: refused", "error"}};
  const PanicPlace place{"core/world.cpp", 42, 7};
  struct Case {
    const char* name;
    std::string server_name;
    const char* level;
    const char* message;
    std::vector<Breadcrumb> crumbs;
    bool panic;
    std::string expected;
  };
  const Case cases[] = {
      {"no ring, no host", "", "error", "cannot bind 0.0.0.0:7790: in use", {}, false,
       head + R"("level":"error","message":{"formatted":"cannot bind 0.0.0.0:7790: in use"},)"
              R"("tags":{"service":"velmora-server"},"breadcrumbs":{"values":[]}})"},
      {"host after sdk, crumbs oldest first", "pod-7", "error", "x", two, false,
       head + R"("server_name":"pod-7","level":"error","message":{"formatted":"x"},"tags":{"service":"velmora-server"},)"
              R"("breadcrumbs":{"values":[{"timestamp":"2024-05-01T11:59:58.000001Z","level":"info","category":"log",)"
              R"("message":"online game: a party of 2"},{"timestamp":"2024-05-01T11:59:59.000002Z","level":"error",)"
              R"("category":"log","message":"agones: refused"}]}})"},
      {"panic with its exception last", "", "fatal", "a \"quoted\"\nline", {}, true,
       head + R"("level":"fatal","message":{"formatted":"a \"quoted\"\nline"},"tags":{"service":"velmora-server"},)"
              R"("breadcrumbs":{"values":[]},"exception":{"values":[{"type":"panic","value":"a \"quoted\"\nline",)"
              R"("mechanism":{"type":"panic","handled":false},"stacktrace":{"frames":[{"function":"thread unnamed",)"
              R"("in_app":true,"filename":"core/world.cpp","lineno":42,"colno":7}]}}]}})"},
  };
  for (const Case& c : cases) {
    const ReporterConfig config = config_with(c.server_name);
    std::optional<EventExtra> extra;
    if (c.panic) extra = EventExtra{"exception", panic_exception(c.message, "thread unnamed", place)};
    const Json event =
        sentry_event_header(config, id, when, error_event_fields(c.level, c.message, config.logger, c.crumbs, extra));
    EXPECT_EQ(json_to_string(event), c.expected) << c.name;
  }
}

TEST(ErrorEvents, EnvelopeHasThreeLinesAndCountsBytesOfValidText) {
  const std::string header = "{\"event_id\":\"0123456789abcdef0123456789abcdef\",\"dsn\":\"http://key@collector:8000/7\","
                             "\"sent_at\":\"2024-05-01T12:00:00.123456Z\"}\n";
  // {payload, item header and payload as sent}: "é" is two bytes, and a stray
  // byte becomes U+FFFD (three bytes) before the length is taken.
  const std::pair<std::string, std::string> cases[] = {
      {R"({"a":1})", "{\"type\":\"event\",\"length\":7}\n{\"a\":1}\n"},
      {"{\"\xC3\xA9\":1}", "{\"type\":\"event\",\"length\":8}\n{\"\xC3\xA9\":1}\n"},
      {"{\"\xFF\":1}", "{\"type\":\"event\",\"length\":9}\n{\"\xEF\xBF\xBD\":1}\n"},
  };
  for (const auto& [payload, rest] : cases) {
    EXPECT_EQ(envelope_text("http://key@collector:8000/7", id, when, "event", payload), header + rest) << payload;
  }
}

TEST(ErrorEvents, InvalidUtf8IsReplacedPerMaximalSubpart) {
  const std::string fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string in;
    std::string out;
  };
  const Case cases[] = {
      {"plain", "plain"}, {"\xFF\xFE", fffd + fffd}, {std::string("nul\0in", 6), std::string("nul\0in", 6)},
      {"caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"a\x80z", "a" + fffd + "z"},                      // lone continuation
      {"a\xE2\x82z", "a" + fffd + "z"},                  // cut three-byte sequence: one replacement
      {"\xF0\x9F\x98", fffd},                            // cut at the end
      {"\xC0\xAF", fffd + fffd},                         // overlong lead, then a stray continuation
      {"\xED\xA0\x80", fffd + fffd + fffd},              // surrogate: ED takes only 80..9F
      {"\xF4\x90\x80\x80", fffd + fffd + fffd + fffd},   // beyond U+10FFFF
  };
  for (const Case& c : cases) EXPECT_EQ(utf8_lossy(c.in), c.out) << c.in;
}

TEST(ErrorEvents, TimestampsAreUtcWithMicroseconds) {
  struct Case {
    std::int64_t ns;
    const char* text;
  };
  const Case cases[] = {
      {0, "1970-01-01T00:00:00.000000Z"}, {-1, "1970-01-01T00:00:00.000000Z"},  // before 1970: the epoch
      {1714564800123456789, "2024-05-01T12:00:00.123456Z"},  // microseconds truncated
      {951782400000000000, "2000-02-29T00:00:00.000000Z"},   // leap day of a 400-year leap year
      {946684799999999999, "1999-12-31T23:59:59.999999Z"},
      {4107542400000000000, "2100-03-01T00:00:00.000000Z"},  // 2100 is no leap year
      {INT64_MAX, "2262-04-11T23:47:16.854775Z"},
  };
  for (const Case& c : cases) EXPECT_EQ(rfc3339_at(c.ns), c.text) << c.ns;
  const std::string now = rfc3339_timestamp();
  ASSERT_EQ(now.size(), 27u);
  EXPECT_GE(now.substr(0, 4), "2024");
}

TEST(ErrorEvents, SipHashMatchesTheReferenceVectors) {
  // The reference key 00..0f; SipHash-2-4 of the empty text and of 00..0e.
  const std::uint64_t k0 = 0x0706050403020100ULL;
  const std::uint64_t k1 = 0x0f0e0d0c0b0a0908ULL;
  std::string fifteen;
  for (char c = 0; c < 15; ++c) fifteen += c;
  EXPECT_EQ(siphash(k0, k1, "", 2, 4), 0x726fdb47dd0e0e31ULL);
  EXPECT_EQ(siphash(k0, k1, fifteen, 2, 4), 0xa129ca6149be45e5ULL);
  EXPECT_NE(siphash(k0, k1, fifteen, 1, 3), siphash(k0, k1, fifteen, 2, 4));
}

TEST(ErrorEvents, RandomIdsAreLowerCaseHexOfFixedWidth) {
  std::set<std::string> seen;
  for (int i = 0; i < 200; ++i) {
    const std::string event = random_hex_id(2);
    const std::string span = random_hex_id(1);
    ASSERT_EQ(event.size(), 32u);
    ASSERT_EQ(span.size(), 16u);
    EXPECT_EQ(event.find_first_not_of("0123456789abcdef"), std::string::npos) << event;
    seen.insert(event);
  }
  EXPECT_EQ(seen.size(), 200u);  // the key steps on every call, even within one clock tick
}

}  // namespace
}  // namespace velmora
