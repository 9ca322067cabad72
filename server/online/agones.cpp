#include "server/online/agones.h"

#include <algorithm>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "core/base/text.h"
#include "web/http_wire.h"
#include "web/json_parser.h"

namespace velmora {

namespace {

constexpr std::size_t excerpt_characters = 200;

// Sleeps for the interval; false when the stop came first.
bool pause(std::chrono::milliseconds interval, std::stop_token stop) {
  std::mutex mutex;
  std::condition_variable_any woken;
  std::unique_lock lock(mutex);
  return !woken.wait_for(lock, stop, interval, [] { return false; }) && !stop.stop_requested();
}

const JsonValue* field(const JsonValue& object, std::string_view key) { return object.get(key); }

AgonesAnnotations text_annotations(const JsonValue& record) {
  AgonesAnnotations out;
  const JsonValue* meta = field(record, "object_meta");
  const JsonValue* annotations = meta != nullptr ? field(*meta, "annotations") : nullptr;
  if (annotations == nullptr || annotations->as_obj() == nullptr) return out;
  for (const auto& [key, value] : *annotations->as_obj()) {
    if (const std::string* text = value.as_str()) out.emplace(key, *text);  // the first of a repeated key
  }
  return out;
}

std::size_t utf8_length_at(std::string_view text, std::size_t i) {
  const auto b = static_cast<unsigned char>(text[i]);
  const std::size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  return length <= text.size() - i ? length : text.size() - i;
}

void append_escaped(std::string& out, std::string_view character) {
  const auto b = static_cast<unsigned char>(character[0]);
  const bool c1 = character.size() == 2 && b == 0xC2 && static_cast<unsigned char>(character[1]) < 0xA0;
  if (character.size() == 1 && (b < 0x20 || b == 0x7F)) {
    if (b == '\n') {
      out += "\\n";
    } else if (b == '\r') {
      out += "\\r";
    } else if (b == '\t') {
      out += "\\t";
    } else {
      constexpr char digits[] = "0123456789abcdef";
      out += "\\x";
      out += digits[b >> 4];
      out += digits[b & 15];
    }
  } else if (c1) {
    constexpr char digits[] = "0123456789abcdef";
    const auto code = static_cast<unsigned char>(character[1]);
    out += "\\u{";
    out += digits[code >> 4];
    out += digits[code & 15];
    out += "}";
  } else {
    out.append(character);
  }
}

}  // namespace

std::string agones_base_address(const char* port_variable) {
  std::uint64_t port = agones_default_port;
  if (port_variable != nullptr) {
    const auto parsed = parse_unsigned(port_variable, UINT16_MAX);
    if (parsed && *parsed != 0) port = *parsed;
  }
  return "http://127.0.0.1:" + std::to_string(port);
}

std::string agones_base_from_environment() { return agones_base_address(std::getenv("AGONES_SDK_HTTP_PORT")); }

std::string log_excerpt(std::string_view text) {
  const std::string whole = utf8_lossy(trim_white(text));
  std::string out;
  std::size_t i = 0;
  for (std::size_t count = 0; i < whole.size() && count < excerpt_characters; ++count) {
    const std::size_t length = utf8_length_at(whole, i);
    append_escaped(out, std::string_view(whole).substr(i, length));
    i += length;
  }
  if (i < whole.size()) out += "...";
  return out;
}

Status agones_post(std::string_view base, std::string_view path) {
  const std::string url = std::string(base) + std::string(path);
  auto reply = http_request("POST", url, std::nullopt, HttpBody{"application/json", "{}"}, agones_timeout_seconds);
  if (!reply) return error(reply.message());
  if (reply->status == 200) return done();
  return error(std::string(path) + " answered " + std::to_string(reply->status) + ": " + log_excerpt(reply->body));
}

std::optional<AgonesAnnotations> read_allocation(const HttpReply& reply) {
  if (reply.status != 200) return std::nullopt;
  JsonCursor cursor{reply.body, 0};
  const std::optional<JsonValue> record = json_parse(cursor);
  if (!record || record->as_obj() == nullptr) return std::nullopt;
  json_skip_white(cursor);
  if (cursor.pos != reply.body.size()) return std::nullopt;
  const JsonValue* status = field(*record, "status");
  const JsonValue* state = status != nullptr ? field(*status, "state") : nullptr;
  const std::string* word = state != nullptr ? state->as_str() : nullptr;
  if (word == nullptr || *word != "Allocated") return std::nullopt;
  return text_annotations(*record);
}

std::optional<AgonesAnnotations> poll_gameserver(std::string_view base) {
  const std::string url = std::string(base) + "/gameserver";
  auto reply = http_request("GET", url, std::nullopt, std::nullopt, agones_timeout_seconds);
  if (!reply) return std::nullopt;
  return read_allocation(*reply);
}

std::optional<AgonesAnnotations> wait_for_allocation(std::string_view base, std::stop_token stop,
                                                     std::chrono::milliseconds interval) {
  for (;;) {
    if (auto annotations = poll_gameserver(base)) return annotations;
    if (!pause(interval, stop)) return std::nullopt;
  }
}

std::string opening_line_from_annotations(const AgonesAnnotations& annotations) {
  std::uint64_t seed = 1;
  if (const auto it = annotations.find("velmora/seed"); it != annotations.end()) {
    seed = parse_unsigned(it->second).value_or(1);
  }
  std::vector<std::string_view> classes;
  if (const auto it = annotations.find("velmora/classes"); it != annotations.end()) {
    std::string_view rest = it->second;
    for (;;) {
      const std::size_t comma = rest.find(',');
      const std::string_view piece = rest.substr(0, comma);
      if (!piece.empty()) classes.push_back(piece);
      if (comma == std::string_view::npos) break;
      rest.remove_prefix(comma + 1);
    }
  }
  // A party of one fighter per class named: "new" refuses more classes than players.
  std::string line = "new " + std::to_string(seed) + " " + std::to_string(std::max<std::size_t>(classes.size(), 1));
  for (const std::string_view piece : classes) line.append(" ").append(piece);
  if (const auto it = annotations.find("velmora/campaign"); it != annotations.end()) {
    line.append(" campaign=").append(it->second);
  }
  return line;
}

namespace {

void ping(const std::string& base, const LogLine& log) {
  if (auto pinged = agones_post(base, "/health"); !pinged) log("agones health: " + pinged.message());
}

}  // namespace

void health_loop(std::string base, LogLine log, std::chrono::milliseconds interval, std::stop_token stop) {
  while (!stop.stop_requested()) {
    ping(base, log);
    if (!pause(interval, stop)) return;
  }
}

Status AgonesHealth::start(std::string base, LogLine log, std::chrono::milliseconds interval) {
  stop();
  // The first ping is sent before start returns, so whatever the caller does
  // next (posting "/ready") comes after it.
  ping(base, log);
  auto pinging = start_thread(
      [base = std::move(base), log = std::move(log), interval](std::stop_token stop) {
        if (pause(interval, stop)) health_loop(base, log, interval, stop);
      },
      service_stack_bytes);
  if (!pinging) return error("cannot start the health pings: " + pinging.message());
  thread_ = std::move(*pinging);
  return done();
}

void AgonesHealth::stop() {
  if (!thread_.joinable()) return;
  thread_.request_stop();
  thread_.join();
}

Result<std::string> agones_start(AgonesHealth& health, const std::string& base, LogLine log,
                                 std::stop_token stop) {
  if (auto started = health.start(base, std::move(log)); !started) return error(started.message());
  if (auto ready = agones_post(base, "/ready"); !ready) return error(ready.message());
  auto annotations = wait_for_allocation(base, stop);
  if (!annotations) return error("stopped while waiting for allocation");
  return opening_line_from_annotations(*annotations);
}

}  // namespace velmora
