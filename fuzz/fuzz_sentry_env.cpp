// Arbitrary bytes as the reporter's environment: five values separated by NUL
// bytes (SENTRY_DSN, SENTRY_RELEASE, SENTRY_ENVIRONMENT, HOSTNAME,
// SENTRY_TRACES_SAMPLE_RATE). The readers must never crash; an accepted DSN
// must give an endpoint and key that are safe in a request line and a
// header; and an envelope built from any accepted configuration and any
// message must be valid UTF-8 whose three lines each parse as JSON.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/text.h"
#include "web/error_events.h"
#include "web/error_reporter.h"
#include "web/http_wire.h"
#include "web/json_parser.h"

namespace {

[[noreturn]] void fail(const char* what) {
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

bool visible_ascii(std::string_view s) {
  for (char c : s) {
    if (c < 0x21 || c > 0x7E) return false;
  }
  return true;
}

void check_dsn(std::string_view text) {
  const velmora::Result<velmora::Dsn> dsn = velmora::parse_dsn(text);
  if (!dsn) return;
  const std::string& endpoint = dsn->endpoint;
  if (!endpoint.starts_with("http://") || !endpoint.ends_with("/envelope/")) fail("endpoint shape");
  if (!visible_ascii(endpoint)) fail("endpoint not visible ascii");
  if (dsn->key.empty() || !visible_ascii(dsn->key) || dsn->key.find(',') != std::string::npos) fail("key unsafe");
}

void check_env_value(const std::string& raw) {
  const auto value = velmora::env_value(raw.c_str());
  if (!value) return;
  if (value->empty() || !velmora::valid_utf8(*value)) fail("env value empty or not utf-8");
  if (velmora::trim_white(*value).size() != value->size()) fail("env value not trimmed");
}

void check_line_parses(std::string_view line) {
  velmora::JsonCursor cursor{line, 0};
  if (!velmora::json_parse(cursor) || cursor.pos != line.size()) fail("envelope line is not one JSON value");
}

void check_envelope(const std::vector<std::string>& parts, std::string_view message) {
  const velmora::EnvReader env = [&parts](const char* name) -> std::optional<std::string> {
    static const char* names[] = {"SENTRY_DSN", "SENTRY_RELEASE", "SENTRY_ENVIRONMENT", "HOSTNAME",
                                  "SENTRY_TRACES_SAMPLE_RATE"};
    for (std::size_t i = 0; i < 5 && i < parts.size(); ++i) {
      if (std::string_view(name) == names[i]) return velmora::env_value(parts[i].c_str());
    }
    return std::nullopt;
  };
  const auto config = velmora::reporter_config(env);
  if (!config || !*config) return;
  const velmora::Breadcrumb crumb{"2024-05-01T12:00:00.000000Z", std::string(message), "info"};
  const velmora::Json event = velmora::sentry_event_header(
      **config, "0123456789abcdef0123456789abcdef", "2024-05-01T12:00:00.000000Z",
      velmora::error_event_fields("error", message, (*config)->logger, {crumb}, std::nullopt));
  const std::string text = velmora::envelope_text((*config)->dsn, "0123456789abcdef0123456789abcdef",
                                                  "2024-05-01T12:00:00.000000Z", "event", velmora::json_to_string(event));
  if (!velmora::valid_utf8(text)) fail("envelope not utf-8");
  std::size_t start = 0;
  for (int line = 0; line < 3; ++line) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) fail("envelope has fewer than three lines");
    check_line_parses(std::string_view(text).substr(start, end - start));
    start = end + 1;
  }
  if (start != text.size()) fail("envelope has more than three lines");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (parts.size() < 6) {
    const std::size_t end = input.find('\0', start);
    parts.push_back(input.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  check_dsn(parts[0]);
  for (const std::string& part : parts) check_env_value(part);
  (void)velmora::parse_sample_rate(parts.back());
  const std::string lossy = velmora::utf8_lossy(input);
  if (!velmora::valid_utf8(lossy)) fail("lossy text not utf-8");
  if (velmora::valid_utf8(input) && lossy != input) fail("valid text changed");
  check_envelope(parts, parts.size() > 5 ? std::string_view(parts[5]) : std::string_view(input));
  return 0;
}
